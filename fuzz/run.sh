#!/usr/bin/env bash
# Runs one fuzz target for a while: fuzz/run.sh TARGET SECONDS
# TARGET is wav, profile, bank or paths. Builds the fuzz targets with clang in
# build-fuzz/ (QK_FUZZ_BUILD_DIR) when needed, starts from the seeds in
# fuzz/corpus/TARGET/ (and, for wav, tiny WAVs made by sox) and keeps what it finds in a
# working corpus under the build folder; the seeds in the repository stay as they are.
# A crash leaves its input in build-fuzz/crashes/TARGET/ and makes the script fail.
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: fuzz/run.sh TARGET SECONDS}
seconds=${2:?usage: fuzz/run.sh TARGET SECONDS}
case "$target" in
  wav | profile | bank | paths) ;;
  *) echo "fuzz/run.sh: unknown target $target (wav, profile, bank, paths)" >&2; exit 2 ;;
esac

build=${QK_FUZZ_BUILD_DIR:-build-fuzz}
mkdir -p "$build"
build=$(cd "$build" && pwd)  # the targets change their directory: every path absolute
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQK_FUZZ=ON \
    -DQK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$build" -j2 --target "qk_fuzz_$target" >/dev/null

work="$build/corpus/$target"
crashes="$build/crashes/$target"
mkdir -p "$work" "$crashes"
seeds=("$PWD/fuzz/corpus/$target")
if [ "$target" = wav ]; then
  bash fuzz/make_wav_seeds.sh "$build/seeds/wav"
  seeds+=("$build/seeds/wav")
fi

echo "== fuzz $target for ${seconds}s"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$build/qk_fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
  -print_final_stats=1 -artifact_prefix="$crashes/" "$work" "${seeds[@]}" 2>"$build/fuzz-$target.log" || {
  tail -60 "$build/fuzz-$target.log" >&2
  echo "fuzz/run.sh: $target failed; the input is in $crashes/" >&2
  exit 1
}
grep -E "^stat::number_of_executed_units|^stat::new_units_added|^#[0-9]+.*DONE" "$build/fuzz-$target.log" || true
