#!/bin/sh
# The main job: builds what is missing and runs the stand-in host with the
# Veltrane plug-in, printing what the plug-in reports.
set -eu
. "$(dirname -- "$0")/common.sh"
ensure_packages $NATIVE_PACKAGES
cd "$VELTRANE_ROOT"
build_preset linux >/dev/null
exec build/linux/bin/veltrane-host "$@"
