#!/usr/bin/env bash
# Installs what is missing, builds the editor and starts it.
# Arguments are passed on to the editor.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ostravel_install_packages
BUILD_DIR="${OSTRAVEL_BUILD_DIR:-$OSTRAVEL_ROOT/build}"
ostravel_configure "$BUILD_DIR"
cmake --build "$BUILD_DIR" --target Ostravel -j "$(ostravel_jobs)" >&2

APP="$(find "$BUILD_DIR/Ostravel_artefacts" -type f -name Ostravel -perm -u+x | head -n 1)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting the editor inside a virtual X server (xvfb-run)." >&2
    exec xvfb-run -a "$APP" "$@"
fi
exec "$APP" "$@"
