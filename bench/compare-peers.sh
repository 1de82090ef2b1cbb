#!/usr/bin/env bash
# Times corvelle-cli (as it lists, with --verify, and with --content) side by side with jdupes,
# rdfind, rmlint and fdupes on the benchmark corpora (many-small and mixed, seed 1, warm page
# cache), checks that Corvelle finds the expected groups, and that its --content sets (size and
# content alone, empty files left out, as jdupes and fdupes compare) are exactly theirs.
# Corpora are generated once and reused, so reruns are quick.
#
# Usage: bench/compare-peers.sh [--runs N] [--dir DIR] [--cli PATH] [--profiles "A B"] [--cold]
#   --runs N        timed runs per tool and corpus (default 5, after one warm-up run)
#   --dir DIR       where corpora are kept (default $CORVELLE_BENCH_DIR or /tmp/corvelle-bench)
#   --cli PATH      the corvelle-cli to time (default: build/src/cli/corvelle-cli, built if
#                   missing)
#   --profiles ...  corpora to use (default "many-small mixed")
#   --cold          also time every tool with the page cache dropped before each run (needs
#                   root and a writable /proc/sys/vm/drop_caches; skipped with a message if not)
# The corpus generator is found beside the repository (../shared/bench/make_corpus.py) or
# through $CORVELLE_CORPUS_SCRIPT.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
runs=5
dir=${CORVELLE_BENCH_DIR:-/tmp/corvelle-bench}
cli=""
profiles="many-small mixed"
cold=""

while (($# > 0)); do
    case "$1" in
    --runs) runs=$2; shift 2 ;;
    --dir) dir=$2; shift 2 ;;
    --cli) cli=$2; shift 2 ;;
    --profiles) profiles=$2; shift 2 ;;
    --cold) cold=1; shift ;;
    -h | --help) sed -n '2,18p' "$0"; exit 0 ;;
    *) echo "compare-peers: unknown argument '$1'" >&2; exit 2 ;;
    esac
done

die() { echo "compare-peers: $*" >&2; exit 1; }

generator=${CORVELLE_CORPUS_SCRIPT:-}
if [[ -z "$generator" ]]; then
    for candidate in "$repo/../shared/bench/make_corpus.py" "$repo/shared/bench/make_corpus.py"; do
        if [[ -f "$candidate" ]]; then
            generator=$candidate
            break
        fi
    done
fi

if [[ -z "$cli" ]]; then
    cli="$repo/build/src/cli/corvelle-cli"
    if [[ ! -x "$cli" ]]; then
        cmake -S "$repo" -B "$repo/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
        cmake --build "$repo/build" --target corvelle-cli
    fi
fi
[[ -x "$cli" ]] || die "no corvelle-cli at $cli"
command -v hyperfine >/dev/null || die "hyperfine is needed (scripts/install-deps --bench)"
command -v python3 >/dev/null || die "python3 is needed"

peers=()
for tool in jdupes rdfind rmlint fdupes; do
    if command -v "$tool" >/dev/null; then
        peers+=("$tool")
    else
        echo "compare-peers: $tool not installed, left out" >&2
    fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/corvelle-peers-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$dir"

# The command line each tool is timed with. Every tool's result files go to the scratch folder
# (rmlint replaces the target of -o, so never /dev/null; rdfind writes results.txt in its
# current folder).
command_for() {
    local tool=$1 corpus=$2
    case "$tool" in
    corvelle) echo "'$cli' -r -q --format tsv --work-dir '$work' '$corpus' > /dev/null" ;;
    corvelle-verify) echo "'$cli' -r -q --verify --format tsv --work-dir '$work' '$corpus' > /dev/null" ;;
    corvelle-content) echo "'$cli' -r -q --content --format tsv --work-dir '$work' '$corpus' > /dev/null" ;;
    jdupes) echo "jdupes -r '$corpus' > /dev/null" ;;
    rdfind) echo "cd '$work' && rdfind -dryrun true '$corpus' > /dev/null" ;;
    rmlint) echo "rmlint '$corpus' -o summary:'$work/rmlint.summary' -o json:'$work/rmlint.json' > /dev/null" ;;
    fdupes) echo "fdupes -r '$corpus' > /dev/null" ;;
    esac
}

if [[ -n $cold ]] && ! (sync && echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then
    echo "compare-peers: cannot drop the page cache here (root and /proc/sys/vm/drop_caches are needed); cold runs skipped" >&2
    cold=""
fi

results="$work/results.tsv"
: >"$results"
status=0

for profile in $profiles; do
    corpus="$dir/$profile"
    summary="$dir/$profile.summary.json"
    if [[ ! -f "$summary" || ! -d "$corpus" ]]; then
        [[ -n "$generator" ]] || die "no corpus at $corpus and no make_corpus.py to make one"
        echo "== generating $profile in $corpus"
        python3 "$generator" --profile "$profile" --out "$corpus" --seed 1 --force
    fi

    echo "== warming the page cache for $profile"
    find "$corpus" -type f -print0 | xargs -0 cat >/dev/null

    # Correctness first: Corvelle's groups against the generator's count for the default
    # settings (extension, size, CRC-32 of the first 1 MiB).
    "$cli" -r -q --format tsv --work-dir "$work" "$corpus" >"$work/corvelle.tsv"
    read -r groups rows < <(awk -F'\t' '{ if (!($2 in seen)) { seen[$2] = 1; g++ } r++ }
                                       END { print g + 0, r + 0 }' "$work/corvelle.tsv")
    redundant=$((rows - groups))
    read -r want_groups want_redundant < <(python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))["default_ext_size_crc1MiB"]
print(d["groups"], d["redundant"])' "$summary")
    if [[ "$groups" == "$want_groups" && "$redundant" == "$want_redundant" ]]; then
        verdict="ok"
    else
        verdict="MISMATCH (expected $want_groups groups / $want_redundant redundant)"
        status=1
    fi
    echo "== corvelle on $profile: $groups groups, $redundant redundant files: $verdict"
    printf '%s\tgroups\t%s\t%s\t%s\n' "$profile" "$groups" "$redundant" "$verdict" >>"$results"

    # The --content sets against the peers' sets, where the peers are here.
    "$cli" -r -q --content --format tsv --work-dir "$work" "$corpus" >"$work/verified.tsv"
    for peer in jdupes fdupes; do
        command -v "$peer" >/dev/null || continue
        # Empty files left out on both sides: jdupes does by default, fdupes with -n.
        extra=()
        [[ $peer == fdupes ]] && extra=(-n)
        "$peer" -r -q "${extra[@]}" "$corpus" >"$work/$peer.sets" 2>/dev/null
        verdict=$(python3 "$repo/bench/same-sets.py" "$work/verified.tsv" "$work/$peer.sets")
        echo "== corvelle --content sets on $profile against $peer: $verdict"
        [[ $verdict == ok* ]] || status=1
        printf '%s\tsets\t%s\t%s\n' "$profile" "$peer" "$verdict" >>"$results"
    done

    for cache in warm ${cold:+cold}; do
        label=$profile
        timing=(--warmup 1)
        if [[ $cache == cold ]]; then
            label="$profile (cold)"
            timing=(--prepare 'sync; echo 3 > /proc/sys/vm/drop_caches')
        fi
        for tool in corvelle corvelle-verify corvelle-content "${peers[@]}"; do
            cmd=$(command_for "$tool" "$corpus")
            hyperfine "${timing[@]}" --runs "$runs" --style basic --export-json "$work/time-$tool.json" \
                --command-name "$tool $label" "$cmd"
            python3 -c '
import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print("\t".join([sys.argv[2], sys.argv[3], "%.3f" % r["median"], "%.3f" % r["mean"], "%.3f" % r["stddev"], "%.3f" % r["min"]]))
' "$work/time-$tool.json" "$label" "$tool" >>"$results"
        done
    done
done

echo
echo "Seconds (median, mean ± stddev, min) over $runs runs, $(nproc) cores; warm cache unless marked cold:"
python3 - "$results" <<'EOF'
import sys
rows = [line.rstrip("\n").split("\t") for line in open(sys.argv[1])]
times = [r for r in rows if r[1] not in ("groups", "sets")]
checks = [r for r in rows if r[1] == "groups"]
sets = [r for r in rows if r[1] == "sets"]
print("%-18s %-16s %8s %8s %8s %8s %s" % ("corpus", "tool", "median", "mean", "stddev", "min", ""))
for profile in dict.fromkeys(r[0] for r in times):
    mine = [r for r in times if r[0] == profile]
    peers = [float(r[2]) for r in mine if not r[1].startswith("corvelle")]  # medians
    fastest = min(peers) if peers else None
    for r in mine:
        note = ""
        if r[1].startswith("corvelle") and fastest:
            note = "%.2fx the fastest peer's median" % (float(r[2]) / fastest)
        print("%-18s %-16s %8s %8s %8s %8s %s" % (r[0], r[1], r[2], r[3], r[4], r[5], note))
for c in checks:
    print("corvelle on %s: %s groups, %s redundant files: %s" % (c[0], c[2], c[3], c[4]))
for c in sets:
    print("corvelle --content sets on %s against %s: %s" % (c[0], c[2], c[3]))
EOF
exit "$status"
