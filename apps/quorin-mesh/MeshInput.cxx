#include "MeshInput.hxx"

#include <algoBase_ProgressIndicator.hxx>
#include <algoBase_Utils.hxx>

#include <BRepMesh_IncrementalMesh.hxx>
#include <BRepTools.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <Bnd_Box.hxx>
#include <Message_ProgressScope.hxx>
#include <OSD_Path.hxx>
#include <RWStl.hxx>
#include <STEPControl_Reader.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <unordered_map>

namespace cli
{

namespace
{
std::string lowerExtension(const std::string& path)
{
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

// A binary STL file is exactly an 80-byte header, a 4-byte count and 50 bytes per facet;
// anything else is read as ASCII by the kernel.
std::string stlEncoding(const std::string& path, const std::uintmax_t size)
{
  std::ifstream file(path, std::ios::binary);
  unsigned char count[4] = {0, 0, 0, 0};
  if (size < 84 || !file.seekg(80) || !file.read(reinterpret_cast<char*>(count), 4))
  {
    return "ASCII";
  }
  const std::uintmax_t nbFacets =
      count[0] | (count[1] << 8) | (count[2] << 16) | (std::uintmax_t(count[3]) << 24);
  return 84 + 50 * nbFacets == size ? "binary" : "ASCII";
}

bool readStl(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading STL", 100);
  input.Format   = "STL";
  input.Encoding = stlEncoding(input.Path, input.FileSize);
  input.Mesh     = RWStl::ReadFile(input.Path.c_str(), indicator->Start());
  if (progress.IsCancelling())
  {
    error = "interrupted";
    return false;
  }
  if (input.Mesh.IsNull() || input.Mesh->NbTriangles() == 0)
  {
    error = "no triangles could be read from '" + input.Path + "'";
    return false;
  }
  progress.Complete();
  return true;
}

bool readStep(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format = "STEP";
  STEPControl_Reader reader;
  if (reader.ReadFile(input.Path.c_str()) != IFSelect_RetDone)
  {
    error = "'" + input.Path + "' is not a readable STEP file";
    return false;
  }
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading STEP", 100);
  reader.TransferRoots(indicator->Start());
  if (progress.IsCancelling())
  {
    error = "interrupted";
    return false;
  }
  input.Shape = reader.OneShape();
  return true;
}

bool readBRep(MeshInput& input, const ActAPI_ProgressEntry& progress, std::string& error)
{
  input.Format                                 = "BREP";
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Reading BREP", 100);
  BRep_Builder builder;
  if (!BRepTools::Read(input.Shape, input.Path.c_str(), builder, indicator->Start()))
  {
    error = progress.IsCancelling() ? "interrupted"
                                    : "'" + input.Path + "' is not a readable BREP file";
    return false;
  }
  return true;
}

// Nodes of different faces closer than this are one node of the joined mesh.
const double THE_WELD_TOLERANCE = 1.0e-7;

// Welds points on a grid of cells as wide as the tolerance: a point is compared with the
// points of its own and the 26 neighbouring cells, so each insertion costs O(1) on
// meshes whose nodes are not packed closer than the tolerance.
class PointWelder
{
public:
  //! Index (1-based) of the point, added when no earlier point is within the tolerance.
  int Add(const gp_Pnt& point)
  {
    const std::array<std::int64_t, 3> cell = cellOf(point);
    for (std::int64_t dx = -1; dx <= 1; ++dx)
    {
      for (std::int64_t dy = -1; dy <= 1; ++dy)
      {
        for (std::int64_t dz = -1; dz <= 1; ++dz)
        {
          const auto found = m_cells.find({cell[0] + dx, cell[1] + dy, cell[2] + dz});
          if (found == m_cells.end())
          {
            continue;
          }
          for (const int index : found->second)
          {
            if (m_points[index - 1].SquareDistance(point) <=
                THE_WELD_TOLERANCE * THE_WELD_TOLERANCE)
            {
              return index;
            }
          }
        }
      }
    }
    m_points.push_back(point);
    m_cells[cell].push_back(static_cast<int>(m_points.size()));
    return static_cast<int>(m_points.size());
  }

  const std::vector<gp_Pnt>& Points() const { return m_points; }

private:
  struct CellHash
  {
    size_t operator()(const std::array<std::int64_t, 3>& c) const
    {
      return static_cast<size_t>(c[0] * 73856093 ^ c[1] * 19349663 ^ c[2] * 83492791);
    }
  };

  static std::array<std::int64_t, 3> cellOf(const gp_Pnt& p)
  {
    return {static_cast<std::int64_t>(std::floor(p.X() / THE_WELD_TOLERANCE)),
            static_cast<std::int64_t>(std::floor(p.Y() / THE_WELD_TOLERANCE)),
            static_cast<std::int64_t>(std::floor(p.Z() / THE_WELD_TOLERANCE))};
  }

private:
  std::vector<gp_Pnt>                                                         m_points;
  std::unordered_map<std::array<std::int64_t, 3>, std::vector<int>, CellHash> m_cells;
};
} // namespace

const char* SupportedExtensions()
{
  return ".stl (mesh), .step/.stp and .brep (CAD, meshed first)";
}

bool LoadMeshInput(const std::string&          path,
                   const MeshInputOptions&     options,
                   const ActAPI_ProgressEntry& progress,
                   MeshInput&                  input,
                   std::string&                error)
{
  // 1. Check that the file exists, is a regular file, and has a known extension.
  input      = MeshInput();
  input.Path = path;
  std::error_code status;
  if (!std::filesystem::is_regular_file(path, status))
  {
    error = "cannot open '" + path +
            "': " + (std::filesystem::exists(path, status) ? "not a regular file" : "no such file");
    return false;
  }
  input.FileSize              = std::filesystem::file_size(path, status);
  const std::string extension = lowerExtension(path);

  // 2. Read it with the reader of its format.
  bool isRead = false;
  if (extension == ".stl")
  {
    isRead = readStl(input, progress, error);
  }
  else if (extension == ".step" || extension == ".stp")
  {
    isRead = readStep(input, progress, error);
  }
  else if (extension == ".brep")
  {
    isRead = readBRep(input, progress, error);
  }
  else
  {
    error =
        "unknown file type '" + extension + "' of '" + path + "'; known: " + SupportedExtensions();
    return false;
  }
  if (!isRead)
  {
    return false;
  }
  if (input.Format == "STL")
  {
    return true;
  }

  // 3. Mesh a B-rep input and weld its face meshes into one.
  input.IsBRep = true;
  if (input.Shape.IsNull() || !TopExp_Explorer(input.Shape, TopAbs_FACE).More())
  {
    error = "'" + path + "' holds no faces";
    return false;
  }
  input.Deflection = options.Deflection;
  if (!MeshShape(input.Shape, input.Deflection, options.DeflectionRatio, progress))
  {
    error = progress.IsCancelling() ? "interrupted" : "meshing '" + path + "' failed";
    return false;
  }
  input.Mesh = JoinFaceMeshes(input.Shape);
  if (input.Mesh.IsNull() || input.Mesh->NbTriangles() == 0)
  {
    error = "meshing '" + path + "' gave no triangles";
    return false;
  }
  return true;
}

bool MeshShape(const TopoDS_Shape&         shape,
               double&                     deflection,
               const double                ratio,
               const ActAPI_ProgressEntry& progress)
{
  if (shape.IsNull())
  {
    return false;
  }
  if (deflection <= 0.0)
  {
    Bnd_Box box;
    if (!algoBase_Utils::Bounds(shape, false, false, box))
    {
      return false;
    }
    deflection = ratio * box.CornerMin().Distance(box.CornerMax());
    if (!(deflection > 0.0))
    {
      return false;
    }
  }
  Handle(algoBase_ProgressIndicator) indicator = new algoBase_ProgressIndicator();
  indicator->ConnectNotifier(progress.Access());
  progress.Init("Meshing", 100);

  IMeshTools_Parameters parameters;
  parameters.Deflection = deflection;
  parameters.Angle      = 0.5;
  parameters.InParallel = true;
  parameters.Relative   = false;
  BRepMesh_IncrementalMesh mesher(shape, parameters, indicator->Start());
  if (progress.IsCancelling())
  {
    return false;
  }
  progress.Complete();
  return mesher.IsDone();
}

Handle(Poly_Triangulation) JoinFaceMeshes(const TopoDS_Shape& shape)
{
  PointWelder                welder;
  std::vector<Poly_Triangle> triangles;
  for (TopExp_Explorer exp(shape, TopAbs_FACE); exp.More(); exp.Next())
  {
    const TopoDS_Face& face = TopoDS::Face(exp.Current());
    TopLoc_Location    location;
    const Handle(Poly_Triangulation)& mesh = BRep_Tool::Triangulation(face, location);
    if (mesh.IsNull() || mesh->NbTriangles() == 0)
    {
      continue;
    }
    const gp_Trsf&   trsf = location.Transformation();
    std::vector<int> joined(mesh->NbNodes() + 1, 0);
    for (int i = 1; i <= mesh->NbNodes(); ++i)
    {
      joined[i] = welder.Add(mesh->Node(i).Transformed(trsf));
    }
    const bool isReversed = face.Orientation() == TopAbs_REVERSED;
    for (int t = 1; t <= mesh->NbTriangles(); ++t)
    {
      int a, b, c;
      mesh->Triangle(t).Get(a, b, c);
      if (isReversed)
      {
        std::swap(b, c);
      }
      triangles.emplace_back(joined[a], joined[b], joined[c]);
    }
  }
  if (triangles.empty())
  {
    return Handle(Poly_Triangulation)();
  }
  const std::vector<gp_Pnt>& nodes  = welder.Points();
  Handle(Poly_Triangulation) result = new Poly_Triangulation(
      static_cast<int>(nodes.size()), static_cast<int>(triangles.size()), false);
  for (int i = 0; i < static_cast<int>(nodes.size()); ++i)
  {
    result->SetNode(i + 1, nodes[i]);
  }
  for (int t = 0; t < static_cast<int>(triangles.size()); ++t)
  {
    result->SetTriangle(t + 1, triangles[t]);
  }
  return result;
}

int CountBoundaryEdges(const Handle(Poly_Triangulation) & mesh)
{
  if (mesh.IsNull())
  {
    return 0;
  }
  // Edge keys pack the two node indices, smaller first, into one 64-bit number.
  std::unordered_map<std::uint64_t, int> uses;
  uses.reserve(static_cast<size_t>(mesh->NbTriangles()) * 2);
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    int n[3];
    mesh->Triangle(t).Get(n[0], n[1], n[2]);
    for (int k = 0; k < 3; ++k)
    {
      const std::uint64_t a = static_cast<std::uint32_t>(std::min(n[k], n[(k + 1) % 3]));
      const std::uint64_t b = static_cast<std::uint32_t>(std::max(n[k], n[(k + 1) % 3]));
      ++uses[(a << 32) | b];
    }
  }
  int boundary = 0;
  for (const auto& entry : uses)
  {
    boundary += entry.second == 1 ? 1 : 0;
  }
  return boundary;
}

} // namespace cli
