#!/usr/bin/env python3
"""Generates a data folder of about the given size: ~10,000 small files in nested folders,
a few large files for the rest, some empty folders and symbolic links."""
import os
import random
import sys

def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make-data.py <folder> <size in MiB>")
    root, total = sys.argv[1], int(sys.argv[2]) * 1024 * 1024
    rng = random.Random(42)
    small_count = 10000
    small_total = 0
    chunk = os.urandom(16 * 1024 * 1024)
    for i in range(small_count):
        folder = os.path.join(root, f"ordner-{i % 100:03d}", f"unter-{i % 7}")
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(0, 16 * 1024)
        start = rng.randint(0, len(chunk) - size)
        with open(os.path.join(folder, f"datei {i:05d}.dat"), "wb") as f:
            f.write(chunk[start:start + size])
        small_total += size
    for i in range(20):
        os.makedirs(os.path.join(root, f"leer-{i}"), exist_ok=True)
    for i in range(50):
        os.symlink(f"../unter-{i % 7}/datei {i:05d}.dat", os.path.join(root, f"ordner-{i % 100:03d}", f"link-{i}"))
    os.symlink("/etc/hostname", os.path.join(root, "absoluter-link"))
    large = max(total - small_total, 0)
    count = 4
    os.makedirs(os.path.join(root, "gross"), exist_ok=True)
    for i in range(count):
        left = large // count
        with open(os.path.join(root, "gross", f"gross-{i}.bin"), "wb") as f:
            while left > 0:
                piece = chunk[: min(left, len(chunk))]
                # Vary the blocks so no two files are alike.
                f.write(os.urandom(16) + piece[16:])
                left -= len(piece)

if __name__ == "__main__":
    main()
