#!/usr/bin/env bash
# Installs what is missing, builds Quillbox and runs every test: first a normal build, then the
# same suite under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/deps.sh
ensure_packages $QUILLBOX_BUILD_PACKAGES $QUILLBOX_TEST_PACKAGES $QUILLBOX_RUN_PACKAGES

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

echo "== normal build"
run_suite build
echo "== sanitizer build"
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
run_suite build-asan -DQUILLBOX_SANITIZE=ON -DQUILLBOX_BUILD_BENCH=OFF
