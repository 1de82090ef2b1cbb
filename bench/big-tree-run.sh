#!/usr/bin/env bash
# One run of corvelle-cli -r over a large tree, and of jdupes -r beside it: wall time, peak
# resident memory and the peak disk the run took in its temporary folder.
#
# Usage: bench/big-tree-run.sh [--cli PATH] [--no-jdupes] TREE [-- CLI-OPTIONS...]
#   --cli PATH    the corvelle-cli to run (default: build-bench's, else build's)
#   --no-jdupes   leave jdupes out
# The temporary folder is a fresh folder beside the tree's parent, watched twice a second.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cli=""
jdupes=1
while (($# > 0)); do
    case "$1" in
    --cli) cli=$2; shift 2 ;;
    --no-jdupes) jdupes=0; shift ;;
    *) break ;;
    esac
done
if (($# < 1)) || [[ ! -d "$1" ]]; then
    sed -n '2,9p' "$0" >&2
    exit 2
fi
tree=$1
shift
[[ "${1:-}" == "--" ]] && shift
for candidate in "$cli" "$repo/build-bench/src/cli/corvelle-cli" "$repo/build/src/cli/corvelle-cli"; do
    [[ -n "$candidate" && -x "$candidate" ]] && { cli=$candidate; break; }
done
[[ -x /usr/bin/time ]] || { echo "big-tree-run: /usr/bin/time is needed" >&2; exit 1; }

temporary=$(mktemp -d "$(dirname "$(realpath "$tree")")/corvelle-big-run-XXXXXX")
trap 'rm -rf "$temporary"' EXIT

# Runs a command with TMPDIR in the watched folder; prints seconds, peak KiB, peak temp KiB.
measure() {
    local peak=0 used
    TMPDIR=$temporary /usr/bin/time -f "%e %M" -o "$temporary.time" "$@" >/dev/null &
    local pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        used=$(du -sk "$temporary" 2>/dev/null | cut -f1)
        ((used > peak)) && peak=$used
        sleep 0.5
    done
    wait "$pid"
    read -r seconds kib <"$temporary.time"
    rm -f "$temporary.time"
    echo "$seconds $kib $peak"
}

files=$(find "$tree" -type f | wc -l)
echo "== $tree: $files files"
read -r seconds kib peak < <(measure "$cli" -r -q --format tsv "$@" "$tree")
printf 'corvelle-cli  %8.1f s  %7d MiB peak memory (%d bytes a file)  %6d MiB temporary disk\n' \
    "$seconds" $((kib / 1024)) $((kib * 1024 / files)) $((peak / 1024))
if ((jdupes)) && command -v jdupes >/dev/null; then
    read -r seconds kib peak < <(measure jdupes -r "$tree")
    printf 'jdupes -r     %8.1f s  %7d MiB peak memory (%d bytes a file)\n' \
        "$seconds" $((kib / 1024)) $((kib * 1024 / files))
fi
