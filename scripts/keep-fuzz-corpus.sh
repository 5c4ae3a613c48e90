#!/usr/bin/env bash
# Keeps a small, minimised corpus of one fuzz target in the repository (fuzz/corpus/TARGET), made from
# what a run of scripts/run-fuzz.sh found (build-fuzz/corpus/TARGET) and what is kept already: libFuzzer's
# merge keeps the inputs that add coverage, here only those of at most MAX_BYTES (default 65536), so the
# repository stays small. scripts/run-fuzz.sh starts from the kept corpus.
#
#   scripts/keep-fuzz-corpus.sh TARGET [MAX_BYTES]
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?usage: scripts/keep-fuzz-corpus.sh TARGET [MAX_BYTES]}
max=${2:-65536}
binary=build-fuzz/bin/$target
found=build-fuzz/corpus/$target
kept=fuzz/corpus/$target
[ -x "$binary" ] || { echo "keep-fuzz-corpus.sh: build $target first (scripts/run-fuzz.sh)" >&2; exit 2; }
[ -d "$found" ] || { echo "keep-fuzz-corpus.sh: no corpus in $found" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/small" "$work/merged" "$kept"
# Only inputs small enough to keep; the merge itself would cut longer ones at -max_len and lose them.
find "$found" "$kept" -maxdepth 1 -type f -size -"$((max + 1))"c -exec cp -t "$work/small" {} + 2>/dev/null || true
"$binary" -merge=1 -max_len="$max" -rss_limit_mb=4096 "$work/merged" "$work/small" >"$work/merge.log" 2>&1 ||
    { tail -20 "$work/merge.log" >&2; exit 1; }
rm -f "$kept"/*
cp "$work/merged"/* "$kept"/ 2>/dev/null || true
echo "$kept: $(find "$kept" -type f | wc -l) inputs, $(du -sh "$kept" | cut -f1)"
