#include <algoMesh_JT.hxx>

#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Message_ProgressScope.hxx>

#include <algorithm>

namespace quorin
{

IMPLEMENT_STANDARD_RTTIEXT(algoMesh_JT, JTCAFControl_Reader)

bool algoMesh_JT::Transfer(Handle(TDocStd_Document) & document,
                           const Message_ProgressRange& progress)
{
  // 1. Keep the requested level; the base transfer loads no triangles.
  const int requested = myLodIndex;
  myLodIndex          = -1;

  // 2. Product structure with placeholders.
  Message_ProgressScope outer(progress, "Reading JT", 2);
  if (!JTCAFControl_Reader::Transfer(document, outer.Next()))
  {
    myLodIndex = requested;
    return false;
  }

  // 3. One step per late-loaded face.
  const int             nbFaces = myLateLoadedFaces.Length();
  Message_ProgressScope scope(outer.Next(), "Loading JT triangulation", std::max(nbFaces, 1));

  // 4. The level, clamped to the last one the file has.
  myLodIndex = std::min(NbTriangulationLods() - 1, requested);

  // 5. One stream for all loads, opened by the first. The level's segments are decoded
  //    ahead in parallel, so that the loop below mostly finds them loaded.
  const auto stream = std::make_shared<std::ifstream>();
  if (!PreloadLevel(myLodIndex, 0, Message_ProgressRange()))
  {
    scope.Close();
    return false;
  }

  // 6. Each face's level replaces its placeholder.
  BRep_Builder builder;
  for (NCollection_Vector<TopoDS_Face>::Iterator it(myLateLoadedFaces); it.More(); it.Next())
  {
    if (scope.UserBreak())
    {
      scope.Close();
      return false;
    }
    TopLoc_Location location;
    const Handle(JTCAFControl_Triangulation) placeholder = Handle(
        JTCAFControl_Triangulation)::DownCast(BRep_Tool::Triangulation(it.Value(), location));
    const Handle(Poly_Triangulation) mesh =
        placeholder.IsNull() ? Handle(Poly_Triangulation)()
                             : levelTriangulation(placeholder, Message_ProgressRange(), stream);
    if (!mesh.IsNull())
    {
      builder.UpdateFace(it.Value(), mesh);
      scope.Next();
    }
  }

  // 7. Done.
  scope.Close();
  return true;
}

Handle(Poly_Triangulation)
    algoMesh_JT::levelTriangulation(const Handle(JTCAFControl_Triangulation) & placeholder,
                                    const Message_ProgressRange&          progress,
                                    const std::shared_ptr<std::ifstream>& stream) const
{
  // 1. The level must exist and hold exactly one late-loaded property.
  const JTCAFControl_Triangulation::ArrayOfLevels& levels = placeholder->Levels();
  if (myLodIndex < levels.Lower() || myLodIndex > levels.Upper())
    return Handle(Poly_Triangulation)();
  const Handle(JTCAFControl_Triangulation::Level)& level = levels.Value(myLodIndex);
  if (level.IsNull() || level->LateLoaded.Length() != 1)
    return Handle(Poly_Triangulation)();
  const Handle(JtProperty_LateLoaded)& property = level->LateLoaded.First();

  // 2. Load it unless already loaded.
  if (property->Object().IsNull())
    property->Load(NCollection_BaseAllocator::CommonBaseAllocator(), progress, stream);
  const Handle(JtElement_ShapeLOD_TriStripSet) element = property->Object();
  if (element.IsNull())
    return Handle(Poly_Triangulation)();

  // 3. Convert: nodes widened to double, corners 1-based in their order, unit normals when
  //    there is one per node.
  const int nbNodes     = element->NbVertices();
  const int nbTriangles = element->NbTriangles();
  Handle(Poly_Triangulation) mesh;
  if (nbNodes > 0 && nbTriangles > 0)
  {
    mesh            = new Poly_Triangulation(nbNodes, nbTriangles, false);
    const auto& xyz = element->VertexPositions();
    for (int i = 0; i < nbNodes; ++i)
      mesh->SetNode(i + 1, gp_Pnt(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]));
    const auto& corners = element->Triangles();
    for (int t = 0; t < nbTriangles; ++t)
      mesh->SetTriangle(
          t + 1, Poly_Triangle(corners[3 * t] + 1, corners[3 * t + 1] + 1, corners[3 * t + 2] + 1));
    const auto& normals = element->VertexNormals();
    if (normals.size() == size_t(nbNodes) * 3)
    {
      // The kernel keeps normals as 3 short reals per node; SetNormal stores them so.
      mesh->AddNormals();
      for (int i = 0; i < nbNodes; ++i)
      {
        const gp_Vec3f n(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]);
        const float    length = n.Modulus();
        mesh->SetNormal(i + 1, length > 0.0f ? n / length : n);
      }
    }
  }

  // 4. The decoded data are not kept.
  property->Release();
  return mesh;
}

} // namespace quorin
