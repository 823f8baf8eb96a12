// JT document reader.
//
// Shapes are built bottom-up from the scene graph with one shape per graph node, cached by
// node id, so that a node reached along several paths (an instanced part or sub-assembly)
// becomes one shared shape placed several times. Inside a part, a level-of-detail node
// contributes its k-th shape of every level to face k, so a face's placeholder lists that
// shape's geometry per level. A transform attribute places its node's shape relative to
// the parent (the innermost transform applies first).
#include <JTCAFControl_Reader.hxx>

#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Message_ProgressScope.hxx>
#include <Standard_Failure.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/task_arena.h>

#include <algorithm>
#include <atomic>
#include <cmath>

IMPLEMENT_STANDARD_RTTIEXT(JTCAFControl_Reader, RWMesh_CafReader)

namespace
{

//! Graphs nested deeper than this are taken as corrupt (real assemblies nest a few dozen).
const int THE_MAX_DEPTH = 256;

//! The display form of a node name: the exporter's ";version;occurrence" suffix cut off.
TCollection_AsciiString displayName(const std::string& name)
{
  return TCollection_AsciiString(name.substr(0, name.find(';')).c_str());
}

//! The triangulation of a loaded level, or null when it has no triangles.
Handle(Poly_Triangulation) toTriangulation(const JtElement_ShapeLOD_TriStripSet& element)
{
  const int nbNodes     = element.NbVertices();
  const int nbTriangles = element.NbTriangles();
  if (nbNodes == 0 || nbTriangles == 0)
    return Handle(Poly_Triangulation)();
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(nbNodes, nbTriangles, false);
  const auto& xyz                 = element.VertexPositions();
  for (int i = 0; i < nbNodes; ++i)
    mesh->SetNode(i + 1, gp_Pnt(xyz[3 * i], xyz[3 * i + 1], xyz[3 * i + 2]));
  const auto& corners = element.Triangles();
  for (int t = 0; t < nbTriangles; ++t)
    mesh->SetTriangle(
        t + 1, Poly_Triangle(corners[3 * t] + 1, corners[3 * t + 1] + 1, corners[3 * t + 2] + 1));
  const auto& normals = element.VertexNormals();
  if (normals.size() == size_t(nbNodes) * 3)
  {
    mesh->AddNormals();
    for (int i = 0; i < nbNodes; ++i)
    {
      gp_Vec3f    n(normals[3 * i], normals[3 * i + 1], normals[3 * i + 2]);
      const float length = n.Modulus();
      mesh->SetNormal(i + 1, length > 0.0f ? n / length : n);
    }
  }
  return mesh;
}

} // namespace

//! A face being gathered inside a part: the geometry references of each level and the
//! placement of the shape relative to the part.
struct JTCAFControl_Reader::FacePiece
{
  std::vector<std::vector<JtData_Model::LateLoadedRef>> Levels;
  gp_Trsf                                               Placement;
};

JTCAFControl_Reader::JTCAFControl_Reader()
    : myLodIndex(0), myNbTriangulationLods(0), myRootProduct(-1)
{
}

Standard_Boolean JTCAFControl_Reader::perform(const TCollection_AsciiString& file,
                                              const Message_ProgressRange&   progress,
                                              const Standard_Boolean         toProbe)
{
  Message_ProgressScope scope(progress, "Reading JT", 2);
  if (!performMesh(file, scope.Next(), toProbe))
    return false;
  if (toProbe)
    return true;
  return Transfer(myXdeDoc, scope.Next());
}

Standard_Boolean JTCAFControl_Reader::performMesh(const TCollection_AsciiString& file,
                                                  const Message_ProgressRange&   progress,
                                                  const Standard_Boolean)
{
  Message_ProgressScope scope(progress, "Reading JT scene graph", 1);
  myError.clear();
  myModel = new JtData_Model();
  if (!myModel->Read(file, myError))
  {
    myError = "'" + std::string(file.ToCString()) + "': " + myError;
    myModel.Nullify();
    return false;
  }
  return !scope.UserBreak();
}

bool JTCAFControl_Reader::Transfer(Handle(TDocStd_Document) & document,
                                   const Message_ProgressRange& progress)
{
  Message_ProgressScope scope(progress, "Building JT product structure", 2);
  if (myModel.IsNull() || document.IsNull())
  {
    if (myError.empty())
      myError = "nothing was read";
    return false;
  }

  // 1. Shapes of the graph, from the root partition down.
  myProducts.clear();
  myBuilt.clear();
  myPath.clear();
  myLateLoadedFaces.Clear();
  myNbTriangulationLods   = 0;
  myRootProduct           = -1;
  const TopoDS_Shape root = buildNode(myModel->RootId(), 0, myRootProduct);
  myBuilt.clear();
  if (root.IsNull())
  {
    myError = "the scene graph holds no shapes";
    return false;
  }

  // 2. The document, named from the node attributes.
  myRootShapes.Clear();
  myRootShapes.Append(root);
  myXdeDoc = document;
  fillDocument();
  scope.Next();

  // 3. The chosen level, when one is asked for.
  return myLodIndex < 0 || loadLevel(scope.Next());
}

bool JTCAFControl_Reader::PreloadLevel(const int                    level,
                                       const int                    nbThreads,
                                       const Message_ProgressRange& progress)
{
  Message_ProgressScope                      scope(progress, "Decoding JT level", 1);
  std::vector<Handle(JtProperty_LateLoaded)> properties;
  for (NCollection_Vector<TopoDS_Face>::Iterator it(myLateLoadedFaces); it.More(); it.Next())
  {
    TopLoc_Location location;
    const Handle(JTCAFControl_Triangulation) placeholder = Handle(
        JTCAFControl_Triangulation)::DownCast(BRep_Tool::Triangulation(it.Value(), location));
    if (placeholder.IsNull() || level < placeholder->Levels().Lower() ||
        level > placeholder->Levels().Upper() || placeholder->Levels().Value(level).IsNull())
      continue;
    for (const Handle(JtProperty_LateLoaded) & property :
         placeholder->Levels().Value(level)->LateLoaded)
      if (property->Object().IsNull())
        properties.push_back(property);
  }
  if (properties.size() < 2)
    return !scope.UserBreak();

  // Each task checks for a user break before decoding; the indicator is only asked from
  // the calling thread, so tasks see the answer through a flag.
  std::atomic<bool> isBreak(scope.UserBreak());
  const Handle(NCollection_BaseAllocator) allocator =
      NCollection_BaseAllocator::CommonBaseAllocator();
  tbb::task_arena arena(nbThreads > 0 ? nbThreads : tbb::task_arena::automatic);
  arena.execute(
      [&]()
      {
        tbb::parallel_for(tbb::blocked_range<size_t>(0, properties.size()),
                          [&](const tbb::blocked_range<size_t>& range)
                          {
                            auto stream = std::make_shared<std::ifstream>();
                            for (size_t i = range.begin(); i != range.end() && !isBreak; ++i)
                              properties[i]->Load(allocator, Message_ProgressRange(), stream);
                          });
      });
  return !isBreak && !scope.UserBreak();
}

bool JTCAFControl_Reader::loadLevel(const Message_ProgressRange& progress)
{
  Message_ProgressScope scope(progress, "Loading JT level",
                              std::max(myLateLoadedFaces.Length(), 1));
  const int             level = std::min(myNbTriangulationLods - 1, myLodIndex);
  if (!PreloadLevel(level, 0, Message_ProgressRange()))
    return false;
  auto         stream = std::make_shared<std::ifstream>();
  BRep_Builder builder;
  for (NCollection_Vector<TopoDS_Face>::Iterator it(myLateLoadedFaces); it.More(); it.Next())
  {
    if (scope.UserBreak())
      return false;
    TopLoc_Location location;
    const Handle(JTCAFControl_Triangulation) placeholder = Handle(
        JTCAFControl_Triangulation)::DownCast(BRep_Tool::Triangulation(it.Value(), location));
    if (placeholder.IsNull() || level < placeholder->Levels().Lower() ||
        level > placeholder->Levels().Upper())
      continue;
    const Handle(JTCAFControl_Triangulation::Level)& lod = placeholder->Levels().Value(level);
    if (lod.IsNull() || lod->LateLoaded.Length() != 1)
      continue;
    const Handle(JtProperty_LateLoaded)& property = lod->LateLoaded.First();
    if (property->Object().IsNull())
      property->Load(NCollection_BaseAllocator::CommonBaseAllocator(), Message_ProgressRange(),
                     stream);
    if (!property->Object().IsNull())
    {
      const Handle(Poly_Triangulation) mesh = toTriangulation(*property->Object());
      if (!mesh.IsNull())
        builder.UpdateFace(it.Value(), mesh);
    }
    property->Release();
    scope.Next();
  }
  return true;
}

bool JTCAFControl_Reader::nodePlacement(const JtData_Model::Node& node, gp_Trsf& placement) const
{
  for (const int32_t id : node.Attributes)
  {
    double m[16];
    if (!myModel->Transform(id, m))
      continue;
    for (const double value : m)
      if (!std::isfinite(value))
        return false;
    // The file's matrices act on row vectors (translation in the last row); the kernel's
    // on column vectors, hence the transposition. Matrices that are not a similarity (for
    // instance a singular or non-uniformly scaled one) cannot be a location and are ignored.
    try
    {
      placement.SetValues(m[0], m[4], m[8], m[12], m[1], m[5], m[9], m[13], m[2], m[6], m[10],
                          m[14]);
    }
    catch (const Standard_Failure&)
    {
      return false;
    }
    return true;
  }
  return false;
}

TopoDS_Shape JTCAFControl_Reader::buildNode(const int32_t id, const int depth, int& product)
{
  product        = -1;
  const auto hit = myBuilt.find(id);
  if (hit != myBuilt.end())
  {
    product = hit->second.second;
    return hit->second.first;
  }
  const JtData_Model::Node* node = myModel->FindNode(id);
  if (node == nullptr || depth > THE_MAX_DEPTH ||
      std::find(myPath.begin(), myPath.end(), id) != myPath.end())
    return TopoDS_Shape();
  myPath.push_back(id);

  TopoDS_Shape shape;
  switch (node->Kind)
  {
  case JtData_Model::NodeKind_Part:
  case JtData_Model::NodeKind_TriStripShape:
  case JtData_Model::NodeKind_LOD:
  case JtData_Model::NodeKind_RangeLOD:
    shape = buildPart(id, *node, product);
    break;
  case JtData_Model::NodeKind_OtherShape:
    break;
  case JtData_Model::NodeKind_Instance:
    // An unnamed product takes the name of the first instance of it that has one.
    if (!node->Children.empty())
      shape = buildNode(node->Children.front(), depth + 1, product);
    if (product >= 0 && myProducts[product].Name.empty())
      myProducts[product].Name = node->Name;
    break;
  default:
  {
    // An assembly: its children placed in one compound.
    Product         assembly;
    TopoDS_Compound compound;
    BRep_Builder().MakeCompound(compound);
    for (const int32_t childId : node->Children)
    {
      int                child = -1;
      const TopoDS_Shape part  = buildNode(childId, depth + 1, child);
      if (!part.IsNull())
      {
        BRep_Builder().Add(compound, part);
        assembly.Children.push_back(child);
      }
    }
    if (!assembly.Children.empty())
    {
      assembly.Name = node->Name;
      product       = static_cast<int>(myProducts.size());
      myProducts.push_back(assembly);
      shape = compound;
    }
  }
  }
  myPath.pop_back();

  gp_Trsf placement;
  if (!shape.IsNull() && nodePlacement(*node, placement) && placement.Form() != gp_Identity)
    shape.Move(TopLoc_Location(placement), Standard_False);
  if (!shape.IsNull() && !node->Name.empty() && !myAttribMap.IsBound(shape))
  {
    RWMesh_NodeAttributes attributes;
    attributes.Name    = displayName(node->Name);
    attributes.RawName = TCollection_AsciiString(node->Name.c_str());
    myAttribMap.Bind(shape, attributes);
  }
  myBuilt[id] = std::make_pair(shape, product);
  return shape;
}

TopoDS_Shape
JTCAFControl_Reader::buildPart(const int32_t id, const JtData_Model::Node& node, int& product)
{
  // 1. The faces of the part with their levels.
  std::vector<FacePiece> pieces;
  if (node.Kind == JtData_Model::NodeKind_Part)
  {
    for (const int32_t child : node.Children)
      collectPieces(child, gp_Trsf(), 2, pieces);
  }
  else
  {
    // A shape or level node outside any part stands for a part of its own; its own
    // transform is applied by the caller (depth 1 skips it).
    myPath.pop_back();
    collectPieces(id, gp_Trsf(), 1, pieces);
    myPath.push_back(id);
  }

  // 2. One face per piece, with a placeholder listing the geometry of each level.
  Product part;
  part.Name   = node.Name;
  part.IsPart = true;
  TopoDS_Compound compound;
  BRep_Builder    builder;
  builder.MakeCompound(compound);
  for (const FacePiece& piece : pieces)
  {
    const int nbLevels                             = std::max<int>(1, int(piece.Levels.size()));
    Handle(JTCAFControl_Triangulation) placeholder = new JTCAFControl_Triangulation(nbLevels);
    for (int level = 0; level < int(piece.Levels.size()); ++level)
    {
      if (piece.Levels[level].empty())
        continue;
      Handle(JTCAFControl_Triangulation::Level) lod = new JTCAFControl_Triangulation::Level();
      for (const JtData_Model::LateLoadedRef& ref : piece.Levels[level])
        lod->LateLoaded.Append(new JtProperty_LateLoaded(myModel, ref.Segment, ref.Type));
      placeholder->ChangeLevels().SetValue(level, lod);
    }
    myNbTriangulationLods = std::max(myNbTriangulationLods, nbLevels);
    TopoDS_Face face;
    builder.MakeFace(face, placeholder);
    myLateLoadedFaces.Append(face);
    part.Faces.push_back(placeholder);
    if (piece.Placement.Form() != gp_Identity)
      face.Move(TopLoc_Location(piece.Placement), Standard_False);
    builder.Add(compound, face);
  }
  product = static_cast<int>(myProducts.size());
  myProducts.push_back(part);
  return compound;
}

void JTCAFControl_Reader::collectPieces(const int32_t           id,
                                        const gp_Trsf&          placement,
                                        const int               depth,
                                        std::vector<FacePiece>& pieces)
{
  const JtData_Model::Node* node = myModel->FindNode(id);
  if (node == nullptr || depth > THE_MAX_DEPTH ||
      std::find(myPath.begin(), myPath.end(), id) != myPath.end())
    return;
  myPath.push_back(id);
  gp_Trsf own, placed = placement;
  if (depth > 1 && nodePlacement(*node, own))
    placed.Multiply(own);

  switch (node->Kind)
  {
  case JtData_Model::NodeKind_TriStripShape:
  {
    FacePiece piece;
    piece.Levels.push_back(node->Geometry);
    piece.Placement = placed;
    pieces.push_back(piece);
    break;
  }
  case JtData_Model::NodeKind_OtherShape:
    break;
  case JtData_Model::NodeKind_LOD:
  case JtData_Model::NodeKind_RangeLOD:
  {
    // Child i is level i: its k-th shape becomes level i of face k.
    const size_t first = pieces.size();
    for (size_t level = 0; level < node->Children.size(); ++level)
    {
      std::vector<FacePiece> shapes;
      collectPieces(node->Children[level], placed, depth + 1, shapes);
      for (size_t k = 0; k < shapes.size(); ++k)
      {
        if (first + k >= pieces.size())
        {
          pieces.emplace_back();
          pieces.back().Placement = shapes[k].Placement;
        }
        FacePiece& face = pieces[first + k];
        face.Levels.resize(level + 1);
        if (!shapes[k].Levels.empty())
          face.Levels[level] = shapes[k].Levels.front();
      }
    }
    break;
  }
  default:
    for (const int32_t child : node->Children)
      collectPieces(child, placed, depth + 1, pieces);
  }
  myPath.pop_back();
}
