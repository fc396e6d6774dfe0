#!/usr/bin/env bash
# Builds the Debian package of the program and checks it with lintian.
#   scripts/package.sh              a release build of its own in build/package
#   scripts/package.sh FOLDER       packages an existing build folder (as the tests do)
# Prints the package's path last. Install it with: sudo apt install ./cantavo_*.deb
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

folder=${1:-}
if [[ -z "$folder" ]]; then
    "$root/scripts/setup.sh"
    folder="$root/build/package"
    cmake -S "$root" -B "$folder" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCANTAVO_WERROR=ON \
        -DCANTAVO_TESTS=OFF -DCANTAVO_BENCH=OFF >/dev/null
fi
folder=$(cd "$folder" && pwd)
cmake --build "$folder" -j "$(nproc)"

(cd "$folder" && cpack -G DEB >/dev/null)
package="$folder/$(cat "$folder/package-file.txt")"
[[ -f "$package" ]] || { echo "package: $package was not made" >&2; exit 1; }

# Errors fail the build; warnings and notes are shown for the record.
lintian --fail-on error --no-tag-display-limit "$package" >&2
echo "$package"
