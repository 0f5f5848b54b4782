#!/bin/sh
# The main job: builds what is missing and counts the bundled sample scene with
# the Veltrane plug-in in the stand-in host, printing the plug-in's window.
# Extra arguments go to veltrane-host (e.g. --json). The options are kept in
# build/sample-settings.xml, not in your own settings.
set -eu
. "$(dirname -- "$0")/common.sh"
ensure_packages $NATIVE_PACKAGES
cd "$VELTRANE_ROOT"
build_preset linux >/dev/null
exec build/linux/bin/veltrane-host --settings build/sample-settings.xml \
  --tick Update --tick All --tick Freeze "$@" samples/scene.json
