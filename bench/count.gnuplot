# Plots ns per element against object size for CountObject and its two floors.
# usage: gnuplot -e "data='count.dat'; output='count.png'" count.gnuplot
set terminal pngcairo size 900,560 font "sans,11"
set output output
set title "Counting one object: cost per element (vertex or face)"
set xlabel "faces in the object"
set ylabel "ns per element"
set logscale x
set logscale y
set format x "10^{%L}"
set grid
set key bottom right
set xrange [500:2e7]
set yrange [0.05:20]
plot data using 1:2 with linespoints lw 2 title "CountObject", \
     data using 1:3 with linespoints lw 2 title "call floor (same host calls)", \
     data using 1:4 with linespoints lw 2 title "memory floor (host arrays, no calls)"
