"""Cost of the Python binding: the same decimation and quality grading timed through the
quorin package and through quorin-bench (C++), on a generated mesh of about a million
triangles, plus a numpy-only baseline of the minimum angle.

    PYTHONPATH=build/python /usr/bin/python3 bench/python/bench_binding.py build [--triangles N]

Prints one line per measurement, best of three:
    task=<name> n=<triangles> seconds=<best> <metrics>
and the overhead of the binding (Python time over C++ time, minus one) per task. The C++ and
Python runs alternate so that a change of the machine's load hits both alike.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile
import time

import numpy as np

import quorin


def sphere(resolution):
    """Closed UV sphere with about 2 * resolution^2 triangles."""
    rings = sectors = resolution
    theta = np.linspace(0, np.pi, rings + 1)[1:-1]
    phi = np.linspace(0, 2 * np.pi, sectors, endpoint=False)
    t, p = np.meshgrid(theta, phi, indexing="ij")
    body = np.stack([np.sin(t) * np.cos(p), np.sin(t) * np.sin(p), np.cos(t)], -1).reshape(-1, 3)
    nodes = np.vstack([[0, 0, 1], body, [0, 0, -1]])
    south = len(nodes) - 1
    s = np.arange(sectors)
    caps = np.vstack([np.stack([np.zeros(sectors, int), 1 + s, 1 + (s + 1) % sectors], -1),
                      np.stack([np.full(sectors, south), 1 + (rings - 2) * sectors + (s + 1) % sectors,
                                1 + (rings - 2) * sectors + s], -1)])
    r, s = np.meshgrid(np.arange(rings - 2), np.arange(sectors), indexing="ij")
    a, b = 1 + r * sectors + s, 1 + r * sectors + (s + 1) % sectors
    c, d = a + sectors, b + sectors
    quads = np.stack([np.stack([a, c, b], -1), np.stack([b, c, d], -1)], -2).reshape(-1, 3)
    return quorin.Mesh(nodes, np.vstack([caps, quads]).astype(np.int32))


def best_of_3(call):
    best = float("inf")
    for _ in range(3):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def cpp_seconds(bench, task, path, *options):
    out = subprocess.run([bench, task, path, *options], capture_output=True, text=True,
                         check=True).stdout
    return float(re.search(r"seconds=([0-9.eE+-]+)", out).group(1))


def min_angle_numpy(nodes, triangles):
    """Smallest interior angle of each triangle, degrees, in plain numpy."""
    p = nodes[triangles]
    angles = []
    for i in range(3):
        u = p[:, (i + 1) % 3] - p[:, i]
        v = p[:, (i + 2) % 3] - p[:, i]
        cos = (u * v).sum(1) / (np.linalg.norm(u, axis=1) * np.linalg.norm(v, axis=1))
        angles.append(np.degrees(np.arccos(np.clip(cos, -1, 1))))
    return np.min(angles, axis=0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="the build folder holding bench/quorin-bench")
    parser.add_argument("--triangles", type=int, default=1_000_000)
    args = parser.parse_args()
    bench = os.path.join(args.build, "bench", "quorin-bench")
    mesh = sphere(int((args.triangles / 2) ** 0.5))
    n = mesh.nb_triangles
    print("load average %.1f %.1f %.1f" % os.getloadavg())
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, "sphere.stl")
        quorin.write(mesh, path)
        mesh = quorin.read(path)  # the same nodes as the C++ run reads
        rows = []
        for task, cpp, python in [
            ("decimate-quadric", lambda: cpp_seconds(bench, "decimate-quadric", path, "0.5"),
             lambda: best_of_3(lambda: quorin.decimate(mesh, reduction=50))),
            ("quality", lambda: cpp_seconds(bench, "quality", path),
             lambda: best_of_3(lambda: quorin.quality(mesh))),
        ]:
            # Alternate: C++, Python, C++, Python; the best of each.
            cpp_best = min(cpp(), cpp())
            python_best = min(python(), python())
            print("task=%s-cpp n=%d seconds=%.4f" % (task, n, cpp_best))
            print("task=%s-python n=%d seconds=%.4f" % (task, n, python_best))
            rows.append((task, cpp_best, python_best))
        nodes, triangles = mesh.nodes, mesh.triangles
        numpy_time = best_of_3(lambda: min_angle_numpy(nodes, triangles))
        ours = best_of_3(lambda: quorin.quality(mesh, metrics="min_angle"))
        same = np.allclose(min_angle_numpy(nodes, triangles),
                           quorin.quality(mesh, metrics="min_angle")["min_angle"])
        print("task=min-angle-numpy n=%d seconds=%.4f agree=%s" % (n, numpy_time, same))
        print("task=min-angle-python n=%d seconds=%.4f" % (n, ours))
        for task, cpp_best, python_best in rows:
            print("overhead %s: %+.1f %%" % (task, 100 * (python_best / cpp_best - 1)))
    print("load average %.1f %.1f %.1f" % os.getloadavg())


if __name__ == "__main__":
    sys.exit(main())
