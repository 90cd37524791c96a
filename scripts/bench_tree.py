#!/usr/bin/env python3
"""Writes the benchmark tree: 2,000 files of about 200 MB in all, in 50
directories (10 chains of 5 nested levels), the same bytes every time, and
the same bytes as one file. Usage: bench_tree.py OUT (makes OUT/tree, OUT/one)."""
import os
import random
import sys

out = sys.argv[1]
rng = random.Random(7)
sizes = [rng.randrange(1024, 200 * 1024) for _ in range(2000)]
scale = 200_000_000 / sum(sizes)
block = rng.randbytes(256 * 1024)
total = 0
for i, size in enumerate(sizes):
    size = max(1, int(size * scale))
    chain, level = divmod(i // 40, 5)
    folder = os.path.join(out, "tree", *[f"c{chain}l{k}" for k in range(level + 1)])
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"f{i:04}.bin"), "wb") as f:
        f.write((block * (size // len(block) + 1))[i % 977:i % 977 + size])
    total += size
os.makedirs(os.path.join(out, "one"), exist_ok=True)
with open(os.path.join(out, "one", "all.bin"), "wb") as f:
    f.write((block * (total // len(block) + 1))[:total])
print(f"tree: 2000 files, 50 directories, {total} bytes")
