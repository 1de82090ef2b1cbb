# The sets of a corvelle-cli tsv listing against the sets of jdupes or fdupes (paths one per
# line, sets separated by blank lines): "ok, N sets" or what differs.
#   same-sets.py CORVELLE.tsv PEER.txt
import sys
def unescape(cell):
    out, i = [], 0
    while i < len(cell):
        if cell[i] == "\\" and i + 1 < len(cell):
            out.append({"t": "\t", "n": "\n", "\\": "\\"}[cell[i + 1]]); i += 2
        else:
            out.append(cell[i]); i += 1
    return "".join(out)
mine = {}
for line in open(sys.argv[1], encoding="utf-8", errors="surrogateescape"):
    c = line.rstrip("\n").split("\t")
    mine.setdefault(c[1], set()).add(unescape(c[2]) + unescape(c[3]) + unescape(c[4]))
theirs, current = [], set()
for line in open(sys.argv[2], encoding="utf-8", errors="surrogateescape"):
    line = line.rstrip("\n")
    if line:
        current.add(line)
    elif current:
        theirs.append(frozenset(current)); current = set()
if current:
    theirs.append(frozenset(current))
a, b = {frozenset(v) for v in mine.values()}, set(theirs)
print("ok, %d sets" % len(a) if a == b else "MISMATCH: %d sets, %d only ours, %d only theirs" % (len(a), len(a - b), len(b - a)))
