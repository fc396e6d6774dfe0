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
# libxkbcommon-x11 copies the server's keymap names with strndup from buffers without a final
# NUL, which strndup allows; AddressSanitizer's strict string checks would stop every X11 test
# in Qt's start-up for it.
if [[ -n "${ASAN_OPTIONS:-}" ]]; then
    export ASAN_OPTIONS="$ASAN_OPTIONS:strict_string_checks=0"
fi
export LSAN_OPTIONS="${LSAN_OPTIONS:+$LSAN_OPTIONS:}suppressions=$(cd "$(dirname "$0")" && pwd)/lsan-xvfb.supp"
# -noreset: a server that resets when its last client leaves refuses whoever connects then.
exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24 -nolisten tcp -noreset" "$@"
