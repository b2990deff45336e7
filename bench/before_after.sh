#!/usr/bin/env bash
# The same benchmarks against two builds, each benchmark run on both back to back, so
# that a change is judged on one machine in one state:
#   bench/before_after.sh BEFORE_BUILD [AFTER_BUILD]
# BEFORE_BUILD is a build folder of the earlier commit (e.g. a worktree's build/),
# AFTER_BUILD defaults to build/. The encoder's jobs are cut to BENCH_SECONDS (default
# 10) and run BENCH_RUNS times (default 1); pass job names after the folders to choose.
set -uo pipefail
cd "$(dirname "$0")/.."
before=$(cd "${1:?usage: before_after.sh BEFORE_BUILD [AFTER_BUILD] [job...]}" && pwd)
after=$(cd "${2:-build}" && pwd)
shift 2 2>/dev/null || shift $#
export BENCH_SECONDS=${BENCH_SECONDS:-10} BENCH_RUNS=${BENCH_RUNS:-1}

both() {
  local label=$1
  shift
  for side in before after; do
    local dir=${!side}
    echo "== $label, $side ($dir)"
    "$@" "$dir" || echo "(failed)"
  done
}
batch() { bench/engine/batch_overhead.sh "$1/bin"; }
encoder() { bench/encoder/bench_encoder.sh "$1/bin/app/trelvo-encoder" "$1/bin/trelvo-converter" "${jobs[@]}"; }
program() { "$1/bench/$name"; }

jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(grain640 phone1080 wmv640)
both "batch driver overhead" batch
both "encoder against ffmpeg" encoder
for name in bench_widgets_tasklist bench_media; do
  both "$name" program
done
