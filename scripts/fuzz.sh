#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer into build-fuzz/ and runs each for
# SECONDS (default 60) on the seeds in fuzz/corpus/<target>. New inputs that find new
# paths go to build-fuzz/corpus/<target>; a crash leaves its input in build-fuzz/findings.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

packages=(clang libfuzzer-14-dev cmake ninja-build pkg-config qt6-base-dev libavutil-dev)
scripts/install-packages.sh "${packages[@]}"

build=build-fuzz
CXX=clang++ CC=clang cmake -S . -B "$build" -G Ninja -DTRELVO_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${TRELVO_JOBS:-$(nproc)}"

targets=(fuzz_profilefile fuzz_outputparser fuzz_encoderoptions fuzz_expansion fuzz_progress)
mkdir -p "$build/findings"
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target for ${seconds}s =="
  # -timeout: one input taking over 10 s counts as a hang.
  if ! "$build/fuzz/$target" "$corpus" "fuzz/corpus/$target" -max_total_time="$seconds" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/findings/$target-" 2>"$build/$target.log"; then
    echo "FAILED: $target (see $build/$target.log and $build/findings/)"
    tail -n 40 "$build/$target.log"
    status=1
  fi
  grep -E '^(stat::number_of_executed_units|stat::average_exec_per_sec|stat::peak_rss_mb)|cov: ' \
    "$build/$target.log" | tail -n 4
done
exit $status
