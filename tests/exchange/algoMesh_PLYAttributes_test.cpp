// PLY vertex attributes: written with a mesh and read back onto the nodes the PLY reader
// makes of the same file, in both encodings; merged vertices keep the first one's values;
// a mesh that is not the file's gets nothing.
#include <algoMesh_PLY.hxx>
#include <algoMesh_PLYAttributes.hxx>

#include <MeshBuilders.hxx>

#include <gtest/gtest.h>

#include <cstdio>

using namespace quorin;

namespace
{
// Distinct values per node: colours on the 1/255 grid so that they survive the uchar
// round trip exactly.
algoMesh_PLYAttributes attributesOf(const int nbNodes)
{
  algoMesh_PLYAttributes attributes;
  for (int k = 0; k < nbNodes; ++k)
  {
    attributes.Colours.insert(attributes.Colours.end(),
                              {float(10 * k) / 255.0f, 0.0f, float(255 - k) / 255.0f});
    attributes.Normals.insert(attributes.Normals.end(), {0.5f * float(k), 0.0f, -1.0f});
    attributes.TexCoords.insert(attributes.TexCoords.end(), {0.25f * float(k), 1.0f});
  }
  return attributes;
}

void expectSame(const std::vector<float>& a, const std::vector<float>& b)
{
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i)
  {
    EXPECT_NEAR(a[i], b[i], 1e-6) << "entry " << i;
  }
}
} // namespace

TEST(algoMesh_PLYAttributes, RoundTripInBothEncodings)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Tetra();
  const algoMesh_PLYAttributes written  = attributesOf(mesh->NbNodes());
  EXPECT_EQ(written.Description(), "colours, normals, texture coordinates");
  for (const bool binary : {true, false})
  {
    const std::string path = testmesh::TempPath(binary ? "attributes-bin.ply" : "attributes.ply");
    std::string       error;
    ASSERT_TRUE(written.Write(mesh, path, binary, error)) << error;
    Handle(Poly_Triangulation) read;
    ASSERT_TRUE(algoMesh_PLY::Read(path.c_str(), read, ActAPI_ProgressEntry()));
    ASSERT_EQ(read->NbNodes(), mesh->NbNodes());
    algoMesh_PLYAttributes attributes;
    ASSERT_TRUE(attributes.Read(path, read));
    expectSame(attributes.Colours, written.Colours);
    expectSame(attributes.Normals, written.Normals);
    expectSame(attributes.TexCoords, written.TexCoords);
    std::remove(path.c_str());
  }
}

TEST(algoMesh_PLYAttributes, MergedVerticesKeepTheFirstValues)
{
  // Every triangle with its own corners: the reader merges them into the four nodes, each
  // taking the values of the first vertex written at its position.
  const Handle(Poly_Triangulation) soup = testmesh::Unwelded(testmesh::Tetra());
  const algoMesh_PLYAttributes written  = attributesOf(soup->NbNodes());
  const std::string            path     = testmesh::TempPath("attributes-soup.ply");
  std::string                  error;
  ASSERT_TRUE(written.Write(soup, path, true, error)) << error;
  Handle(Poly_Triangulation) read;
  ASSERT_TRUE(algoMesh_PLY::Read(path.c_str(), read, ActAPI_ProgressEntry()));
  ASSERT_EQ(read->NbNodes(), 4);
  algoMesh_PLYAttributes attributes;
  ASSERT_TRUE(attributes.Read(path, read));
  for (int node = 1; node <= read->NbNodes(); ++node)
  {
    int first = 1;
    while (!soup->Node(first).IsEqual(read->Node(node), 0.0))
    {
      ++first;
    }
    EXPECT_FLOAT_EQ(attributes.TexCoords[2 * size_t(node - 1)],
                    written.TexCoords[2 * size_t(first - 1)]);
  }

  // Another mesh's nodes are not at the file's vertices: nothing is given to them.
  EXPECT_FALSE(attributes.Read(path, testmesh::Cube()));
  EXPECT_TRUE(attributes.IsEmpty());
  std::remove(path.c_str());
}

TEST(algoMesh_PLYAttributes, FileWithoutAttributesGivesNone)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Tetra();
  const std::string path                = testmesh::TempPath("attributes-none.ply");
  std::string       error;
  ASSERT_TRUE(algoMesh_PLYAttributes().Write(mesh, path, false, error)) << error;
  algoMesh_PLYAttributes attributes;
  EXPECT_TRUE(attributes.Read(path, mesh));
  EXPECT_TRUE(attributes.IsEmpty());
  EXPECT_EQ(attributes.Description(), "");
  EXPECT_FALSE(attributes.Write(mesh, "/nonexistent-dir/x.ply", true, error));
  EXPECT_EQ(error.rfind("cannot write '/nonexistent-dir/x.ply'", 0), 0u);
  std::remove(path.c_str());
}
