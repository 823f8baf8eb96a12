// Welding of face triangulations.
//
// Faces are visited in explorer order; each node, placed by its face's location, is looked
// up in a cell grid of cell size = tolerance holding the nodes stored so far
// (algoMesh_CellGrid). A node within the tolerance of stored nodes takes the number of the
// last one in the grid's visiting order; otherwise it becomes a new node. Triangles are
// mapped through the face's node map, flipped for reversed faces, and dropped when two
// corners coincide. Cost: O(1) expected per node and per triangle, O(N + T) overall.
#include <algoMesh_Conglomerate.hxx>

#include <algoMesh_CellGrid.hxx>

#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <cmath>

using namespace quorin;

namespace
{
double validTolerance(const double theTolerance)
{
  return (std::isfinite(theTolerance) && theTolerance > 0.0) ? theTolerance : algoMesh_Tolerance;
}

// A face without surface carrying the triangulation, identity location.
TopoDS_Face faceOf(const Handle(Poly_Triangulation) & theMesh)
{
  TopoDS_Face  face;
  BRep_Builder builder;
  builder.MakeFace(face, theMesh);
  return face;
}

// Faces of the triangulations in vector order, in one compound.
TopoDS_Shape compoundOf(const std::vector<Handle(Poly_Triangulation)>& theMeshes,
                        const std::vector<TopLoc_Location>&            theLocations)
{
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  for (size_t i = 0; i < theMeshes.size(); ++i)
  {
    TopoDS_Face face = faceOf(theMeshes[i]);
    if (i < theLocations.size())
    {
      face.Location(theLocations[i]);
    }
    builder.Add(compound, face);
  }
  return compound;
}
} // namespace

algoMesh_Conglomerate::algoMesh_Conglomerate()
    : myTolerance(algoMesh_Tolerance), myMode(Mode_CoherentAndPlain)
{
}

algoMesh_Conglomerate::algoMesh_Conglomerate(const TopoDS_Shape& theShape,
                                             const Mode          theMode,
                                             const double        theTolerance)
    : myTolerance(validTolerance(theTolerance)), myMode(theMode)
{
  Build(theShape, theMode, false);
}

algoMesh_Conglomerate::algoMesh_Conglomerate(const Handle(Poly_Triangulation) & theMesh,
                                             const Mode   theMode,
                                             const double theTolerance)
    : myTolerance(validTolerance(theTolerance)), myMode(theMode)
{
  Build(faceOf(theMesh), theMode, false);
}

algoMesh_Conglomerate::algoMesh_Conglomerate(
    const std::vector<Handle(Poly_Triangulation)>& theMeshes,
    const Mode                                     theMode,
    const double                                   theTolerance)
    : myTolerance(validTolerance(theTolerance)), myMode(theMode)
{
  Build(compoundOf(theMeshes, {}), theMode, false);
}

algoMesh_Conglomerate::algoMesh_Conglomerate(
    const std::vector<Handle(Poly_Triangulation)>& theMeshes,
    const std::vector<TopLoc_Location>&            theLocations,
    const Mode                                     theMode,
    const double                                   theTolerance)
    : myTolerance(validTolerance(theTolerance)), myMode(theMode)
{
  Build(compoundOf(theMeshes, theLocations), theMode, false);
}

void algoMesh_Conglomerate::Build(const TopoDS_Shape& theShape,
                                  const Mode          theMode,
                                  const bool          theFillFaceMap)
{
  myShape = theShape;
  myMode  = theMode;
  myPlain.Nullify();
  myFaceTriangles.Clear();

  // 1. Fresh coherent result and welding index.
  myCoherent = new Poly_CoherentTriangulation();
  algoMesh_CellGrid index(myTolerance);
  int               nbNodes     = 0;
  int               nbTriangles = 0;

  // 2. Weld the nodes and add the triangles of every triangulated face.
  for (TopExp_Explorer exp(theShape, TopAbs_FACE); exp.More(); exp.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(exp.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull())
    {
      continue;
    }
    const std::vector<int> nodeMap = weldNodes(mesh, location, index, nbNodes);
    addTriangles(face, mesh, nodeMap, theFillFaceMap, nbTriangles);
  }

  // 3. The plain copy. The kernel answers null for a structure without triangles and
  //    drops nodes that no triangle uses.
  if (myMode == Mode_CoherentAndPlain)
  {
    const Handle(Poly_Triangulation) plain = myCoherent->GetTriangulation();
    if (!plain.IsNull())
    {
      myPlain = new Poly_Triangulation(plain);
    }
  }
}

std::vector<int> algoMesh_Conglomerate::weldNodes(const Handle(Poly_Triangulation) & theMesh,
                                                  const TopLoc_Location& theLocation,
                                                  algoMesh_CellGrid&     theIndex,
                                                  int&                   theNbNodes)
{
  const bool       toMove = !theLocation.IsIdentity();
  const gp_Trsf&   trsf   = theLocation.Transformation();
  std::vector<int> nodeMap(static_cast<size_t>(theMesh->NbNodes()));
  for (int i = 1; i <= theMesh->NbNodes(); ++i)
  {
    const gp_Pnt node  = toMove ? theMesh->Node(i).Transformed(trsf) : theMesh->Node(i);
    const int    found = theIndex.FindLast(node.XYZ(), myTolerance);
    if (found >= 0)
    {
      nodeMap[i - 1] = found;
      continue;
    }
    myCoherent->SetNode(node.XYZ(), theNbNodes);
    theIndex.Add(node.XYZ(), theNbNodes);
    nodeMap[i - 1] = theNbNodes++;
  }
  return nodeMap;
}

void algoMesh_Conglomerate::addTriangles(const TopoDS_Face& theFace,
                                         const Handle(Poly_Triangulation) & theMesh,
                                         const std::vector<int>& theNodeMap,
                                         const bool              theFillFaceMap,
                                         int&                    theNbTriangles)
{
  const bool               reversed = theFace.Orientation() == TopAbs_REVERSED;
  const int                nbNodes  = static_cast<int>(theNodeMap.size());
  NCollection_Vector<int>* numbers  = nullptr;
  for (int k = 1; k <= theMesh->NbTriangles(); ++k)
  {
    int a, b, c;
    theMesh->Triangle(k).Get(a, b, c);
    if (reversed)
    {
      std::swap(b, c);
    }
    // A triangle naming a node the face does not have is malformed input: skip it rather
    // than read outside the node map.
    if (a < 1 || b < 1 || c < 1 || a > nbNodes || b > nbNodes || c > nbNodes)
    {
      continue;
    }
    const int n0 = theNodeMap[a - 1];
    const int n1 = theNodeMap[b - 1];
    const int n2 = theNodeMap[c - 1];
    if (n0 == n1 || n1 == n2 || n0 == n2)
    {
      continue; // collapsed under welding
    }
    myCoherent->AddTriangle(n0, n1, n2);
    if (theFillFaceMap)
    {
      if (numbers == nullptr)
      {
        numbers = myFaceTriangles.ChangeSeek(theFace);
        if (numbers == nullptr)
        {
          numbers = myFaceTriangles.Bound(theFace, NCollection_Vector<int>());
        }
      }
      numbers->Append(theNbTriangles + 1);
    }
    ++theNbTriangles;
  }
}
