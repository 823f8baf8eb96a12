// Side-by-side merging of face triangulations.
//
// Two passes over the faces: the first sums node and triangle counts (and whether every
// face has UV nodes) to size the result once, the second copies nodes placed by the face
// location, normals rotated by it and negated for reversed faces, UV nodes, and triangles
// renumbered by a running offset. Cost: O(N + T).
#include <algoMesh_MergedTriangulation.hxx>

#include <BRep_Tool.hxx>
#include <GeomLib.hxx>
#include <Geom_Surface.hxx>
#include <Poly.hxx>
#include <Poly_Connect.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

using namespace quorin;

namespace
{
const double THE_NORMAL_TOLERANCE = 1.0e-7;

// Normal of node i from the triangles around it: the sum of their unit normals, or +Z when
// they cancel out or are all degenerate.
gp_Dir
flatNormal(const Handle(Poly_Triangulation) & theMesh, Poly_Connect& theConnect, const int theNode)
{
  gp_XYZ sum(0.0, 0.0, 0.0);
  for (theConnect.Initialize(theNode); theConnect.More(); theConnect.Next())
  {
    int a, b, c;
    theMesh->Triangle(theConnect.Value()).Get(a, b, c);
    const gp_XYZ p1     = theMesh->Node(a).XYZ();
    const gp_XYZ p2     = theMesh->Node(b).XYZ();
    const gp_XYZ p3     = theMesh->Node(c).XYZ();
    const gp_XYZ n      = (p2 - p1).Crossed(p3 - p2);
    const double length = n.Modulus();
    if (length >= THE_NORMAL_TOLERANCE)
    {
      sum += n / length;
    }
  }
  return sum.Modulus() > THE_NORMAL_TOLERANCE ? gp_Dir(sum) : gp_Dir(0.0, 0.0, 1.0);
}
} // namespace

algoMesh_MergedTriangulation::algoMesh_MergedTriangulation(const TopoDS_Shape& theShape)
{
  Build(theShape);
}

void algoMesh_MergedTriangulation::Build(const TopoDS_Shape& theShape)
{
  // 1. Start over.
  myShape = theShape;
  myResult.Nullify();
  myFaceTriangles = new FaceTrianglesMap();

  // 2. Size the result: every face occurrence counts; UV only if all faces have them.
  int  nbNodes = 0, nbTriangles = 0;
  bool withUV = true;
  for (TopExp_Explorer exp(theShape, TopAbs_FACE); exp.More(); exp.Next())
  {
    TopLoc_Location location;
    const Handle(Poly_Triangulation)& mesh =
        BRep_Tool::Triangulation(TopoDS::Face(exp.Current()), location);
    if (mesh.IsNull())
    {
      continue;
    }
    nbNodes += mesh->NbNodes();
    nbTriangles += mesh->NbTriangles();
    withUV = withUV && mesh->HasUVNodes();
  }
  if (nbNodes == 0)
  {
    return;
  }

  // 3. Allocate the result. The sizing constructor rejects zero counts (faces may have
  //    nodes but no triangles), so the arrays are sized one by one.
  myResult = new Poly_Triangulation();
  myResult->ResizeNodes(nbNodes, false);
  myResult->ResizeTriangles(nbTriangles, false);
  if (withUV)
  {
    myResult->AddUVNodes();
  }
  myResult->AddNormals();

  // 4. Copy the faces in the same order.
  int nextNode = 1, nextTriangle = 1;
  for (TopExp_Explorer exp(theShape, TopAbs_FACE); exp.More(); exp.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(exp.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull())
    {
      continue;
    }
    computeNormals(face, mesh);
    appendFace(face, mesh, location, withUV, nextNode, nextTriangle);
  }
}

void algoMesh_MergedTriangulation::computeNormals(const TopoDS_Face& theFace,
                                                  const Handle(Poly_Triangulation) & theMesh)
{
  if (theMesh->HasNormals())
  {
    return;
  }
  // 1. The surface in the triangulation's own frame (location reset).
  TopLoc_Location identity;
  const Handle(Geom_Surface)& surface = BRep_Tool::Surface(TopoDS::Face(theFace.Located(identity)));

  // 2. Without UV nodes or surface, average the triangle normals around each node.
  if (!theMesh->HasUVNodes() || surface.IsNull())
  {
    Poly::ComputeNormals(theMesh);
    return;
  }

  // 3. Surface normals at the UV nodes; a flat normal where the surface has none (poles,
  //    degenerate points).
  theMesh->AddNormals();
  Poly_Connect connect;
  bool         connectLoaded = false;
  for (int i = 1; i <= theMesh->NbNodes(); ++i)
  {
    gp_Dir normal;
    if (GeomLib::NormEstim(surface, theMesh->UVNode(i), THE_NORMAL_TOLERANCE, normal) > 1)
    {
      if (!connectLoaded)
      {
        connect.Load(theMesh);
        connectLoaded = true;
      }
      normal = flatNormal(theMesh, connect, i);
    }
    theMesh->SetNormal(i, normal);
  }
}

void algoMesh_MergedTriangulation::appendFace(const TopoDS_Face& theFace,
                                              const Handle(Poly_Triangulation) & theMesh,
                                              const TopLoc_Location& theLocation,
                                              const bool             theWithUV,
                                              int&                   theNextNode,
                                              int&                   theNextTriangle)
{
  const bool     toMove   = !theLocation.IsIdentity();
  const gp_Trsf& trsf     = theLocation.Transformation();
  const bool     reversed = theFace.Orientation() == TopAbs_REVERSED;
  const int      offset   = theNextNode - 1;

  // 1. Nodes, normals and UV nodes.
  for (int i = 1; i <= theMesh->NbNodes(); ++i, ++theNextNode)
  {
    myResult->SetNode(theNextNode, toMove ? theMesh->Node(i).Transformed(trsf) : theMesh->Node(i));
    gp_Dir normal = theMesh->Normal(i); // a zero normal raises here
    if (toMove)
    {
      normal.Transform(trsf);
    }
    if (reversed)
    {
      normal.Reverse();
    }
    myResult->SetNormal(theNextNode, normal);
    if (theWithUV)
    {
      myResult->SetUVNode(theNextNode, theMesh->UVNode(i));
    }
  }

  // 2. Triangles, flipped for a reversed face, and their numbers for the face.
  NCollection_Vector<int>* numbers = nullptr;
  for (int k = 1; k <= theMesh->NbTriangles(); ++k, ++theNextTriangle)
  {
    int a, b, c;
    theMesh->Triangle(k).Get(a, b, c);
    if (reversed)
    {
      std::swap(b, c);
    }
    myResult->SetTriangle(theNextTriangle, Poly_Triangle(a + offset, b + offset, c + offset));
    if (numbers == nullptr)
    {
      numbers = myFaceTriangles->ChangeSeek(theFace);
      if (numbers == nullptr)
      {
        numbers = myFaceTriangles->Bound(theFace, NCollection_Vector<int>());
      }
    }
    numbers->Append(theNextTriangle);
  }
}
