#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan + UBSan) and runs each for a bounded time.
#   bench/fuzz.sh [seconds-per-target]     (default 60; CI smoke uses 10)
# The seed corpora in fuzz/corpus stay small; new inputs go to a scratch copy.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="$here/build-fuzz"
CC=clang CXX=clang++ cmake -S "$here" -B "$build" -G Ninja -DDRIVEDESK_FUZZ=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j"$(nproc)" $(cd "$here/fuzz" && ls *_fuzz.cpp | sed 's/_fuzz.cpp$//; s/^/fuzz_/')
status=0
for seeds in "$here"/fuzz/corpus/*/; do
  name="$(basename "$seeds")"
  scratch="$(mktemp -d)"
  maxlen=256
  [ "$name" = parameter_file ] && maxlen=4096  # a whole backup file
  cp -r "$seeds". "$scratch"/
  echo "fuzz: $name for ${seconds}s"
  if ! "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len="$maxlen" -print_final_stats=1 \
        "$scratch" 2>"$build/fuzz_$name.log"; then
    echo "fuzz: $name FAILED (see $build/fuzz_$name.log)"; tail -30 "$build/fuzz_$name.log"; status=1
  else
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$build/fuzz_$name.log" | sed "s/^/fuzz: $name /"
  fi
  rm -rf "$scratch"
done
exit $status
