"""Triangle-mesh algorithms and mesh file exchange for Python.

The package wraps the quorinAlgoMesh C++ library. Meshes are `Mesh` objects seen through
numpy arrays (nodes (n, 3) float64, triangles (m, 3) int32 with 0-based indices); CAD
models are `Shape` objects. Every function runs the library with Python's lock released,
so other Python threads keep running, and takes `progress=`:

* None (the default): no report;
* a callable `progress(fraction, message)`, called from the calling thread every few
  tens of milliseconds while the fraction or message changes, and once with 1.0 at the end;
  raising an exception from it (KeyboardInterrupt, say) cancels the call;
* True: a tqdm progress bar when tqdm is installed, nothing otherwise.

Ctrl-C cancels the running algorithm and raises KeyboardInterrupt once it has stopped;
algorithms of the library that do not poll for cancellation yet (node merging, welding,
convex hull, healing, overlap) run to their end first.
Failures of the library raise `quorin.Error` (a RuntimeError) with its message; malformed
arrays raise ValueError before any library code runs; missing files FileNotFoundError.

    import quorin
    m = quorin.read("part.stl")
    print(quorin.quality(m)["min_angle"].min())
    small = quorin.decimate(m, reduction=90)
    quorin.write(small, "part-small.ply")
"""

from . import _quorin
from ._quorin import Error, Mesh, Shape

__all__ = [
    "Error", "Mesh", "Shape", "read", "write", "read_cad", "quality", "merge_nodes", "weld",
    "self_intersections", "deviation", "overlap", "convex_hull", "obb", "decimate", "smooth",
    "fill_holes", "heal", "wrap", "obfuscate", "METRICS",
]

#: Names of the triangle quality metrics, in the library's order.
METRICS = tuple(_quorin.metric_names())


def _reporter(progress):
    """The callable handed to the library for a `progress=` argument."""
    if progress is None or progress is False:
        return None
    if progress is True:
        try:
            from tqdm import tqdm
        except ImportError:
            return None
        bar = tqdm(total=100, unit="%", leave=False)

        def report(fraction, message):
            bar.set_description(message, refresh=False)
            bar.update(int(fraction * 100) - bar.n)
            if fraction >= 1.0:
                bar.close()
        return report
    if not callable(progress):
        raise TypeError("progress must be None, True or a callable(fraction, message)")
    return progress


def read(path, progress=None, lod=0):
    """Read a mesh file into a Mesh.

    The format follows the extension (case ignored): .stl (binary or ASCII), .ply, .obj,
    .nas/.bdf (NASTRAN bulk data), .msh (MSH 2 ASCII), .vtp and .vtu (VTK XML; the
    triangles and quadrangles, the latter cut in two), .jt (the assembly at level of detail
    `lod`, 0 the finest, a level above the last reading the last; every instance placed by
    its transform and the face meshes welded), and the CAD files .step/.stp and .brep,
    meshed by the kernel with a deflection of 0.1 % of the bounding-box diagonal (use
    read_cad() to choose the meshing). Cost: linear in the file size.

    Raises FileNotFoundError for a missing file, ValueError for an unknown extension and
    quorin.Error for a file the reader refuses (with the reader's reason).
    """
    return _quorin.read(str(path), int(lod), _reporter(progress))


def write(mesh, path, binary=True, progress=None):
    """Write a Mesh to a file in the format of its extension.

    .stl and .ply binary (default) or ASCII (`binary=False`); .obj and .nas/.bdf are text;
    .vtp and .vtu VTK XML (binary or ASCII data). STL and NASTRAN writers merge coincident
    nodes. The file is replaced. Cost: linear in the mesh size.

    Raises ValueError for an extension that cannot be written, FileNotFoundError for a
    missing directory, quorin.Error when the writer fails.
    """
    _quorin.write(mesh, str(path), bool(binary), _reporter(progress))


def read_cad(path, progress=None):
    """Read a STEP (.step, .stp) or BREP (.brep) file as a Shape, without meshing it.

    Raises FileNotFoundError, ValueError (another extension) or quorin.Error (unreadable,
    or no face).
    """
    return _quorin.read_cad(str(path), _reporter(progress))


def _shape_mesh(self, deflection=None, angle=None, size=None, mesher="kernel", progress=None):
    """Mesh the shape and answer the face meshes welded into one Mesh.

    mesher="kernel" (default): the kernel's incremental mesher, stored on the shape's faces
    (so that deviation(), fill_holes() and obfuscate() see it); `deflection` is the largest
    distance between triangles and surface in model units (default 0.1 % of the bounding-box
    diagonal), `angle` the largest angle between neighbouring normals in degrees (default
    28.6, i.e. 0.5 rad).

    mesher="zelt": the library's surface tessellator on a copy of the shape; `size` is the
    target edge length in model units (default: none, the curvature alone decides),
    `angle` the largest angular deviation in degrees (default 0.5 rad).
    Cost: grows with the number of triangles produced.
    """
    if mesher == "zelt":
        return _quorin.mesh_shape(self, 0.0, float(angle or 0.0), float(size or 0.0), mesher,
                                  _reporter(progress))
    if size is not None:
        raise ValueError("size is a setting of mesher='zelt'; the kernel's mesher takes "
                         "deflection")
    return _quorin.mesh_shape(self, float(deflection or 0.0),
                              float(angle if angle is not None else 28.64788975654116),
                              0.0, mesher, _reporter(progress))


Shape.mesh = _shape_mesh


def quality(mesh, metrics=None, progress=None):
    """Grade every triangle by quality metrics.

    `metrics`: names from METRICS (area, area_ratio, aspect_ratio, aspect_frobenius,
    condition, edge_ratio, max_angle, min_angle, scaled_jacobian), default all. Angles are
    in degrees, areas in model units squared.

    Answers a dict: one float64 array per metric with one value per triangle (NaN where the
    triangle is too degenerate for the metric), and "ranges": {metric: (low, high)}, the
    acceptable range of each metric. Cost: linear in the number of triangles.
    """
    names = [metrics] if isinstance(metrics, str) else list(metrics or ())
    return _quorin.quality(mesh, names, _reporter(progress))


def merge_nodes(mesh, tolerance=1e-7, progress=None):
    """Merge nodes closer than `tolerance` (model units) into one; answers a new Mesh.

    Nodes are kept in order of first appearance; triangles that collapse onto fewer than
    three nodes are dropped. Cost: about linear in the number of nodes.
    """
    return _quorin.merge_nodes(mesh, float(tolerance), _reporter(progress))


def weld(shape, tolerance=1e-7, progress=None):
    """Weld the face meshes of a meshed Shape (or a list of Mesh) into one Mesh.

    Nodes closer than `tolerance` become one, faces keep their orientation (reversed faces
    turned over), collapsed triangles are dropped. Cost: about linear in the mesh size.
    """
    return _quorin.weld(shape, float(tolerance), _reporter(progress))


def self_intersections(mesh, progress=None):
    """Find the triangles that intersect other triangles of the same mesh.

    Triangles meeting only at a shared node or along a shared edge do not count; merge
    coincident nodes first (merge_nodes) or neighbours of a triangle soup are reported.
    Answers {"triangles": int32 array of 0-based indices, "groups": list of such arrays
    (connected clusters), "mesh": Mesh of the offending triangles or None}. Cost:
    O(m log m) with a bounding-volume hierarchy, parallel.
    """
    return _quorin.self_intersections(mesh, _reporter(progress))


def deviation(mesh, shape, signed=False, progress=None):
    """Distance of each triangle's centroid to a meshed Shape, model units.

    Measured against the shape's face meshes (mesh it finely with shape.mesh() first).
    `signed=True` gives negative values behind the surface (inside a solid). Answers one
    float64 per triangle, NaN for a centroid that is not finite. Cost: O(m log k), parallel.
    """
    return _quorin.deviation(mesh, shape, bool(signed), _reporter(progress))


def overlap(a, b, voxel_size_ratio=0.01, progress=None):
    """Overlap ratio of the solids bounded by two closed meshes: 0 disjoint, 1 the same.

    Both are voxelized with voxels no smaller than `voxel_size_ratio` times each mesh's
    bounding-box diagonal; smaller is finer and slower (memory grows with its inverse
    square). Raises quorin.Error for an open mesh or voxels too coarse for an interior.
    """
    return _quorin.overlap(a, b, float(voxel_size_ratio), _reporter(progress))


def convex_hull(points, progress=None):
    """Convex hull of an (n, 3) array of points or of a Mesh's nodes, as a closed Mesh.

    Triangles face outward. Raises quorin.Error for fewer than four points or points on one
    plane. Cost: O(n log n) expected (quickhull).
    """
    return _quorin.convex_hull(points, _reporter(progress))


def obb(mesh, optimise=True, axes="mesh", progress=None):
    """Oriented bounding box of a Mesh or a meshed Shape.

    The axes are the principal axes of the nodes (`axes="mesh"`) or of inertia of the shape
    (`axes="shape"`); `optimise=True` then turns the box to reduce its volume (slower).
    Answers {"origin", "axes" (3x3, rows X, Y, Z), "min_corner", "max_corner" (local
    coordinates), "extents", "volume", "corners" (8x3, global)}.
    """
    return _quorin.obb(mesh, bool(optimise), axes, _reporter(progress))


def decimate(mesh, reduction=50.0, method="quadric", feature_angle=0.0, preserve_topology=True,
             delete_boundary_vertices=True, splitting=False, split_angle=0.0, progress=None):
    """Remove `reduction` percent (0 to 100) of the triangles; answers a new Mesh.

    method="quadric" (default): edge collapses in the order of least quadric error,
    boundaries kept; only `reduction` is used. method="topo": the same collapses, refusing
    any that would pinch the surface, fold a triangle or make triangles touch, so a closed
    manifold stays closed, manifold and free of self-intersections (it may stop short of
    `reduction`); only `reduction` is used. method="pro": vertex removal in the order of
    least distance to the average plane, with `feature_angle` (degrees; 0 makes every
    vertex a corner, so set it), `preserve_topology`, `delete_boundary_vertices`,
    `splitting` and `split_angle` (degrees). Coincident nodes are merged first. Cost:
    O(m log m).
    """
    return _quorin.decimate(mesh, float(reduction), method, float(feature_angle),
                            bool(preserve_topology), bool(delete_boundary_vertices),
                            bool(splitting), float(split_angle), _reporter(progress))


def smooth(mesh, iterations=10, method="openmesh", component="both", progress=None):
    """Laplacian smoothing; answers a new Mesh with boundary nodes in place.

    method="openmesh" (default): bi-Laplacian moves, coordinates through single precision;
    `component` "both", "tangential" (reshape triangles, keep the surface) or "normal".
    method="vtk": VTK's smoothing filter (relaxation 0.01 per step; `component` ignored).
    Cost: linear in the mesh size per iteration.
    """
    return _quorin.smooth(mesh, int(iterations), method, component, _reporter(progress))


def fill_holes(mesh, hole_size=None, progress=None):
    """Close the holes of a Mesh or of a meshed Shape's welded face meshes.

    `hole_size`: largest hole to close, as the radius of its bounding sphere in model
    units (default: the bounding-box diagonal, so every hole); triangles are also oriented
    consistently and coincident points merged. Answers a new Mesh.
    """
    return _quorin.fill_holes(mesh, float(hole_size or 0.0), _reporter(progress))


def heal(mesh, hole_size=0.0, progress=None):
    """One healing pass: holes smaller than `hole_size` (bounding-sphere radius, model
    units; 0 closes none) closed, orientation made consistent, duplicate points and
    degenerate triangles removed. Answers a new Mesh.
    """
    return _quorin.heal(mesh, float(hole_size), _reporter(progress))


def wrap(mesh, size=None, progress=None):
    """Shrink-wrap a Mesh or a meshed Shape into a closed, manifold envelope Mesh.

    `size` is the voxel size in model units (default 0.5 % of the bounding-box diagonal):
    gaps and holes up to about that size close. Cost: grows with (extent / size)^2.
    """
    return _quorin.wrap(mesh, float(size or 0.0), _reporter(progress))


def obfuscate(shape, box=None, ranges=(0.1, 0.1, 0.1, 0.3, 0.3, 0.3), progress=None):
    """Disguise a meshed Shape: each meshed face becomes a face carrying a distorted copy of
    its mesh. Answers a new Shape.

    `box`: (xmin, ymin, zmin, xmax, ymax, zmax), default the shape's bounding box; `ranges`:
    lower bounds of the stretch coefficients kx, ky, kz then their upper bounds (0 keeps an
    axis, 1 doubles the distance of the box boundary from the random centre).
    """
    return _quorin.obfuscate(shape, [float(v) for v in (box or ())],
                             [float(v) for v in ranges], _reporter(progress))
