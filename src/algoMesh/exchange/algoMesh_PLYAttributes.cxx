// PLY vertex attributes. Reading: the file's header is read again, the attribute
// properties of its vertices are collected per vertex, and each node of the mesh read
// before takes the values of the first vertex at exactly its position (a map of
// positions, O(n log n)). Writing: one pass over nodes and triangles through RPly.
#include <algoMesh_PLYAttributes.hxx>

#include <Exchange_AtomicFile.hxx>
#include <RPly_Reader.hxx>
#include <RPly_Writer.hxx>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>

using namespace quorin;

namespace
{
enum Slot
{
  Slot_X,
  Slot_Y,
  Slot_Z,
  Slot_NX,
  Slot_NY,
  Slot_NZ,
  Slot_Red,
  Slot_Green,
  Slot_Blue,
  Slot_U,
  Slot_V,
  Slot_Count
};

// Property names by slot; the first one found in the file is read.
const std::vector<std::vector<const char*>> THE_NAMES = {
    {"x"},
    {"y"},
    {"z"},
    {"nx"},
    {"ny"},
    {"nz"},
    {"red", "r"},
    {"green", "g"},
    {"blue", "b"},
    {"s", "u", "texture_u", "texture_s"}, // texture coordinates under the names writers use
    {"t", "v", "texture_v", "texture_t"}};

struct Table
{
  std::vector<std::array<double, Slot_Count>> Rows;
};

int storeValue(const RPly_Argument& argument)
{
  Table& table = *static_cast<Table*>(argument.UserData);
  if (argument.Instance >= static_cast<int64_t>(table.Rows.size()))
  {
    return 0;
  }
  table.Rows[size_t(argument.Instance)][size_t(argument.UserIndex)] = argument.Value;
  return 1;
}

// Exact position of a node, for matching vertices read again.
std::array<double, 3> key(const gp_Pnt& p)
{
  return {p.X(), p.Y(), p.Z()};
}
} // namespace

std::string algoMesh_PLYAttributes::Description() const
{
  std::string text;
  for (const auto& [array, name] :
       {std::pair<const std::vector<float>*, const char*>{&Colours, "colours"},
        {&Normals, "normals"},
        {&TexCoords, "texture coordinates"}})
  {
    if (!array->empty())
    {
      text += (text.empty() ? "" : ", ") + std::string(name);
    }
  }
  return text;
}

bool algoMesh_PLYAttributes::Read(const std::string& path, const Handle(Poly_Triangulation) & mesh)
{
  *this = algoMesh_PLYAttributes();
  RPly_Reader reader;
  if (mesh.IsNull() || !reader.Open(path) || !reader.ReadHeader())
  {
    return false;
  }

  // 1. Which attribute properties the vertices have, and their types.
  const RPly_Element* vertex = nullptr;
  for (const RPly_Element& element : reader.Elements())
  {
    vertex = element.Name == "vertex" ? &element : vertex;
  }
  if (vertex == nullptr)
  {
    return true;
  }
  std::array<const RPly_Property*, Slot_Count> found{};
  for (int slot = 0; slot < Slot_Count; ++slot)
  {
    for (const char* name : THE_NAMES[size_t(slot)])
    {
      for (const RPly_Property& property : vertex->Properties)
      {
        if (found[size_t(slot)] == nullptr && !property.IsList && property.Name == name)
        {
          found[size_t(slot)] = &property;
        }
      }
    }
  }
  const auto all = [&found](const int first, const int last)
  {
    for (int slot = first; slot <= last; ++slot)
    {
      if (found[size_t(slot)] == nullptr)
      {
        return false;
      }
    }
    return true;
  };
  const bool hasNormals = all(Slot_NX, Slot_NZ), hasColours = all(Slot_Red, Slot_Blue),
             hasTexCoords = all(Slot_U, Slot_V);
  if (!all(Slot_X, Slot_Z) || !(hasNormals || hasColours || hasTexCoords))
  {
    return true;
  }

  // 2. Read them per vertex; the declared count is bounded by the file's size.
  std::error_code ec;
  const auto      size  = std::filesystem::file_size(path, ec);
  const int64_t   count = std::min<int64_t>(vertex->Count, ec ? 0 : int64_t(size / 3));
  Table           table;
  table.Rows.assign(size_t(count), {});
  for (int slot = 0; slot < Slot_Count; ++slot)
  {
    if (found[size_t(slot)] != nullptr)
    {
      reader.SetReadCallback("vertex", found[size_t(slot)]->Name, storeValue, &table, slot);
    }
  }
  if (!reader.Read())
  {
    return false;
  }

  // 3. Each node takes the first vertex at its position.
  std::map<std::array<double, 3>, int> nodeAt;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    nodeAt.emplace(key(mesh->Node(i)), i);
  }
  const size_t           nbNodes = size_t(mesh->NbNodes());
  std::vector<bool>      isSet(nbNodes, false);
  algoMesh_PLYAttributes result;
  result.Normals.assign(hasNormals ? 3 * nbNodes : 0, 0.0f);
  result.Colours.assign(hasColours ? 3 * nbNodes : 0, 0.0f);
  result.TexCoords.assign(hasTexCoords ? 2 * nbNodes : 0, 0.0f);
  const RPly_Type colourType = hasColours ? found[Slot_Red]->Type : RPly_UInt8;
  const double    colourScale =
      colourType == RPly_Float32 || colourType == RPly_Float64 ? 1.0 : 1.0 / 255.0;
  size_t nbSet = 0;
  for (const auto& row : table.Rows)
  {
    const auto node = nodeAt.find({row[Slot_X], row[Slot_Y], row[Slot_Z]});
    if (node == nodeAt.end() || isSet[size_t(node->second) - 1])
    {
      continue;
    }
    const size_t k = size_t(node->second) - 1;
    isSet[k]       = true;
    ++nbSet;
    for (int c = 0; c < 3 && hasNormals; ++c)
    {
      result.Normals[3 * k + c] = float(row[size_t(Slot_NX + c)]);
    }
    for (int c = 0; c < 3 && hasColours; ++c)
    {
      result.Colours[3 * k + c] = float(row[size_t(Slot_Red + c)] * colourScale);
    }
    for (int c = 0; c < 2 && hasTexCoords; ++c)
    {
      result.TexCoords[2 * k + c] = float(row[size_t(Slot_U + c)]);
    }
  }
  // Nodes without a vertex at their position mean the two readings disagree: keep nothing
  // rather than attributes on the wrong nodes.
  if (nbSet != nbNodes)
  {
    return false;
  }
  *this = std::move(result);
  return true;
}

bool algoMesh_PLYAttributes::Write(const Handle(Poly_Triangulation) & mesh,
                                   const std::string& path,
                                   const bool         binary,
                                   std::string&       error) const
{
  const algoMesh_PLYAttributes& attributes = *this;
  Exchange_AtomicFile           output(path, Exchange_AtomicFile::Access_Path);
  RPly_Writer                   writer;
  bool                          isWritten =
      output.IsOpen() && writer.Create(output.TempPath(), binary ? RPly_BinaryLE : RPly_Ascii) &&
      writer.AddElement("vertex", mesh->NbNodes()) && writer.AddScalarProperty("x", RPly_Float32) &&
      writer.AddScalarProperty("y", RPly_Float32) && writer.AddScalarProperty("z", RPly_Float32);
  if (!attributes.Normals.empty())
  {
    isWritten = isWritten && writer.AddScalarProperty("nx", RPly_Float32) &&
                writer.AddScalarProperty("ny", RPly_Float32) &&
                writer.AddScalarProperty("nz", RPly_Float32);
  }
  if (!attributes.Colours.empty())
  {
    isWritten = isWritten && writer.AddScalarProperty("red", RPly_UInt8) &&
                writer.AddScalarProperty("green", RPly_UInt8) &&
                writer.AddScalarProperty("blue", RPly_UInt8);
  }
  if (!attributes.TexCoords.empty())
  {
    isWritten = isWritten && writer.AddScalarProperty("s", RPly_Float32) &&
                writer.AddScalarProperty("t", RPly_Float32);
  }
  isWritten = isWritten && writer.AddElement("face", mesh->NbTriangles()) &&
              writer.AddListProperty("vertex_indices", RPly_UInt8, RPly_UInt32) &&
              writer.WriteHeader();
  for (int i = 1; isWritten && i <= mesh->NbNodes(); ++i)
  {
    const size_t k = size_t(i) - 1;
    const gp_Pnt p = mesh->Node(i);
    isWritten      = writer.Write(p.X()) && writer.Write(p.Y()) && writer.Write(p.Z());
    for (int c = 0; isWritten && c < 3 && !attributes.Normals.empty(); ++c)
    {
      isWritten = writer.Write(attributes.Normals[3 * k + c]);
    }
    for (int c = 0; isWritten && c < 3 && !attributes.Colours.empty(); ++c)
    {
      isWritten = writer.Write(std::round(attributes.Colours[3 * k + c] * 255.0));
    }
    for (int c = 0; isWritten && c < 2 && !attributes.TexCoords.empty(); ++c)
    {
      isWritten = writer.Write(attributes.TexCoords[2 * k + c]);
    }
  }
  for (int t = 1; isWritten && t <= mesh->NbTriangles(); ++t)
  {
    int a, b, c;
    mesh->Triangle(t).Get(a, b, c);
    isWritten =
        writer.Write(3) && writer.Write(a - 1) && writer.Write(b - 1) && writer.Write(c - 1);
  }
  isWritten = writer.Close() && isWritten && output.Commit();
  if (!isWritten)
  {
    output.Discard();
    error = "cannot write '" + path + "'" + (output.Error().empty() ? "" : ": " + output.Error());
    return false;
  }
  return true;
}
