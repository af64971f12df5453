#!/usr/bin/env python3
"""A small data set of textures made in parallel with Dask.

A LocalCluster of two worker processes draws the textures with the pallimor module (each task
one texture, its pixels sent back as a numpy array); this process writes them as PNG files, one
per seed, and a manifest with the recipe code of each. The textures are the ones
`pallimor-cli generate --seed N --size S [options] --out FILE.png` writes.

    python3 dask_dataset.py OUT_FOLDER [COUNT] [SIZE]
"""

import os
import sys

import cloudpickle
import pallimor
from dask.distributed import Client, LocalCluster
from PIL import Image

# The options each texture is drawn with, by its position in the set (the CLI's names, '_' for '-').
EFFECTS = ("stroke", "glow", "blend", "shift")
TILINGS = ("mirror", "wrap")


def options_of(index):
    """The generation options of texture index: effects and tilings taken in turn."""
    return {"effect": EFFECTS[index % len(EFFECTS)], "tiling": TILINGS[index // len(EFFECTS) % len(TILINGS)]}


def draw(seed, size, options):
    """One texture, on a worker: its (size, size, 4) RGBA pixels."""
    return pallimor.generate(seed=seed, size=size, threads=1, **options)


# The workers get draw itself, not a reference to this file, which they need not find.
cloudpickle.register_pickle_by_value(sys.modules[__name__])


def make_dataset(folder, count=8, size=128, first_seed=1):
    """Draws count textures of side size from seeds first_seed on; answers (file, seed, options) each."""
    os.makedirs(folder, exist_ok=True)
    jobs = [(first_seed + i, options_of(i)) for i in range(count)]
    # One thread a worker: the rasteriser spreads each texture over one thread, the cluster over two
    # processes.
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, Client(
        cluster
    ) as client:
        futures = [client.submit(draw, seed, size, options) for seed, options in jobs]
        images = client.gather(futures)
    made = []
    with open(os.path.join(folder, "manifest.txt"), "w", encoding="ascii") as manifest:
        for (seed, options), pixels in zip(jobs, images):
            name = os.path.join(folder, "texture-%08X.png" % seed)
            Image.fromarray(pixels, "RGBA").save(name)
            manifest.write("%s %s\n" % (pallimor.recipe(seed=seed, size=size, **options), os.path.basename(name)))
            made.append((name, seed, options))
    return made


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    arguments = [int(a) for a in sys.argv[2:4]]
    for name, _, _ in make_dataset(sys.argv[1], *arguments):
        print(name)
