#!/usr/bin/env python3
"""A deterministic tree of many small files, for measuring a whole run's memory and time
(Python 3 stdlib only).

Usage:
    make-million-tree.py --out DIR [--files N] [--folders N] [--seed N] [--force]

DIR gets --folders folders (default 1,000, "folder0000" ...), side by side, holding --files
files (default 1,000,000) of 16 B .. 4 KiB, log-uniform. A quarter of the files are exact
copies of another file: the same name in another folder, or a renamed copy in the same or
another folder, with the extension unchanged or upper-cased, so that the default settings
(extension ignoring case, size, CRC-32 of the first 1 MiB) group every copy with its
original. Every distinct file starts with its own 16-byte header, so no two distinct files
match.

The tree takes about 1.1 GB of data and 4 GB on disk (one block per file) and 1,001,000
inodes: check `df -h DIR` and `df -i DIR` first, and remove it when done. Nothing in the
build makes it.

Side files, next to DIR (not inside it, so scanners do not see them), as the corpora of
make_corpus.py have them:
    DIR.manifest.tsv   kind  group  size  crc1m  relpath   (one line per file)
    DIR.summary.json   totals and the groups the default settings give
"""

import argparse
import json
import math
import os
import random
import shutil
import struct
import sys
import time
import zlib

BLOCK = 1 << 16
HDR = 16
WORDS = [
    "main", "util", "parser", "config", "index", "test", "data", "readme", "notes", "report",
    "image", "thumb", "icon", "logo", "cache", "module", "widget", "render", "export", "import",
    "backup", "draft", "page", "chapter", "slide", "table", "chart", "scan", "invoice", "photo",
    "track", "sample", "fixture", "schema", "style", "layout", "helper", "client", "server", "api",
]
EXTS = [".txt", ".c", ".h", ".py", ".js", ".json", ".xml", ".html", ".css", ".md", ".csv",
        ".log", ".png", ".jpg", ".gif", ".pdf", ".dat", "", ".cpp", ".ini", ".svg", ".mp3"]
RENAMES = ["{} (1)", "{} (2)", "Copy of {}", "{} - Copy", "{}_backup", "{} 2", "{}_v2"]


def plan(rng, n_files, n_folders):
    """The folders and the files: (relpath, kind, content id, size), originals first."""
    folders = [f"folder{i:04d}" for i in range(n_folders)]
    n_copies = n_files // 4
    files = []
    used = set()

    def place(folder, stem, ext):
        name, k = stem + ext, 2
        while (folder, name.lower()) in used:
            name, k = f"{stem} ({k}){ext}", k + 1
        used.add((folder, name.lower()))
        return f"{folder}/{name}"

    for cid in range(1, n_files - n_copies + 1):
        folder = folders[rng.randrange(n_folders)]
        w = rng.choice(WORDS)
        stem = f"{w}_{rng.randrange(100000):05d}" if rng.random() < 0.7 else f"{w} {rng.randrange(1000)}"
        ext = rng.choice(EXTS)
        size = int(round(math.exp(rng.uniform(math.log(16), math.log(4096)))))
        files.append((place(folder, stem, ext), "unique", cid, size))
    originals = len(files)
    for _ in range(n_copies):
        rel, _, cid, size = files[rng.randrange(originals)]
        folder, name = rel.rsplit("/", 1)
        dot = name.rfind(".")
        stem, ext = (name, "") if dot < 0 else (name[:dot], name[dot:])
        kind = rng.choice(("other_folder", "other_folder", "renamed", "upper_ext"))
        if kind == "other_folder":
            to = folders[rng.randrange(n_folders)]
        elif kind == "renamed":
            to = folder if rng.random() < 0.5 else folders[rng.randrange(n_folders)]
            stem = rng.choice(RENAMES).format(stem)
        else:
            to = folders[rng.randrange(n_folders)]
            ext = ext.upper()
        files.append((place(to, stem, ext), "copy:" + kind, cid, size))
    return folders, files


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True)
    ap.add_argument("--files", type=int, default=1_000_000)
    ap.add_argument("--folders", type=int, default=1_000)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--force", action="store_true", help="delete --out first if it exists")
    a = ap.parse_args()
    if a.files < 1 or a.folders < 1:
        sys.exit("--files and --folders must be at least 1")
    out = os.path.abspath(a.out).rstrip("/")
    if os.path.exists(out) and os.listdir(out):
        if not a.force:
            sys.exit(f"{out} exists and is not empty (use --force to replace it)")
        shutil.rmtree(out)

    t0 = time.time()
    rng = random.Random(f"million/{a.seed}/{a.files}/{a.folders}")
    folders, files = plan(rng, a.files, a.folders)
    block = random.Random(f"million-block/{a.seed}").getrandbits(BLOCK * 8).to_bytes(BLOCK, "little")

    def content(cid, size):
        off = (cid * 0x9E3779B97F4A7C15 >> 23) & (BLOCK // 2 - 1)
        head = struct.pack("<QQ", cid, 0xC5C5C5C5)
        return (head + block[off:off + size - HDR])[:size]

    for folder in folders:
        os.makedirs(os.path.join(out, folder), exist_ok=True)
    crcs = {}
    flags = os.O_WRONLY | os.O_CREAT | os.O_TRUNC
    for rel, _, cid, size in files:
        data = content(cid, size)
        fd = os.open(os.path.join(out, rel), flags, 0o644)
        os.write(fd, data)
        os.close(fd)
        if cid not in crcs:
            crcs[cid] = zlib.crc32(data)

    groups = {}
    for rel, _, cid, size in files:
        name = rel.rsplit("/", 1)[1]
        dot = name.rfind(".")
        key = (name[dot:].upper() if dot >= 0 else "", size, crcs[cid])
        groups[key] = groups.get(key, 0) + 1
    multi = [n for n in groups.values() if n >= 2]
    default = {"groups": len(multi), "files_in_groups": sum(multi),
               "redundant": sum(multi) - len(multi)}
    summary = {"profile": "million", "seed": a.seed, "out": out, "files": len(files),
               "dirs": len(folders),
               "bytes": sum(f[3] for f in files), "default_ext_size_crc1MiB": default,
               "generation_seconds": round(time.time() - t0, 1)}
    with open(out + ".manifest.tsv", "w", encoding="utf-8") as m:
        m.write("kind\tgroup\tsize\tcrc1m\trelpath\n")
        for rel, kind, cid, size in files:
            m.write(f"{kind}\tc{cid}\t{size}\t{crcs[cid]:08X}\t{rel}\n")
    with open(out + ".summary.json", "w", encoding="utf-8") as s:
        json.dump(summary, s, indent=2)
        s.write("\n")
    print(f"million seed {a.seed} -> {out}: {summary['files']:,} files in {summary['dirs']:,} "
          f"folders, {summary['bytes']:,} bytes; default settings: {default['groups']:,} groups, "
          f"{default['redundant']:,} redundant; {summary['generation_seconds']} s")


if __name__ == "__main__":
    main()
