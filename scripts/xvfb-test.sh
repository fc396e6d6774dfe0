#!/usr/bin/env bash
# Runs a test program on an X server of its own (Xvfb through xvfb-run) with Qt's xcb
# platform. Listing the tests needs no server. Without xvfb-run the program runs on the
# offscreen platform and its X11 tests skip, saying why.
set -euo pipefail
for argument in "$@"; do
    if [[ "$argument" == --gtest_list_tests ]]; then
        exec "$@"
    fi
done
if ! command -v xvfb-run >/dev/null 2>&1; then
    echo "xvfb-test: xvfb-run is not installed (scripts/setup.sh installs xvfb and xauth);" \
        "the X11 tests skip" >&2
    export CANTAVO_NO_XVFB=1
    exec "$@"
fi
export QT_QPA_PLATFORM=xcb
exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -nolisten tcp" "$@"
