#!/bin/sh
# Writes a Wavefront OBJ of an N x N grid of quads (N*N faces, (N+1)^2 vertices)
# to standard output: the large model the loaders are timed on.
# usage: make-grid-obj.sh [N]   (default 1000: a million faces)
set -eu
n=${1:-1000}
awk -v n="$n" 'BEGIN {
  print "# " n " x " n " grid of quads"
  print "o grid"
  for (y = 0; y <= n; y++)
    for (x = 0; x <= n; x++)
      printf "v %.4f %.4f %.4f\n", x / n, y / n, ((x * 7 + y * 13) % 17) / 170
  for (y = 0; y < n; y++)
    for (x = 0; x < n; x++) {
      a = y * (n + 1) + x + 1
      printf "f %d %d %d %d\n", a, a + 1, a + n + 2, a + n + 1
    }
}'
