#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
#   OSTRAVEL_SANITIZER=address|thread  builds and tests with sanitizers instead
#   OSTRAVEL_TEST_REGEX=...            runs only the matching tests
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ostravel_install_packages

SANITIZER="${OSTRAVEL_SANITIZER:-}"
BUILD_DIR="${OSTRAVEL_BUILD_DIR:-$OSTRAVEL_ROOT/build${SANITIZER:+-$SANITIZER}}"
ostravel_configure "$BUILD_DIR" -DOSTRAVEL_SANITIZER="$SANITIZER"

TARGETS=(ostravel_tests ostravel_irgen)
[ -z "$SANITIZER" ] && TARGETS+=(Ostravel ostravel_bench)
cmake --build "$BUILD_DIR" --target "${TARGETS[@]}" -j "$(ostravel_jobs)" >&2

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$OSTRAVEL_ROOT/tests/tsan.supp}"

cd "$BUILD_DIR"
ctest --output-on-failure -j "$(ostravel_jobs)" ${OSTRAVEL_TEST_REGEX:+-R "$OSTRAVEL_TEST_REGEX"}
