"""The Mesh value type, file exchange and the checks of arrays and paths."""

import numpy as np
import pytest

import quorin
from conftest import TEST_DATA, boundary_edges, cube, shared, sphere


def test_arrays_round_trip_and_nodes_are_views():
    nodes = np.random.default_rng(1).random((5, 3))
    triangles = np.array([[0, 1, 2], [2, 3, 4]])
    mesh = quorin.Mesh(nodes, triangles, normals=np.ones((5, 3)))
    np.testing.assert_array_equal(mesh.nodes, nodes)
    assert mesh.triangles.dtype == np.int32 and mesh.nodes.dtype == np.float64
    np.testing.assert_array_equal(mesh.triangles, triangles)
    # Nodes and normals are views of the mesh's memory, kept alive by the view.
    first, second = mesh.nodes, mesh.nodes
    assert np.shares_memory(first, second) and not first.flags.writeable
    assert np.shares_memory(mesh.normals, mesh.normals) and mesh.normals.dtype == np.float32
    del mesh
    np.testing.assert_array_equal(first, nodes)
    # Triangles are copies (the library counts from 1).
    plain = cube()
    assert not np.shares_memory(plain.triangles, plain.triangles)
    assert plain.normals is None and (plain.nb_nodes, plain.nb_triangles) == (8, 12)


@pytest.mark.parametrize("nodes, triangles, reason", [
    (np.zeros((3, 3)), np.zeros((1, 3), float), "integers"),
    (np.zeros((3, 3), complex), np.zeros((1, 3), int), "real numbers"),
    (np.zeros((3, 2)), np.zeros((1, 3), int), "shape"),
    (np.zeros((3, 3)), np.zeros((1, 4), int), "shape"),
    (np.zeros((3, 3)), np.zeros((0, 3), int), "at least one triangle"),
    (np.zeros((3, 3)), np.array([[0, 1, 3]]), "outside 0 .. 2"),
    (np.zeros((3, 3)), np.array([[0, 1, -1]]), "outside"),
    (np.array([[0, 0, 0], [1, np.nan, 0], [0, 1, 0]]), np.array([[0, 1, 2]]), "finite"),
    ("nodes", np.array([[0, 1, 2]]), "real numbers"),
])
def test_bad_arrays_raise_value_error(nodes, triangles, reason):
    with pytest.raises(ValueError, match=reason):
        quorin.Mesh(nodes, triangles)


def test_bad_arguments_raise_before_the_library_runs():
    with pytest.raises(ValueError, match="unknown metric"):
        quorin.quality(cube(), metrics=["beauty"])
    with pytest.raises(ValueError, match="method"):
        quorin.decimate(cube(), method="fast")
    with pytest.raises(ValueError, match="reduction"):
        quorin.decimate(cube(), reduction=150)
    with pytest.raises(ValueError, match="shape"):
        quorin.convex_hull(np.zeros((4, 2)))
    with pytest.raises(TypeError):
        quorin.obb(np.zeros((4, 3)))


@pytest.mark.parametrize("extension, binary", [
    (".stl", True), (".stl", False), (".ply", True), (".ply", False), (".obj", False),
    (".nas", False), (".vtp", True), (".vtu", False)])
def test_every_format_writes_and_reads_back(tmp_path, extension, binary):
    mesh = sphere(12)
    path = tmp_path / ("sphere" + extension)
    quorin.write(mesh, path, binary=binary)
    back = quorin.read(path)
    assert (back.nb_nodes, back.nb_triangles) == (mesh.nb_nodes, mesh.nb_triangles)
    assert boundary_edges(back) == 0
    lo, hi = back.nodes.min(axis=0), back.nodes.max(axis=0)
    np.testing.assert_allclose(lo, mesh.nodes.min(axis=0), atol=1e-5)
    np.testing.assert_allclose(hi, mesh.nodes.max(axis=0), atol=1e-5)


def test_fixture_files_of_every_reader():
    # The test fixtures: counts as the C++ reader tests pin them.
    ply = quorin.read(f"{TEST_DATA}/ply/cube_binary.ply")
    obj = quorin.read(f"{TEST_DATA}/obj/box.obj")
    assert ply.nb_triangles == 12 and obj.nb_triangles == 12
    assert quorin.read(f"{TEST_DATA}/msh/hex_transfinite.msh").nb_triangles > 0
    assert quorin.read(f"{TEST_DATA}/vtk/linear_cells_ascii.vtu").nb_triangles > 0
    assert quorin.read(f"{TEST_DATA}/nas/freecad_GRIDSTAR_CQUAD4_large.bdf").nb_triangles == 2
    # A deck of one hexahedron and no faces: its outer faces, closed and outward.
    hexa = quorin.read(f"{TEST_DATA}/nas/pynastran_pload4_chexa_free.bdf")
    assert (hexa.nb_nodes, hexa.nb_triangles, boundary_edges(hexa)) == (8, 12, 0)
    a, b, c = (hexa.nodes[hexa.triangles[:, k]] for k in range(3))
    assert np.einsum("ij,ij->i", a, np.cross(b, c)).sum() > 0


def test_jt_assembly_at_a_level():
    # Every instance placed; a level above the last reads the last (the file has one).
    valve = quorin.read(f"{TEST_DATA}/jt/butterflyvalve_v8.0.jt")
    assert valve.nb_triangles == 10534
    assert quorin.read(f"{TEST_DATA}/jt/butterflyvalve_v8.0.jt", lod=4).nb_triangles == 10534
    with pytest.raises(ValueError, match="lod"):
        quorin.read(f"{TEST_DATA}/jt/butterflyvalve_v8.0.jt", lod=-1)


def test_file_errors(tmp_path):
    with pytest.raises(FileNotFoundError):
        quorin.read(tmp_path / "missing.stl")
    with pytest.raises(ValueError, match="unknown file type"):
        (tmp_path / "part.xyz").write_text("1 2 3\n")
        quorin.read(tmp_path / "part.xyz")
    with pytest.raises(quorin.Error, match="cannot read"):
        quorin.read(f"{TEST_DATA}/stl/truncated.stl")
    bad = tmp_path / "bad.ply"
    bad.write_bytes(b"ply\nformat binary_little_endian 1.0\nelement vertex 100\n"
                    b"property float x\nproperty float y\nproperty float z\nelement face 9\n"
                    b"property list uchar int vertex_indices\nend_header\n\0\0\0")
    with pytest.raises(quorin.Error, match="Cannot read the PLY data"):
        quorin.read(bad)
    with pytest.raises(ValueError, match="cannot write"):
        quorin.write(cube(), tmp_path / "cube.msh")
    with pytest.raises(FileNotFoundError):
        quorin.write(cube(), tmp_path / "no" / "cube.stl")
    assert issubclass(quorin.Error, RuntimeError)


def test_cad_read_and_both_meshers():
    shape = quorin.read_cad(shared("cad", "screw.step"))
    assert shape.nb_faces == 10 and not shape.is_meshed
    zelt = shape.mesh(size=2.0, mesher="zelt")
    assert not shape.is_meshed and zelt.nb_triangles > 0
    kernel = shape.mesh(deflection=0.05)
    assert shape.is_meshed and boundary_edges(kernel) == 0
    lo, hi = kernel.nodes.min(axis=0), kernel.nodes.max(axis=0)
    # Within the deflection of the box the kernel measures on the surfaces.
    np.testing.assert_allclose(lo, [-27.8197, -10.8263, -34.5637], atol=0.05)
    np.testing.assert_allclose(hi, [-7.97655, 9.1737, 7.73145], atol=0.05)
    with pytest.raises(ValueError, match="CAD"):
        quorin.read_cad(f"{TEST_DATA}/obj/box.obj")
