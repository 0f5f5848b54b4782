#!/bin/sh
# The main job: builds what is missing and counts the bundled sample scene with
# the Veltrane plug-in in the stand-in host, printing the plug-in's window.
# Extra arguments go to veltrane-host (e.g. --json or --objects). Nothing is
# written: the tool keeps its settings in memory unless asked for a file.
set -eu
. "$(dirname -- "$0")/common.sh"
ensure_packages $NATIVE_PACKAGES
cd "$VELTRANE_ROOT"
build_preset linux >/dev/null
exec build/linux/bin/veltrane-host --tick Freeze "$@" samples/scene.json
