// Joining placed meshes merges corners through an indexed hash map keyed by position:
// the hash is the kernel's hash of the weighted coordinate sum x ln10 + y pi + z e, and two
// keys are equal when their squared distance is below 1e-14 (1e-7 squared). Points that
// are within the distance but hash to different buckets stay apart; identical points are
// always merged. Expected O(1) per corner.
#include <algoMesh_STL.hxx>

#include <algoBase_ProgressIndicator.hxx>

#include <NCollection_IncAllocator.hxx>
#include <NCollection_IndexedMap.hxx>
#include <OSD_Path.hxx>
#include <RWStl.hxx>
#include <gp_Trsf.hxx>

#include <vector>

namespace quorin
{

namespace
{

//! Coincidence of the exchange writers: squared distance below 1e-7 squared.
const double THE_SQUARED_TOLERANCE = 9.999999999999998e-15;

struct PointHasher
{
  static int HashCode(const gp_XYZ& p, const int upper)
  {
    return ::HashCode(
        p.X() * 2.302585092994046 + p.Y() * 3.141592653589793 + p.Z() * 2.718281828459045, upper);
  }
  static bool IsEqual(const gp_XYZ& a, const gp_XYZ& b)
  {
    return (a - b).SquareModulus() < THE_SQUARED_TOLERANCE;
  }
};

Handle(algoBase_ProgressIndicator) connectIndicator(const ActAPI_ProgressEntry& progress)
{
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  return indicator;
}

} // namespace

bool algoMesh_STL::Read(const TCollection_AsciiString& path,
                        Handle(Poly_Triangulation) & result,
                        ActAPI_ProgressEntry progress)
{
  Handle(algoBase_ProgressIndicator) indicator = connectIndicator(progress);
  result = RWStl::ReadFile(OSD_Path(path), indicator->Start());
  return !result.IsNull();
}

Handle(Poly_Triangulation)
    algoMesh_STL::Join(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                       const NCollection_Vector<TopLoc_Location>&            locations)
{
  // Map cells come from an incremental allocator and the buckets are sized for the input
  // nodes up front: half a million separate allocations, rehashes and frees dominated the
  // join otherwise.
  int nbInputNodes = 0;
  for (int i = 0; i < meshes.Length(); ++i)
  {
    nbInputNodes += meshes.Value(i).IsNull() ? 0 : meshes.Value(i)->NbNodes();
  }
  NCollection_IndexedMap<gp_XYZ, PointHasher> nodes(std::max(nbInputNodes, 1),
                                                    new NCollection_IncAllocator());
  std::vector<Poly_Triangle>                  triangles;
  for (int i = 0; i < meshes.Length(); ++i)
  {
    const Handle(Poly_Triangulation)& mesh = meshes.Value(i);
    if (mesh.IsNull())
    {
      continue;
    }
    const gp_Trsf trsf = i < locations.Length() ? locations.Value(i).Transformation() : gp_Trsf();
    triangles.reserve(triangles.size() + mesh->NbTriangles());
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int corners[3];
      mesh->Triangle(t).Get(corners[0], corners[1], corners[2]);
      int joined[3];
      for (int k = 0; k < 3; ++k)
      {
        gp_XYZ point = mesh->Node(corners[k]).XYZ();
        trsf.Transforms(point);
        joined[k] = nodes.Add(point);
      }
      triangles.emplace_back(joined[0], joined[1], joined[2]);
    }
  }
  if (nodes.IsEmpty())
  {
    return Handle(Poly_Triangulation)();
  }
  Handle(Poly_Triangulation) result =
      new Poly_Triangulation(nodes.Extent(), static_cast<int>(triangles.size()), false);
  for (int k = 1; k <= nodes.Extent(); ++k)
  {
    result->SetNode(k, gp_Pnt(nodes.FindKey(k)));
  }
  for (size_t k = 0; k < triangles.size(); ++k)
  {
    result->SetTriangle(static_cast<int>(k) + 1, triangles[k]);
  }
  return result;
}

core_ExportStatus algoMesh_STL::Write(const NCollection_Vector<Handle(Poly_Triangulation)>& meshes,
                                      const NCollection_Vector<TopLoc_Location>& locations,
                                      const TCollection_AsciiString&             path,
                                      ActAPI_ProgressEntry                       progress,
                                      const bool                                 binary)
{
  // 1. Bridge the kernel writer's progress.
  Handle(algoBase_ProgressIndicator) indicator = connectIndicator(progress);

  // 2. Join the placed meshes with coincident nodes merged.
  const Handle(Poly_Triangulation) joined = Join(meshes, locations);
  if (joined.IsNull())
  {
    return ExportStatus_NoData;
  }

  // 3. Encode.
  const OSD_Path file(path);
  const bool     written = binary ? RWStl::WriteBinary(joined, file, indicator->Start())
                                  : RWStl::WriteAscii(joined, file, indicator->Start());
  return written ? ExportStatus_Ok : ExportStatus_Failed;
}

core_ExportStatus algoMesh_STL::Write(const Handle(Poly_Triangulation) & mesh,
                                      const TCollection_AsciiString& path,
                                      ActAPI_ProgressEntry           progress,
                                      const bool                     binary)
{
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  return Write(meshes, locations, path, progress, binary);
}

} // namespace quorin
