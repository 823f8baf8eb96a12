// quorin-mesh obb INPUT [OUT] [--optimise]: the oriented bounding box of a mesh, a CAD
// part or a point cloud (algoMesh_BuildOBB), beside the axis-aligned box, optionally
// written as a box mesh.
#include "ArgParser.hxx"
#include "CommandRunner.hxx"
#include "Commands.hxx"

#include <algoMesh_BuildOBB.hxx>
#include <algoMesh_ConvexHull.hxx>

#include <BRep_Builder.hxx>
#include <Bnd_Box.hxx>
#include <TopoDS_Face.hxx>

#include <cstdio>

namespace cli
{

namespace
{
void printUsage(FILE* stream)
{
  std::fprintf(stream,
               "Usage: quorin-mesh obb INPUT [OUT] [--optimise] [--ascii | --binary]\n"
               "                       [--deflection D]\n"
               "\n"
               "Computes an oriented bounding box of INPUT, a mesh, a CAD file or a point\n"
               "cloud: its axes are the principal axes of the nodes, its extents bound every\n"
               "node. Prints its centre, axes, extents and volume beside those of the\n"
               "axis-aligned box, and writes the box as a 12-triangle mesh to OUT when given.\n"
               "A point cloud is bounded through its convex hull, which has the same extremes.\n"
               "Readable: %s; point clouds: %s.\nWritable: %s.\n"
               "\n"
               "Options:\n"
               "  --optimise      turn the box to the smallest volume found from 64 starting\n"
               "                  rotations (slower; also --optimize)\n"
               "  --ascii         write STL or PLY as text\n"
               "  --binary        write STL or PLY as binary (the default)\n"
               "  --deflection D  linear deflection for meshing CAD files, in model units\n"
               "                  (default: 0.1%% of the bounding-box diagonal)\n"
               "  -h, --help      this text\n",
               SupportedExtensions(), PointCloudExtensions(), WritableExtensions());
}

// The triangulation the box is built around, as the face of a shape: the mesh itself, or
// for a point cloud its convex hull (the box of a point set is decided by its extreme
// points, and the box builder bounds the nodes of triangles).
bool boxSource(const MeshInput& input, TopoDS_Shape& shape)
{
  if (input.IsBRep)
  {
    shape = input.Shape;
    return true;
  }
  Handle(Poly_Triangulation) mesh = input.Mesh;
  if (input.IsPointCloud)
  {
    std::vector<gp_Pnt> points;
    points.reserve(static_cast<size_t>(mesh->NbNodes()));
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
      points.push_back(mesh->Node(i));
    }
    if (!quorin::algoMesh_ConvexHull().Perform(points, mesh))
    {
      return false;
    }
  }
  TopoDS_Face  face;
  BRep_Builder builder;
  builder.MakeFace(face, mesh);
  shape = face;
  return true;
}

// The box as 8 nodes and 12 triangles, outward whatever the handedness of its frame.
Handle(Poly_Triangulation) boxMesh(const quorin::algoMesh_OBB& box)
{
  const gp_Trsf trsf              = box.BuildTrsf();
  const gp_Pnt  lo                = box.MinCorner();
  const gp_Pnt  hi                = box.MaxCorner();
  Handle(Poly_Triangulation) mesh = new Poly_Triangulation(8, 12, false);
  for (int k = 0; k < 8; ++k)
  {
    // Node k + 1 takes the high x, y, z coordinate where bit 0, 1, 2 of k is set.
    const gp_Pnt local((k & 1) ? hi.X() : lo.X(), (k & 2) ? hi.Y() : lo.Y(),
                       (k & 4) ? hi.Z() : lo.Z());
    mesh->SetNode(k + 1, local.Transformed(trsf));
  }
  static const int THE_QUADS[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4},
                                      {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  const bool       flip            = trsf.IsNegative();
  int              t               = 0;
  for (const auto& q : THE_QUADS)
  {
    for (const int third : {2, 3})
    {
      const int a = q[0] + 1, b = q[third - 1] + 1, c = q[third] + 1;
      mesh->SetTriangle(++t, flip ? Poly_Triangle(a, c, b) : Poly_Triangle(a, b, c));
    }
  }
  return mesh;
}

// "[x, y, z]" as the report prints points and directions.
std::string pointText(const gp_XYZ& p)
{
  char text[100];
  std::snprintf(text, sizeof(text), "[%.6g, %.6g, %.6g]", p.X(), p.Y(), p.Z());
  return text;
}

// The box of the input's nodes, reported beside the axis-aligned box of the same nodes.
std::optional<int> boundNodes(CommandRun& run, MeshInput& input, const bool optimise)
{
  TopoDS_Shape shape;
  if (!boxSource(input, shape))
  {
    return Fail("'" + input.Path +
                "' has no solid extent: fewer than 4 points, or all on one plane, line or point");
  }
  quorin::algoMesh_BuildOBB builder(shape, quorin::algoMesh_BuildOBB::Mode_FromMesh, optimise,
                                    run.Progress());
  if (!builder.Perform())
  {
    if (run.Notifier()->IsCancelRequested())
    {
      return Fail("interrupted", Exit_Interrupted);
    }
    const std::string reason = run.Notifier()->LastError();
    return Fail("cannot bound '" + input.Path + "'" + (reason.empty() ? "" : ": " + reason));
  }
  const Handle(quorin::algoMesh_OBB)& box = builder.GetResult();
  const gp_Trsf trsf                      = box->BuildTrsf();
  const gp_XYZ  extents                   = box->MaxCorner().XYZ() - box->MinCorner().XYZ();
  const gp_Pnt  centre =
      gp_Pnt((box->MinCorner().XYZ() + box->MaxCorner().XYZ()) * 0.5).Transformed(trsf);
  Bnd_Box aligned;
  for (int i = 1; i <= input.Mesh->NbNodes(); ++i)
  {
    aligned.Add(input.Mesh->Node(i));
  }
  const gp_XYZ size = aligned.CornerMax().XYZ() - aligned.CornerMin().XYZ();
  run.Print("%s: %d nodes%s\n", input.Path.c_str(), input.Mesh->NbNodes(),
            optimise ? ", box optimised" : "");
  run.Print("OBB centre: %s\n", pointText(centre.XYZ()).c_str());
  run.Print("OBB axes: %s, %s, %s\n", pointText(box->Placement().XDirection().XYZ()).c_str(),
            pointText(box->Placement().YDirection().XYZ()).c_str(),
            pointText(box->Placement().Direction().XYZ()).c_str());
  run.Print("OBB extents: %.6g x %.6g x %.6g, volume %.6g\n", extents.X(), extents.Y(), extents.Z(),
            extents.X() * extents.Y() * extents.Z());
  run.Print("Axis-aligned box: %.6g x %.6g x %.6g, volume %.6g\n", size.X(), size.Y(), size.Z(),
            size.X() * size.Y() * size.Z());
  run.Result = boxMesh(*box);
  return std::nullopt;
}
} // namespace

int RunObb(const std::vector<std::string>& arguments)
{
  std::vector<std::string> paths;
  MeshCommand              command;
  command.Options.AcceptsPoints = true;
  bool       optimise           = false;
  const auto setOptimise        = [&optimise](const std::string&)
  {
    optimise = true;
    return int(Exit_Ok);
  };
  std::vector<CommandOption> options = EncodingOptions(command.OutEncoding);
  options.insert(options.begin(),
                 {{"--optimise", false, setOptimise}, {"--optimize", false, setOptimise}});
  const CommandSyntax syntax{"obb", 2, "a file and an optional output", printUsage, options, 1};
  if (const std::optional<int> stop =
          ParseCommandLine(syntax, arguments, paths, command.Options.Deflection))
  {
    return *stop;
  }
  command.InPath  = paths[0];
  command.OutPath = paths.size() > 1 ? paths[1] : std::string();
  return RunMeshCommand(command, [optimise](CommandRun& run, MeshInput& input)
                        { return boundNodes(run, input, optimise); });
}

} // namespace cli
