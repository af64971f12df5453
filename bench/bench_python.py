#!/usr/bin/env python3
"""Throughput of the pallimor module: textures per second at 256 and 1024, drawn from 1 and 2
Python threads (each call on one rasteriser thread, the GIL released while it draws), and from
one Python thread with 2 rasteriser threads for comparison. Medians of three rounds.

    PYTHONPATH=build /usr/bin/python3 bench/bench_python.py [ROUNDS]
"""

import statistics
import sys
import threading
import time

import pallimor

COUNTS = {256: 16, 1024: 4}  # textures per round


def round_rate(size, count, python_threads, raster_threads):
    """Textures per second of one round: count textures, split over python_threads threads."""
    seeds = list(range(1, count + 1))

    def draw(part):
        for seed in part:
            pallimor.generate(seed=seed, size=size, threads=raster_threads)

    workers = [threading.Thread(target=draw, args=(seeds[i::python_threads],)) for i in range(python_threads)]
    start = time.perf_counter()
    for worker in workers:
        worker.start()
    for worker in workers:
        worker.join()
    return count / (time.perf_counter() - start)


def main():
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 3
    pallimor.generate(seed=1, size=64)  # the first call pays for loading the module's pages
    print("size  python threads  raster threads  textures/s (median of %d)" % rounds)
    for size, count in COUNTS.items():
        for python_threads, raster_threads in ((1, 1), (2, 1), (1, 2)):
            rates = [round_rate(size, count, python_threads, raster_threads) for _ in range(rounds)]
            print("%4d  %14d  %14d  %.2f" % (size, python_threads, raster_threads, statistics.median(rates)))


if __name__ == "__main__":
    main()
