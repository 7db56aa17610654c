#!/usr/bin/env bash
# Builds the fuzz preset and runs every fuzzer for a bounded time over its seed corpus.
#
#   fuzz/run-all.sh [SECONDS]        each fuzzer runs SECONDS (default 60)
#
# Environment: ZT_FUZZ_BUILD_DIR overrides the preset's build folder; ZT_FUZZ_ARTIFACTS names the
# folder that receives the inputs of any finding (default: a "findings" folder in the build
# folder). Exits non-zero when a fuzzer crashes, hits a sanitizer report, a broken invariant, a
# timeout or the memory limit. New inputs found on the way go to a scratch copy of the corpus;
# the committed seeds in fuzz/corpus/<target>/ are never changed.
set -euo pipefail

seconds=${1:-60}
source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${ZT_FUZZ_BUILD_DIR:-$source_dir/build/fuzz}
artifacts=${ZT_FUZZ_ARTIFACTS:-$build_dir/findings}
targets=(zt_fuzz_target_texts zt_fuzz_settings_file zt_fuzz_call_sequence)

cd "$source_dir"
cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2

mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
for target in "${targets[@]}"; do
  mkdir -p "$scratch/$target"
  log=$scratch/$target.log
  echo "== $target: ${seconds}s"
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build_dir/fuzz/$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -max_len=8192 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
      "$scratch/$target" "$source_dir/fuzz/corpus/$target" >"$log" 2>&1; then
    grep -E '^Done [0-9]+ runs' "$log" || true
  else
    status=1
    echo "!! $target found a problem; its input is in $artifacts" >&2
    grep -E 'ERROR|runtime error|invariant broken|SUMMARY|Test unit written' "$log" >&2 || tail -n 30 "$log" >&2
  fi
done
exit $status
