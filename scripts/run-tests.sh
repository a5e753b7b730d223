#!/usr/bin/env bash
# Builds Tarvik with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test,
# then replays every fuzz target over the real-file corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

build=${BUILD_DIR:-build-asan}
jobs=${JOBS:-$(nproc)}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DENABLE_SANITIZERS=ON \
  -DBUILD_TESTING=ON -DBUILD_BENCH=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON >/dev/null
cmake --build "$build" -j "$jobs"

# The names in the files changed since the base commit follow .clang-tidy's naming rules.
JOBS=$jobs scripts/check-naming.sh "$build"

# A desktop host switches the number format to the user's locale; the readers' tests repeat their
# checks under a decimal-comma locale, built here so that they do not depend on the machine's.
mkdir -p "$build/locale"
if localedef -i ru_RU -f UTF-8 "$build/locale/ru_RU.UTF-8" 2>/dev/null; then
  LOCPATH="$(cd "$build/locale" && pwd)"
  export LOCPATH
fi

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Leaks inside system libraries (glibc's locale names under Qt) are listed there, nothing else.
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp"
ctest --test-dir "$build" --output-on-failure -j "$jobs"

for target in "$build"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  corpus="fuzz/corpus/$(basename "$target")"
  [ -d "$corpus" ] || corpus=testdata/real
  "$target" "$corpus" >/dev/null
done
echo "All tests passed."
