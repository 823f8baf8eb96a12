// The child-process run of VTK's vertex-removal decimation: the same output as one plain
// in-process filter call, bit for bit, with the filter's progress passed on from the child.
#include <algoMesh_Convert.hxx>
#include <algoMesh_VTKDecimatePro.hxx>

#include <MeshBuilders.hxx>

#include <ActAPI_RecordingNotifier.hxx>

#include <vtkCleanPolyData.h>
#include <vtkDecimatePro.h>
#include <vtkPolyData.h>
#include <vtkSmartPointer.h>

#include <gtest/gtest.h>

#include <cstring>

using namespace quorin;

namespace
{

//! The pipeline the driver runs, as one plain call in this process.
Handle(Poly_Triangulation) plainFilterCall(const Handle(Poly_Triangulation) & input,
                                           const algoMesh_DecimationOptions& options)
{
  vtkSmartPointer<vtkPolyData> polyData;
  EXPECT_TRUE(algoMesh_Convert::ToVTK(input, polyData));
  vtkSmartPointer<vtkCleanPolyData> cleaner = vtkSmartPointer<vtkCleanPolyData>::New();
  cleaner->SetInputData(polyData);
  vtkSmartPointer<vtkDecimatePro> decimator = vtkSmartPointer<vtkDecimatePro>::New();
  decimator->SetInputConnection(cleaner->GetOutputPort(0));
  decimator->SetPreserveTopology(options.PreserveTopology);
  decimator->SetFeatureAngle(options.FeatureAngle);
  decimator->SetTargetReduction(options.Reduction / 100.0);
  decimator->SetBoundaryVertexDeletion(options.DeleteBoundaryVertices);
  decimator->SetSplitting(options.Splitting);
  decimator->SetSplitAngle(options.SplitAngle);
  decimator->Update();
  Handle(Poly_Triangulation) output;
  EXPECT_TRUE(algoMesh_Convert::FromVTK(decimator->GetOutput(), output));
  return output;
}

void expectSameBits(const Handle(Poly_Triangulation) & a, const Handle(Poly_Triangulation) & b)
{
  ASSERT_EQ(a->NbNodes(), b->NbNodes());
  ASSERT_EQ(a->NbTriangles(), b->NbTriangles());
  for (int i = 1; i <= a->NbNodes(); ++i)
  {
    const gp_Pnt p = a->Node(i);
    const gp_Pnt q = b->Node(i);
    ASSERT_EQ(0, std::memcmp(p.XYZ().GetData(), q.XYZ().GetData(), 3 * sizeof(double)))
        << "node " << i;
  }
  for (int i = 1; i <= a->NbTriangles(); ++i)
  {
    int n[3], m[3];
    a->Triangle(i).Get(n[0], n[1], n[2]);
    b->Triangle(i).Get(m[0], m[1], m[2]);
    ASSERT_TRUE(n[0] == m[0] && n[1] == m[1] && n[2] == m[2]) << "triangle " << i;
  }
}

} // namespace

// With a notifier the filter runs in a child process; without one it runs here. Both give
// the plain call's mesh, for a topology-preserving run and for one that splits the mesh at
// sharp edges (which adds points, so the output is larger than the input would suggest).
TEST(algoMesh_VTKProcessRun, DecimateProGivesThePlainFilterCallsMesh)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Torus(2.0, 0.6, 120, 50);

  algoMesh_DecimationOptions preserving;
  preserving.Reduction                 = 80.0;
  preserving.FeatureAngle              = 45.0;
  algoMesh_DecimationOptions splitting = preserving;
  splitting.PreserveTopology           = false;
  splitting.Splitting                  = true;
  splitting.SplitAngle                 = 20.0;
  splitting.Reduction                  = 95.0;

  for (const algoMesh_DecimationOptions& options : {preserving, splitting})
  {
    SCOPED_TRACE(options.Splitting ? "splitting" : "preserving");
    const Handle(Poly_Triangulation) expected = plainFilterCall(mesh, options);
    ASSERT_FALSE(expected.IsNull());
    ASSERT_LT(expected->NbTriangles(), mesh->NbTriangles() / 2);

    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    Handle(Poly_Triangulation) inChild;
    ASSERT_TRUE(
        algoMesh_VTKDecimatePro(options).Perform(mesh, inChild, ActAPI_ProgressEntry(notifier)));
    expectSameBits(expected, inChild);

    Handle(Poly_Triangulation) inProcess;
    ASSERT_TRUE(algoMesh_VTKDecimatePro(options).Perform(mesh, inProcess));
    expectSameBits(expected, inProcess);
  }
}

// The filter's own progress reaches the host from the child: several distinct values while
// the filters run (between the conversions' 5 % and 95 %), never going back.
TEST(algoMesh_VTKProcessRun, FilterProgressComesBackFromTheChild)
{
  const Handle(Poly_Triangulation) mesh = testmesh::Sphere(1.0, 300, 150);
  algoMesh_DecimationOptions options;
  options.Reduction    = 90.0;
  options.FeatureAngle = 45.0;

  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  Handle(Poly_Triangulation) result;
  ASSERT_TRUE(
      algoMesh_VTKDecimatePro(options).Perform(mesh, result, ActAPI_ProgressEntry(notifier)));
  const std::vector<double> fractions = notifier->Fractions();
  int                       inside    = 0;
  for (size_t i = 0; i < fractions.size(); ++i)
  {
    EXPECT_TRUE(i == 0 || fractions[i] >= fractions[i - 1]) << i;
    inside += fractions[i] > 0.06 && fractions[i] < 0.94 ? 1 : 0;
  }
  EXPECT_GE(inside, 5);
  EXPECT_DOUBLE_EQ(1.0, fractions.back());
}
