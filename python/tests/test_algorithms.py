"""Every capability on small meshes, with the values the library's own tests pin."""

import math

import numpy as np
import pytest

import quorin
from conftest import boundary_edges, cube, shared, sphere


def test_quality_values_ranges_and_degenerate_triangles():
    s = math.sqrt(3) / 2
    nodes = [[0, 0, 0], [1, 0, 0], [0.5, s, 0], [2, 0, 0]]
    # An equilateral triangle, and a collinear one that no shape metric can grade.
    grades = quorin.quality(quorin.Mesh(nodes, [[0, 1, 2], [0, 1, 3]]))
    assert set(grades) == set(quorin.METRICS) | {"ranges"}
    assert grades["min_angle"][0] == pytest.approx(60.0)
    assert grades["max_angle"][0] == pytest.approx(60.0)
    for metric in ("aspect_ratio", "aspect_frobenius", "condition", "edge_ratio",
                   "scaled_jacobian"):
        assert grades[metric][0] == pytest.approx(1.0), metric
    assert grades["area"][0] == pytest.approx(s / 2) and grades["area"][1] == 0.0
    # The collinear triangle: shape ratios refused, its angles still measured.
    assert np.isnan([grades[m][1] for m in ("aspect_ratio", "condition", "area_ratio")]).all()
    assert (grades["min_angle"][1], grades["max_angle"][1]) == (0.0, 180.0)
    assert grades["ranges"]["min_angle"] == (30.0, 60.0)
    assert grades["ranges"]["area"] == (0.0, math.inf)
    only = quorin.quality(cube(), metrics="min_angle")
    assert set(only) == {"min_angle", "ranges"} and only["min_angle"] == pytest.approx(45.0)


def test_merge_nodes_and_weld_join_a_triangle_soup():
    solid = cube()
    soup = quorin.Mesh(solid.nodes[solid.triangles.ravel()],
                       np.arange(36, dtype=np.int32).reshape(12, 3))
    assert soup.nb_nodes == 36 and boundary_edges(soup) == 36
    merged = quorin.merge_nodes(soup)
    assert (merged.nb_nodes, merged.nb_triangles) == (8, 12) and boundary_edges(merged) == 0
    halves = [quorin.Mesh(soup.nodes, soup.triangles[:6]),
              quorin.Mesh(soup.nodes, soup.triangles[6:])]
    welded = quorin.weld(halves)
    assert (welded.nb_nodes, welded.nb_triangles) == (8, 12)
    # A tolerance wider than the cube leaves nothing but collapsed triangles.
    with pytest.raises(quorin.Error, match="no triangle"):
        quorin.merge_nodes(soup, tolerance=2.0)


def test_self_intersections_report_the_crossing_pair_only():
    nodes = [[0, 0, 0], [2, 0, 0], [0, 2, 0], [0.5, 0.5, -1], [0.5, 0.5, 1], [1.5, 1.5, 0],
             [10, 0, 0], [11, 0, 0], [10, 1, 0]]
    mesh = quorin.Mesh(nodes, [[0, 1, 2], [3, 4, 5], [6, 7, 8]])
    found = quorin.self_intersections(mesh)
    assert found["triangles"].tolist() == [0, 1]
    assert [g.tolist() for g in found["groups"]] == [[0, 1]]
    assert found["mesh"].nb_triangles == 2
    clean = quorin.self_intersections(sphere(10))
    assert clean["triangles"].size == 0 and clean["mesh"] is None


def test_convex_hull_and_obb_of_a_box():
    rng = np.random.default_rng(3)
    corners = cube(2.0).nodes
    points = np.vstack([corners, rng.random((200, 3)) * 1.8 + 0.1])
    hull = quorin.convex_hull(points)
    assert (hull.nb_nodes, hull.nb_triangles) == (8, 12) and boundary_edges(hull) == 0
    assert quorin.convex_hull(cube()).nb_nodes == 8
    with pytest.raises(quorin.Error, match="fewer than 4"):
        quorin.convex_hull(np.zeros((3, 3)))
    # A 4 x 2 x 1 box turned about z: the optimised box has its extents.
    angle = math.radians(30)
    turn = np.array([[math.cos(angle), -math.sin(angle), 0], [math.sin(angle), math.cos(angle), 0],
                     [0, 0, 1]])
    box = cube()
    nodes = (box.nodes * [4, 2, 1]) @ turn.T
    result = quorin.obb(quorin.Mesh(nodes, box.triangles))
    assert sorted(result["extents"]) == pytest.approx([1, 2, 4], abs=1e-6)
    assert result["volume"] == pytest.approx(8.0, abs=1e-5)
    assert result["corners"].shape == (8, 3)


def test_decimate_every_method():
    mesh = sphere(40)
    half = quorin.decimate(mesh, reduction=50)
    assert abs(half.nb_triangles - mesh.nb_triangles / 2) <= 0.02 * mesh.nb_triangles
    assert boundary_edges(half) == 0
    radii = np.linalg.norm(half.nodes, axis=1)
    assert radii.max() < 1.01 and radii.min() > 0.95
    pro = quorin.decimate(mesh, reduction=75, method="pro", feature_angle=45)
    assert pro.nb_triangles < 0.35 * mesh.nb_triangles
    topo = quorin.decimate(mesh, reduction=90, method="topo")
    assert abs(topo.nb_triangles - mesh.nb_triangles / 10) <= 0.02 * mesh.nb_triangles
    assert boundary_edges(topo) == 0
    with pytest.raises(ValueError, match="'quadric', 'topo' or 'pro'"):
        quorin.decimate(mesh, method="fast")


def test_smooth_heal_and_fill_holes():
    mesh = sphere(16)
    for method in ("openmesh", "vtk"):
        smoothed = quorin.smooth(mesh, iterations=5, method=method)
        assert (smoothed.nb_nodes, smoothed.nb_triangles) == (mesh.nb_nodes, mesh.nb_triangles)
    # A sphere without its two polar caps has two holes.
    open_mesh = quorin.Mesh(mesh.nodes, mesh.triangles[32:])
    assert boundary_edges(open_mesh) > 0
    closed = quorin.fill_holes(open_mesh)
    assert boundary_edges(closed) == 0
    healed = quorin.heal(open_mesh, hole_size=0.0)
    assert boundary_edges(healed) == boundary_edges(open_mesh)
    assert boundary_edges(quorin.heal(open_mesh, hole_size=10.0)) == 0


def test_wrap_and_overlap():
    envelope = quorin.wrap(sphere(24), size=0.1)
    assert boundary_edges(envelope) == 0
    assert np.linalg.norm(envelope.nodes, axis=1).max() < 1.2
    a, b = cube(), cube(origin=(0.5, 0, 0))
    assert quorin.overlap(a, a) == pytest.approx(1.0, abs=0.02)
    assert quorin.overlap(a, b) == pytest.approx(0.5, abs=0.06)
    assert quorin.overlap(a, cube(origin=(3, 0, 0))) == 0.0
    with pytest.raises(quorin.Error, match="open mesh"):
        quorin.overlap(a, quorin.Mesh(a.nodes, a.triangles[:10]))


def test_cad_functions_on_a_meshed_shape():
    shape = quorin.read_cad(shared("cad", "screw.step"))
    with pytest.raises(quorin.Error, match="shape.mesh"):
        quorin.deviation(cube(), shape)
    fine = shape.mesh(deflection=0.01)
    coarse = quorin.read_cad(shared("cad", "screw.step")).mesh(deflection=0.5)
    assert np.abs(quorin.deviation(fine, shape)).max() < 1e-6
    far = quorin.deviation(coarse, shape)
    assert far.shape == (coarse.nb_triangles,) and 0 < far.max() <= 0.5 + 1e-6
    welded = quorin.weld(shape)
    assert welded.nb_triangles == fine.nb_triangles
    disguised = quorin.obfuscate(shape)
    assert disguised.nb_faces == shape.nb_faces and disguised.is_meshed
    assert quorin.obb(shape)["volume"] > 0
