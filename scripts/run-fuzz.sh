#!/usr/bin/env bash
# The fuzz targets of tests/fuzz, built with clang's libFuzzer, AddressSanitizer
# and UndefinedBehaviorSanitizer in build/fuzz, each run from its seed corpus
# for a bounded time: VQ_FUZZ_SECONDS (default 48) per target, so that all
# five take 240 s; VQ_FUZZ_TARGETS picks targets (default all). Fails if any
# target crashes; the crashing input
# is left in build/fuzz/crashes/<target>/ and belongs, once fixed, in
# tests/fuzz/corpus/<target>/. The corpus in the repository is only read:
# what a run adds goes to build/fuzz/corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh fuzz
seconds="${VQ_FUZZ_SECONDS:-48}"
targets="${VQ_FUZZ_TARGETS:-fleet settings properties grab_row row_convert}"
dir=build/fuzz

# -O1, as libFuzzer advises (the build type stays Debug): at -O0 a settings
# input took three times the processor time, a fleet input about eight times.
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS=-O1 -DCMAKE_CXX_FLAGS=-O1 \
  -DVQ_SANITIZE=address,undefined -DVQ_BUILD_FUZZ=ON -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_BENCH=OFF
build_targets=()
for target in $targets; do build_targets+=(--target "${target}_fuzz"); done
cmake --build "$dir" -j"$(nproc)" "${build_targets[@]}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export VORQUELL_DEBUG_OUTPUT=none
failed=()
for target in $targets; do
  corpus="$dir/corpus/$target"
  crashes="$dir/crashes/$target"
  mkdir -p "$corpus" "$crashes"
  echo "== $target: ${seconds} s"
  # The repository's seeds (regression inputs among them) first, each once.
  mapfile -t seeds < <(find "tests/fuzz/corpus/$target" -type f | sort)
  if ((${#seeds[@]})) && ! "$dir/tests/fuzz/${target}_fuzz" "${seeds[@]}" >"$dir/$target.seeds.log" 2>&1; then
    echo "$target: a seed input of tests/fuzz/corpus/$target fails:"
    tail -n 40 "$dir/$target.seeds.log"
    failed+=("$target")
    continue
  fi
  # A fixed seed (VQ_FUZZ_SEED, default 1; 0 for a random one) makes a run
  # repeatable: a slower machine explores a prefix of the same inputs.
  if ! "$dir/tests/fuzz/${target}_fuzz" -seed="${VQ_FUZZ_SEED:-1}" -max_total_time="$seconds" -timeout=25 \
      -rss_limit_mb=4096 -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$crashes/" "$corpus" "tests/fuzz/corpus/$target" \
      >"$dir/$target.log" 2>&1; then
    echo "$target: crashed; input in $crashes:"
    tail -n 60 "$dir/$target.log"
    failed+=("$target")
    continue
  fi
  grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$dir/$target.log" | sed "s/^/$target: /"
done
if ((${#failed[@]})); then
  echo "fuzzing failed: ${failed[*]}"
  exit 1
fi
echo "fuzzing passed: $targets"
