#!/usr/bin/env bash
# Times corvelle-cli --reflink on a loop-mounted btrfs or XFS image holding COPIES copies (three
# of each of COPIES/3 distinct files, 4 KiB to 1 MiB, in folders of 100) beside their originals,
# and reads back the space the clones gave back. Each run starts from fresh copies written
# byte by byte (no blocks shared). jdupes -B (its own clone of duplicates, FIDEDUPERANGE) is
# timed beside it when it can.
#
# Usage: bench/reflink-copies.sh [--fs btrfs|xfs] [--copies N] [--runs N] [--cli PATH]
# Needs root (a private mount namespace and a loop device), mkfs.btrfs or mkfs.xfs, python3.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
fs=btrfs
copies=3000
runs=3
cli="$repo/build/src/cli/corvelle-cli"
while (($# > 0)); do
    case "$1" in
    --fs) fs=$2; shift 2 ;;
    --copies) copies=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --cli) cli=$(realpath "$2"); shift 2 ;;
    -h | --help) sed -n '2,10p' "$0"; exit 0 ;;
    *) echo "reflink-copies: unknown argument '$1'" >&2; exit 2 ;;
    esac
done
[[ -x $cli ]] || { echo "reflink-copies: no corvelle-cli at $cli" >&2; exit 1; }
case $fs in
btrfs) mkfs=(mkfs.btrfs -q) ;;
xfs) mkfs=(mkfs.xfs -q -m reflink=1) ;;
*) echo "reflink-copies: --fs is btrfs or xfs" >&2; exit 2 ;;
esac

work=$(mktemp -d "${TMPDIR:-/tmp}/corvelle-reflink-XXXXXX")
trap 'rm -rf "$work"' EXIT
truncate -s 6G "$work/image"
"${mkfs[@]}" "$work/image" >/dev/null
mkdir "$work/vol"

# Everything else inside a private mount namespace: the mount goes with it.
export cli copies runs work fs
unshare -m bash -euo pipefail -c '
mount -o loop "$work/image" "$work/vol"
vol=$work/vol
python3 - "$vol/originals" $((copies / 3)) <<EOF
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
for i in range(count):
    folder = os.path.join(root, "d%02d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    size = int(4096 * (256 ** rng.random()))
    with open(os.path.join(folder, "f%05d.bin" % i), "wb") as f:
        f.write(rng.randbytes(size))
EOF
used() { sync; [[ $fs == btrfs ]] && btrfs filesystem sync "$vol" >/dev/null; df -B1 --output=used "$vol" | tail -1; }
fresh_copies() {
    rm -rf "$vol/copies"
    for n in 1 2 3; do
        mkdir -p "$vol/copies/$n"
        cp -r --reflink=never "$vol/originals/." "$vol/copies/$n/"
    done
}
time_run() {
    local start end
    start=$(date +%s.%N)
    "$@" >"$work/out" 2>"$work/err" || true
    end=$(date +%s.%N)
    awk "BEGIN { printf \"%.3f\", $end - $start }"
}
median() { sort -n | awk "{ a[NR] = \$1 } END { print a[int((NR + 1) / 2)] }"; }

for tool in corvelle jdupes; do
    if [[ $tool == jdupes ]] && ! command -v jdupes >/dev/null; then
        continue
    fi
    : >"$work/times"
    for run in $(seq "$runs"); do
        fresh_copies
        before=$(used)
        if [[ $tool == corvelle ]]; then
            seconds=$(time_run "$cli" -r -q --content --reflink --format json "$vol/originals" "$vol/copies")
            said=$(python3 -c "import json; s = json.load(open(\"$work/out\"))[\"summary\"]; print(s[\"acted\"], s[\"skipped\"], s[\"bytes_freed\"])")
        else
            seconds=$(time_run jdupes -r -q -B "$vol/originals" "$vol/copies")
            said="- - -"
        fi
        after=$(used)
        echo "$seconds" >>"$work/times"
        read -r acted skipped claimed <<<"$said"
        echo "$tool run $run: ${seconds}s, acted $acted, skipped $skipped, bytes_freed $claimed, file system used $before -> $after ($(( (before - after) / 1048576 )) MiB given back)"
        [[ -s $work/err && $tool == jdupes ]] && head -3 "$work/err"
    done
    echo "$tool: median $(median <"$work/times") s over $runs runs ($(nproc) cores, $copies copies on $fs)"
done
'
