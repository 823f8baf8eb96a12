"""Speed-up of the Dask batch: 200 generated parts (spheres and boxes of a few thousand
triangles, STL and PLY) through read,weld,check,decimate on a LocalCluster of 1 and of 2
workers.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_batch.py [--parts 200]

Prints `task=batch workers=<k> files=<n> seconds=<wall> files_per_second=<rate>` per run
(1, 2, 1, 2 workers, alternated) and the speed-up of the best runs.
"""

import argparse
import os
import shutil
import sys
import tempfile
import time

import numpy as np

import quorin
from quorin import batch

sys.path.insert(0, os.path.dirname(__file__))
from bench_binding import sphere  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--parts", type=int, default=200)
    args = parser.parse_args()
    print("load average %.1f %.1f %.1f" % os.getloadavg())
    with tempfile.TemporaryDirectory() as folder:
        parts = os.path.join(folder, "parts")
        os.makedirs(parts)
        rng = np.random.default_rng(7)
        for i in range(args.parts):
            mesh = sphere(int(rng.integers(30, 60)))
            nodes = mesh.nodes * rng.uniform(0.5, 3.0, 3)
            quorin.write(quorin.Mesh(nodes, mesh.triangles),
                         os.path.join(parts, "part%03d%s" % (i, (".stl", ".ply")[i % 2])))
        best = {}
        for workers in (1, 2, 1, 2):
            out = os.path.join(folder, "out")
            shutil.rmtree(out, ignore_errors=True)
            start = time.perf_counter()
            table = batch.run(parts, out, "read,weld,check,decimate", workers=workers,
                              progress=False)
            seconds = time.perf_counter() - start
            assert (table["status"] == "ok").all()
            print("task=batch workers=%d files=%d seconds=%.2f files_per_second=%.1f"
                  % (workers, len(table), seconds, len(table) / seconds))
            best[workers] = min(best.get(workers, float("inf")), seconds)
        print("speed-up 2 workers over 1: %.2f" % (best[1] / best[2]))
    print("load average %.1f %.1f %.1f" % os.getloadavg())


if __name__ == "__main__":
    sys.exit(main())
