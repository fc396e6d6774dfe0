#!/usr/bin/env bash
# Sets up, builds and starts Cantavo with the virtual ZQ31, so that it runs without the
# instrument. Arguments are passed on to the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCANTAVO_TESTS=OFF -DCANTAVO_BENCH=OFF >/dev/null
cmake --build "$root/build/release"
exec "$root/build/release/bin/Cantavo" --virtual-piano "$@"
