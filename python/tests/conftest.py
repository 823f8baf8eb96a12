"""Small meshes built with numpy, and the locations of the data folders."""

import os

import numpy as np
import pytest

import quorin

SHARED_DATA = os.environ.get(
    "QUORIN_SHARED_DATA",
    os.path.join(os.path.dirname(__file__), "..", "..", "..", "shared", "data"))
TEST_DATA = os.environ.get(
    "QUORIN_TEST_DATA", os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data"))


def shared(*parts):
    """Path of a shared data file; skips the test when the folder is absent."""
    path = os.path.join(SHARED_DATA, *parts)
    if not os.path.exists(path):
        pytest.skip("shared data not found at %s" % SHARED_DATA)
    return path


def cube(size=1.0, origin=(0.0, 0.0, 0.0)):
    """Closed unit cube: 8 nodes, 12 outward triangles."""
    nodes = np.array([[x, y, z] for z in (0, 1) for y in (0, 1) for x in (0, 1)], float)
    nodes = nodes * size + np.asarray(origin, float)
    triangles = np.array([[0, 2, 1], [1, 2, 3], [4, 5, 6], [5, 7, 6], [0, 1, 4], [1, 5, 4],
                          [2, 6, 3], [3, 6, 7], [0, 4, 2], [2, 4, 6], [1, 3, 5], [3, 7, 5]],
                         np.int32)
    return quorin.Mesh(nodes, triangles)


def sphere(resolution):
    """Closed UV sphere of radius 1 with about 2 * resolution^2 triangles."""
    rings, sectors = resolution, resolution
    theta = np.linspace(0, np.pi, rings + 1)[1:-1]
    phi = np.linspace(0, 2 * np.pi, sectors, endpoint=False)
    t, p = np.meshgrid(theta, phi, indexing="ij")
    body = np.stack([np.sin(t) * np.cos(p), np.sin(t) * np.sin(p), np.cos(t)], -1).reshape(-1, 3)
    nodes = np.vstack([[0, 0, 1], body, [0, 0, -1]])
    south = len(nodes) - 1
    ring = lambda r, s: 1 + r * sectors + s % sectors
    triangles = []
    for s in range(sectors):
        triangles.append([0, ring(0, s), ring(0, s + 1)])
        triangles.append([south, ring(rings - 2, s + 1), ring(rings - 2, s)])
    r, s = np.meshgrid(np.arange(rings - 2), np.arange(sectors), indexing="ij")
    a, b = ring(r, s), ring(r, s + 1)
    c, d = ring(r + 1, s), ring(r + 1, s + 1)
    quads = np.stack([np.stack([a, c, b], -1), np.stack([b, c, d], -1)], -2).reshape(-1, 3)
    return quorin.Mesh(nodes, np.vstack([triangles, quads]).astype(np.int32))


def boundary_edges(mesh):
    """Number of edges used by exactly one triangle."""
    t = mesh.triangles
    edges = np.sort(np.vstack([t[:, [0, 1]], t[:, [1, 2]], t[:, [2, 0]]]), axis=1)
    _, counts = np.unique(edges, axis=0, return_counts=True)
    return int((counts == 1).sum())


@pytest.fixture(scope="session")
def big_sphere():
    """About 200 000 triangles."""
    return sphere(317)
