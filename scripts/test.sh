#!/usr/bin/env bash
# Sets up, builds and runs every test: the suites as built for release, the fuzz targets over
# their seed corpora, the suites under AddressSanitizer and UndefinedBehaviorSanitizer, and
# the threaded suites under ThreadSanitizer. Warnings are errors in all of them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
"$root/scripts/setup.sh"

started=$SECONDS
step() {
    local elapsed=$((SECONDS - started))
    printf '\n=== %s (at %d min %02d s) ===\n' "$*" $((elapsed / 60)) $((elapsed % 60))
}

# Line tables only (-g1): sanitizer reports and backtraces keep their files and lines, and
# every build takes about a third less time than with full debugging information.
configure() { # folder, the target to build (all: everything), then extra cmake arguments
    local folder=$1 target=$2
    shift 2
    cmake -S "$root" -B "$root/build/$folder" -G Ninja -DCANTAVO_WERROR=ON \
        -DCMAKE_C_FLAGS_DEBUG=-g1 -DCMAKE_CXX_FLAGS_DEBUG=-g1 \
        "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "$@" >/dev/null
    cmake --build "$root/build/$folder" -j "$jobs" --target "$target"
    step "$folder built"
}

step "format"
"$root/scripts/check-format.sh"

step "release build: all suites"
configure ci all -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir "$root/build/ci" -j "$jobs" --output-on-failure

step "Debian package: built from the release build, lintian, installed copy started"
"$root/scripts/package-test.sh" "$("$root/scripts/package.sh" "$root/build/ci" | tail -n 1)"

step "fuzz targets (clang, libFuzzer)"
configure fuzz fuzzers -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
    -DCANTAVO_FUZZ=ON -DCANTAVO_TESTS=OFF -DCANTAVO_BENCH=OFF \
    -DCANTAVO_SANITIZE=address,undefined
ctest --test-dir "$root/build/fuzz" -j "$jobs" -L fuzz --output-on-failure

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
step "AddressSanitizer and UndefinedBehaviorSanitizer: all suites"
configure asan all -DCMAKE_BUILD_TYPE=Debug -DCANTAVO_SANITIZE=address,undefined -DCANTAVO_BENCH=OFF
ctest --test-dir "$root/build/asan" -j "$jobs" --output-on-failure

export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"
step "ThreadSanitizer: threaded suites"
configure tsan threaded_tests -DCMAKE_BUILD_TYPE=Debug -DCANTAVO_SANITIZE=thread -DCANTAVO_BENCH=OFF
ctest --test-dir "$root/build/tsan" -j "$jobs" -L threaded --output-on-failure
step "all passed"
