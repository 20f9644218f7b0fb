#!/usr/bin/env bash
# Installs what is missing, builds QK Sonnerix and runs every test: the normal build,
# then the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer, then
# the audio tests (the program's thread against the audio thread) with ThreadSanitizer,
# a short run of every fuzz target (fuzz/run.sh; QK_FUZZ_SECONDS each, 30 by default), and
# the Windows executables (MinGW) with their import check and the end-to-end run on Wine, and
# the conformance probes compared between the stand-in and Wine (tests/conformance/).
# After the normal tests the Debian package is built, checked, installed with apt-get,
# run, and removed again (tests/package/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

build=${QK_BUILD_DIR:-build}
echo "== build ($build)"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
echo "== tests"
ctest --test-dir "$build" -j2 --output-on-failure --timeout 120

echo "== Debian package (built from $build, installed, run, removed)"
deb=$(QK_BUILD_DIR="$build" bash scripts/package.sh | tail -n 1)
bash tests/package/test_package.sh "$deb"

asan=${build}-asan
echo "== build with sanitizers ($asan)"
cmake -S . -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DQK_SANITIZE=address >/dev/null
cmake --build "$asan" -j2 --target qk_tests qk_audio_tests
echo "== tests with sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir "$asan" -j2 --output-on-failure --timeout 240 -LE desktop

tsan=${build}-tsan
echo "== build with ThreadSanitizer ($tsan)"
cmake -S . -B "$tsan" -DCMAKE_BUILD_TYPE=Debug -DQK_SANITIZE=thread >/dev/null
cmake --build "$tsan" -j2 --target qk_audio_tests
echo "== audio tests with ThreadSanitizer"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp \
  ctest --test-dir "$tsan" -j2 --output-on-failure --timeout 240 -R '^(DeviceOutput|AudioThreads|PulseOutput|JackOutput)\.'

echo "== fuzz targets"
for target in wav profile bank paths; do
  bash fuzz/run.sh "$target" "${QK_FUZZ_SECONDS:-30}"
done

echo "== Windows builds and their tests (imports; end to end on Wine)"
QK_WINDOWS_BUILD_DIR=${build}-windows bash scripts/build-windows.sh
# Verbose: the Wine run tells which scenarios ran and which were skipped, and how long it took.
for arch in i686 x86_64; do
  ctest --test-dir "${build}-windows/$arch" --output-on-failure --timeout 300 -V | grep -v '^[0-9]*: Test command:'
done

echo "== conformance probes: the stand-in against Wine set to Windows 95"
bash tests/conformance/run.sh "$build" "${build}-windows/x86_64"
