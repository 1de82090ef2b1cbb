#!/usr/bin/env bash
# Peak resident memory per file and wall time of corvelle-cli beside jdupes on one tree (for
# instance one that make-million-tree.py wrote), warm page cache, runs alternating.
#
# Usage: bench/memory-per-file.sh [--runs N] [--cli PATH]... TREE
#   --runs N    runs per program (default 3)
#   --cli PATH  a corvelle-cli to measure; give it twice to set two builds side by side
#               (default: build/src/cli/corvelle-cli)
# Bytes per file: "Maximum resident set size" of /usr/bin/time (KiB) times 1024, divided by
# the number of files in the tree.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
runs=3
clis=()
while (($# > 1)); do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --cli) clis+=("$2"); shift 2 ;;
    *) echo "memory-per-file: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
if (($# != 1)) || [[ ! -d "$1" ]]; then
    sed -n '2,10p' "$0" >&2
    exit 2
fi
tree=$1
((${#clis[@]} > 0)) || clis=("$repo/build/src/cli/corvelle-cli")
[[ -x /usr/bin/time ]] || { echo "memory-per-file: /usr/bin/time is needed" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/corvelle-memory-XXXXXX")
trap 'rm -rf "$work"' EXIT

files=$(find "$tree" -type f | wc -l)
echo "== $tree: $files files; warming the page cache"
find "$tree" -type f -print0 | xargs -0 cat >/dev/null

programs=()
for cli in "${clis[@]}"; do
    programs+=("$cli -r -q --format tsv --work-dir $work")
done
command -v jdupes >/dev/null && programs+=("jdupes -r")

for ((run = 1; run <= runs; run++)); do
    for k in "${!programs[@]}"; do
        # shellcheck disable=SC2086 # the command line is split on purpose
        /usr/bin/time -f "%e %M" -o "$work/time" ${programs[$k]} "$tree" >/dev/null
        read -r seconds kib <"$work/time"
        printf '%s\t%s\t%s\n' "$k" "$seconds" "$kib" >>"$work/results"
    done
done

printf '%-60s %10s %10s %14s\n' "program" "median s" "max KiB" "bytes per file"
for k in "${!programs[@]}"; do
    mapfile -t seconds < <(awk -F'\t' -v k="$k" '$1 == k { print $2 }' "$work/results" | sort -n)
    kib=$(awk -F'\t' -v k="$k" '$1 == k && $3 > m { m = $3 } END { print m }' "$work/results")
    n=${#seconds[@]}
    median=$(echo "${seconds[$(((n - 1) / 2))]} ${seconds[$((n / 2))]}" | awk '{ print ($1 + $2) / 2 }')
    printf '%-60s %10.2f %10d %14.0f\n' "${programs[$k]%% -r*}" "$median" "$kib" \
        "$(awk -v kib="$kib" -v files="$files" 'BEGIN { print kib * 1024 / files }')"
done
