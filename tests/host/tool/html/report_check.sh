#!/bin/sh
# The HTML report in a real browser: Debian's Chromium, headless, opens the
# reports of three runs (the samples; a failing run with a policy, a broken
# file and a baseline; 10,000 models) with report_check.js written into a copy
# of each, and this reads its verdict back from the DOM Chromium dumps. Each
# report's picture is kept beside it for a person to look at.
#
#   report_check.sh TOOL SOURCE_DIR OUT_DIR
# Exits 77 (skipped) when Chromium is not installed.
set -eu
tool=$1 source=$2 out=$3
browser=$(command -v chromium || command -v chromium-browser || true)
[ -n "$browser" ] || { echo "report_check: no chromium; skipped"; exit 77; }
here=$source/tests/host/tool/html
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)  # the runs below work in folders of their own
# The models are made outside the source tree, whose build folder git ignores
# (and a walk with it).
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0

# chromium ARGS...: headless, in a profile of its own that goes with $out, no
# sandbox (the test may run as root), messages kept apart from the page's.
chromium_run() {
  "$browser" --headless --no-sandbox --disable-gpu --hide-scrollbars --no-first-run \
    --user-data-dir="$out/profile" "$@" 2>>"$out/chromium.log"
}

# check NAME MODELS: NAME.html made with NAME.json beside it; MODELS how many
# models it must hold. Prints the page's verdict line.
check() {
  name=$1
  page=$out/$name.html
  copy=$out/$name.check.html
  [ -s "$page" ] || { echo "$name: no report written"; status=1; return; }
  # The errors listener goes first, the run's JSON and the checks last; "</"
  # in the JSON would end its script element, so it is written "<\/".
  {
    # The time to a usable page: the page's script has run (it marks the
    # root) and the page is laid out, before the checks' data is read.
    printf '%s\n' '<script>window.reportErrors=[];addEventListener("error",e=>reportErrors.push(e.message));const reportConsole=console.error;console.error=(...a)=>{reportErrors.push(a.join(" "));reportConsole(...a)};new MutationObserver((m,o)=>{if(document.documentElement.dataset.ready){o.disconnect();void document.body.offsetHeight;window.reportReady=performance.now()}}).observe(document.documentElement,{attributes:true});</script>'
    cat "$page"
    printf '<script type="application/json" id="expected">'
    sed 's#</#<\\/#g' "$out/$name.json"
    printf '</script><script>\n'
    cat "$here/report_check.js"
    printf '</script>\n'
  } >"$copy"
  start=$(date +%s%N)
  chromium_run --dump-dom "file://$copy" >"$out/$name.dom.html" || true
  took=$((($(date +%s%N) - start) / 1000000))
  # The page's verdict: the first <pre id="check"> (the checks' own text,
  # later in the page, names it too), up to its end.
  awk '!found { at = index($0, "<pre id=\"check\">"); if (at) { found = 1; $0 = substr($0, at + 16) } }
       found { end = index($0, "</pre>"); if (end) { print substr($0, 1, end - 1); exit } print }' \
    "$out/$name.dom.html" >"$out/$name.check.txt"
  line=$(head -n 1 "$out/$name.check.txt")
  case $line in
    PASS*) echo "$name: $line; chromium ${took} ms in all" ;;
    *)
      echo "$name: FAIL (chromium ${took} ms)"
      head -n 45 "$out/$name.check.txt"
      [ -n "$line" ] || tail -n 20 "$out/chromium.log"
      status=1 ;;
  esac
  models=$(printf '%s' "$line" | sed -n 's/^[A-Z]* \([0-9]*\) models.*/\1/p')
  [ "${models:-0}" -eq "$2" ] || { echo "$name: $models models in the page, $2 expected"; status=1; }
  interactive=$(printf '%s' "$line" | sed -n 's/.*interactive \([0-9]*\) ms.*/\1/p')
  if [ "${interactive:-99999}" -gt 2000 ]; then
    echo "$name: interactive after ${interactive:-?} ms, over 2000 ms"
    status=1
  fi
  chromium_run --window-size=1280,1400 --screenshot="$out/$name.png" "file://$page" >/dev/null || true
  [ -s "$out/$name.png" ] || { echo "$name: no screenshot"; status=1; }
}

# 1. The samples, no budgets.
(cd "$source" && "$tool" samples --no-policy --json --html "$out/small.html" >"$out/small.json") || true
check small 7

# 2. A failing run: a policy with a maximum, a warning level and a waiver, a
# file that cannot be read, and a baseline from before one model grew, one
# came and one went.
mkdir -p "$work/failing/props" "$work/failing/characters"
cp "$source/samples/"*.obj "$work/failing/props/"
cp "$source/samples/crates.glb" "$source/samples/scene.json" "$work/failing/characters/"
cat >"$work/failing/veltrane.toml" <<'TOML'
[defaults]
max-triangles = 30
warn-triangles = 10
max-vertices = 45

[[budget]]
paths = ["props/**"]
max-triangles = 12
warn-vertices = 10

[[waiver]]
paths = ["characters/crates.glb"]
budgets = ["max-vertices"]
reason = "approved by art direction"
TOML
printf 'v 0 0 0\nv 1 0 0\nf 1 2 9\n' >"$work/failing/props/broken.obj"
printf 'v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n' >"$work/failing/props/gone.obj"
(cd "$work/failing" && "$tool" . --json >"$work/before.json" 2>/dev/null) || true
rm "$work/failing/props/gone.obj"
cp "$source/samples/cage.obj" "$work/failing/props/new <b>&.obj"
printf 'f 1 2 3\n' >>"$work/failing/props/props.obj"
(cd "$work/failing" && "$tool" . --baseline ../before.json --max-growth 5 --json \
  --html "$out/failing.html" >"$out/failing.json" 2>"$out/failing.stderr") && {
  echo "failing: the run passed"
  status=1
}
check failing 9
grep -q 'Gone since the baseline' "$out/failing.html" || { echo "failing: no models gone"; status=1; }

# 3. 10,000 models in 100 folders, a tenth of them over their budget.
mkdir -p "$work/many"
i=0
while [ $i -lt 100 ]; do mkdir -p "$work/many/set$i"; i=$((i + 1)); done
awk -v root="$work/many" 'BEGIN {
  for (i = 0; i < 10000; i++) {
    file = sprintf("%s/set%d/model%05d.obj", root, i % 100, i)
    n = 1 + i % 10
    printf "o part%d\n", i > file
    for (v = 0; v < n + 2; v++) printf "v %d %d 0\n", v, v * v > file
    for (f = 1; f <= n; f++) printf "f %d %d %d\n", f, f + 1, f + 2 > file
    close(file)
  }
}'
start=$(date +%s%N)
(cd "$work/many" && "$tool" . --no-policy --max-triangles 9 --json --html "$out/many.html" \
  >"$out/many.json" 2>"$out/many.stderr") || true
echo "many: counted and written in $((($(date +%s%N) - start) / 1000000)) ms, $(wc -c <"$out/many.html") bytes"
check many 10000

exit $status
