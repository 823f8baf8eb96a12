// Every long algorithm, stopped when its progress reaches 30 %: progress monotonic and in
// range, the cancelled answer, a prompt return, and a second run that succeeds.
#include <algoMesh_CheckMeshesOverlap.hxx>
#include <algoMesh_CheckSelfIntersections.hxx>
#include <algoMesh_Conglomerate.hxx>
#include <algoMesh_Convert.hxx>
#include <algoMesh_ConvexHull.hxx>
#include <algoMesh_ExtGen.hxx>
#include <algoMesh_FillHoles.hxx>
#include <algoMesh_Heal.hxx>
#include <algoMesh_NAS.hxx>
#include <algoMesh_OBJ.hxx>
#include <algoMesh_OptimizeOBB.hxx>
#include <algoMesh_PLY.hxx>
#include <algoMesh_STL.hxx>
#include <algoMesh_Smooth.hxx>
#include <algoMesh_TopoDecimation.hxx>
#include <algoMesh_VTKDecimatePro.hxx>
#include <algoMesh_VTKQuadricDecimation.hxx>
#include <algoMesh_VTK_XML.hxx>
#include <algoMesh_Wrap.hxx>

#include <CancelProbe.hxx>
#include <MeshBuilders.hxx>

#include <BRepPrimAPI_MakeSphere.hxx>
#include <BRep_Builder.hxx>
#include <BRep_Tool.hxx>
#include <TopExp_Explorer.hxx>
#include <TopoDS.hxx>
#include <TopoDS_Compound.hxx>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

using namespace quorin;
using testmesh::CancelledRun;

namespace
{

const std::vector<std::string> THE_CANCELLED{"Operation cancelled."};

//! A sphere big enough to take a few tens of milliseconds, small enough for a unit test.
Handle(Poly_Triangulation) bigSphere()
{
  return testmesh::Sphere(1.0, 200, 100);
}

//! The sphere without the triangles of its first band: one hole around a pole.
Handle(Poly_Triangulation) openSphere()
{
  const Handle(Poly_Triangulation) sphere = bigSphere();
  const int skip                          = 200;
  Handle(Poly_Triangulation) open =
      new Poly_Triangulation(sphere->NbNodes(), sphere->NbTriangles() - skip, Standard_False);
  for (int i = 1; i <= sphere->NbNodes(); ++i)
  {
    open->SetNode(i, sphere->Node(i));
  }
  for (int t = skip + 1; t <= sphere->NbTriangles(); ++t)
  {
    open->SetTriangle(t - skip, sphere->Triangle(t));
  }
  return open;
}

//! Runs the decimation on `mesh` once per threshold, asking it to stop when its progress
//! reaches the threshold's first value, and expects it to stop promptly, answer false with
//! the cancellation message, and still be in that step (progress below the second value).
void expectStopsInEachStep(const algoMesh_TopoDecimation& topo,
                           const Handle(Poly_Triangulation) & mesh,
                           const std::vector<std::pair<double, double>>& thresholds)
{
  for (const std::pair<double, double>& threshold : thresholds)
  {
    SCOPED_TRACE(threshold.first);
    Handle(Poly_Triangulation) result;
    const CancelledRun run = testmesh::RunCancelled(
        [&](const ActAPI_ProgressEntry& progress) { return topo.Perform(mesh, result, progress); },
        threshold.first);
    testmesh::ExpectStoppedPromptly(run);
    EXPECT_FALSE(run.answer);
    EXPECT_EQ(THE_CANCELLED, run.texts);
    ASSERT_FALSE(run.fractions.empty());
    EXPECT_LT(run.fractions.back(), threshold.second);
  }
}

} // namespace

TEST(algoMesh_Cancellation, SelfIntersectionCheck)
{
  const Handle(Poly_Triangulation) mesh =
      testmesh::Combine(bigSphere(), bigSphere(), gp_Vec(0.5, 0.0, 0.0));
  Handle(algoMesh_CheckSelfIntersections) check;
  const CancelledRun run = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        check = new algoMesh_CheckSelfIntersections(progress, ActAPI_PlotterEntry());
        check->SaveSelfIntersections(true);
        return check->Perform(mesh);
      });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(THE_CANCELLED, run.texts);
  EXPECT_EQ(0, check->NbGroups());

  run.notifier->CancelAfterPolls(-1);
  EXPECT_TRUE(check->Perform(mesh));
  EXPECT_EQ(1, check->NbGroups()); // the two spheres cross along one band
}

TEST(algoMesh_Cancellation, ConvexHullAndObbOptimisation)
{
  const Handle(Poly_Triangulation) mesh = bigSphere();
  std::vector<gp_Pnt> points;
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    points.push_back(mesh->Node(i));
  }
  Handle(Poly_Triangulation) hull;
  const CancelledRun hullRun = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      { return algoMesh_ConvexHull(progress, ActAPI_PlotterEntry()).Perform(points, hull); });
  testmesh::ExpectStoppedPromptly(hullRun);
  EXPECT_FALSE(hullRun.answer);
  EXPECT_EQ(THE_CANCELLED, hullRun.texts);
  EXPECT_TRUE(hull.IsNull());
  EXPECT_TRUE(algoMesh_ConvexHull().Perform(points, hull));

  const Handle(algoMesh_OBB) initial =
      new algoMesh_OBB(gp_Ax3(), gp_Pnt(-1.0, -1.0, -1.0), gp_Pnt(1.0, 1.0, 1.0));
  Handle(algoMesh_OptimizeOBB) optimizer;
  const CancelledRun obbRun = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        optimizer = new algoMesh_OptimizeOBB(TopoDS_Shape(), mesh, initial, progress,
                                             ActAPI_PlotterEntry());
        return optimizer->Perform();
      });
  testmesh::ExpectStoppedPromptly(obbRun);
  EXPECT_FALSE(obbRun.answer);
  EXPECT_EQ(THE_CANCELLED, obbRun.texts);
  EXPECT_TRUE(optimizer->GetResult().IsNull());
}

TEST(algoMesh_Cancellation, ConglomerateClearsItsResult)
{
  const TopoDS_Shape    shape = testmesh::FaceOf(testmesh::Unwelded(bigSphere()));
  algoMesh_Conglomerate conglomerate;
  const CancelledRun    run = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        return conglomerate.Build(shape, algoMesh_Conglomerate::Mode_CoherentAndPlain, false,
                                     progress);
      });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);
  EXPECT_TRUE(conglomerate.GetPlain().IsNull());
  EXPECT_TRUE(conglomerate.GetCoherent().IsNull());

  conglomerate.Build(shape);
  ASSERT_FALSE(conglomerate.GetPlain().IsNull());
  EXPECT_EQ(bigSphere()->NbTriangles(), conglomerate.GetPlain()->NbTriangles());
}

TEST(algoMesh_Cancellation, HealingAndHoleFilling)
{
  const Handle(Poly_Triangulation) open = openSphere();
  Handle(Poly_Triangulation) result;
  const CancelledRun healRun =
      testmesh::RunCancelled([&](const ActAPI_ProgressEntry& progress)
                             { return algoMesh_Heal::DoVTK(open, 1.0, result, progress); });
  testmesh::ExpectStoppedPromptly(healRun);
  EXPECT_FALSE(healRun.answer);
  EXPECT_TRUE(healRun.texts.empty()); // healing sends no message on any path
  EXPECT_TRUE(result.IsNull());
  EXPECT_TRUE(algoMesh_Heal::DoVTK(open, 1.0, result, ActAPI_ProgressEntry()));

  Handle(algoMesh_FillHoles) filler;
  const CancelledRun fillRun = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        filler = new algoMesh_FillHoles(testmesh::FaceOf(open), algoMesh_FillHoles::ShapeMap(), 1.0,
                                        progress, ActAPI_PlotterEntry());
        return filler->Perform();
      });
  testmesh::ExpectStoppedPromptly(fillRun);
  EXPECT_FALSE(fillRun.answer);
  EXPECT_EQ(THE_CANCELLED, fillRun.texts);
  EXPECT_TRUE(filler->GetResult().IsNull());
}

TEST(algoMesh_Cancellation, OverlapCheckKeepsNoRatio)
{
  const Handle(Poly_Triangulation) first  = bigSphere();
  const Handle(Poly_Triangulation) second = testmesh::Sphere(1.2, 200, 100);
  Handle(algoMesh_CheckMeshesOverlap) check;
  const CancelledRun run = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        check = new algoMesh_CheckMeshesOverlap(0.005, progress);
        return check->Perform(first, second);
      });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(THE_CANCELLED, run.texts);
  EXPECT_EQ(-1.0, check->OverlapRatio());

  // The same object runs again to the end once the request is withdrawn.
  run.notifier->CancelAfterPolls(-1);
  EXPECT_TRUE(check->Perform(first, second));
  EXPECT_GT(check->OverlapRatio(), 0.0);
}

TEST(algoMesh_Cancellation, DecimationDrivers)
{
  const Handle(Poly_Triangulation) mesh = bigSphere();
  algoMesh_DecimationOptions options;
  options.Reduction = 90.0;
  // A feature angle of 0 would make every vertex a corner that the topology-preserving
  // filter may not remove.
  options.FeatureAngle = 45.0;
  const algoMesh_VTKDecimatePro       pro(options);
  const algoMesh_VTKQuadricDecimation quadric(options);
  for (const algoMesh_Decimate* driver : {static_cast<const algoMesh_Decimate*>(&pro),
                                          static_cast<const algoMesh_Decimate*>(&quadric)})
  {
    Handle(Poly_Triangulation) result;
    // VTK's own decimation reads its abort flag only at its progress reports, about a
    // fifth of its run apart; the library's filter reads it every 10000 collapses.
    const double       bound = driver == &pro ? 1.0 : -1.0;
    const CancelledRun run =
        testmesh::RunCancelled([&](const ActAPI_ProgressEntry& progress)
                               { return driver->Perform(mesh, result, progress); },
                               0.3, bound);
    SCOPED_TRACE(driver == &pro ? "vtkDecimatePro" : "quadric");
    testmesh::ExpectStoppedPromptly(run, bound);
    EXPECT_FALSE(run.answer);
    EXPECT_EQ(THE_CANCELLED, run.texts);
    EXPECT_TRUE(driver->Perform(mesh, result, ActAPI_ProgressEntry()));
    EXPECT_LT(result->NbTriangles(), mesh->NbTriangles() / 2);
  }
}

TEST(algoMesh_Cancellation, TopologyPreservingDecimationInEveryStep)
{
  // By default (contact left to the result): thresholds inside the merge, the adjacency, the
  // quadrics, the queue, the collapses and the search of their result. With the filter
  // first: inside the input's topology, the filter, the conversion back, the result's checks
  // and its crossing search. With contact tested on each collapse: inside the merge, the
  // adjacency, the quadrics, the grid, the queue and the collapses. The set-up before the
  // first collapse is most of a second on a million triangles and must stop as promptly as
  // the collapses.
  const Handle(Poly_Triangulation) mesh = bigSphere();
  algoMesh_DecimationOptions options;
  options.Reduction                                  = 90.0;
  using Thresholds                                   = std::vector<std::pair<double, double>>;
  const std::vector<std::pair<int, Thresholds>> ways = {
      {0, {{0.01, 0.03}, {0.04, 0.055}, {0.06, 0.07}, {0.08, 0.095}, {0.3, 0.32}, {0.79, 0.84}}},
      {1, {{0.01, 0.03}, {0.15, 0.33}, {0.33, 0.36}}},
      {2, {{0.02, 0.04}, {0.05, 0.07}, {0.08, 0.1}, {0.11, 0.13}, {0.14, 0.16}, {0.3, 0.32}}}};
  for (const auto& way : ways)
  {
    SCOPED_TRACE(way.first);
    algoMesh_TopoDecimation topo(options);
    topo.SetFilterFirst(way.first == 1);
    topo.SetContactDeferred(way.first == 0);
    Handle(Poly_Triangulation) complete;
    ASSERT_TRUE(topo.Perform(mesh, complete));
    // Each threshold with the end of the step it falls in (progress moves by hundredths).
    expectStopsInEachStep(topo, mesh, way.second);
    // A run to the end after cancelled ones gives the same mesh as before them, with its
    // progress reaching the end.
    Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
    Handle(Poly_Triangulation) again;
    ASSERT_TRUE(topo.Perform(mesh, again, ActAPI_ProgressEntry(notifier)));
    ASSERT_EQ(complete->NbTriangles(), again->NbTriangles());
    ASSERT_EQ(complete->NbNodes(), again->NbNodes());
    for (int i = 1; i <= again->NbNodes(); ++i)
    {
      ASSERT_EQ(0.0, complete->Node(i).Distance(again->Node(i)));
    }
    ASSERT_FALSE(notifier->Fractions().empty());
    EXPECT_DOUBLE_EQ(1.0, notifier->Fractions().back());
  }
}

TEST(algoMesh_Cancellation, TopologyPreservingDecimationContinuedFromAStateOfItsRun)
{
  // A ball in a thin shell: the result of the collapses without their contact test crosses,
  // and so does the filter's; either way the collapses go on from a checked state of the
  // run. Thresholds inside the search of the result, inside the search of that state (the
  // merge, the replay, the checks) and inside the collapses continued from it.
  const Handle(Poly_Triangulation) nested =
      testmesh::Combine(testmesh::Sphere(1.0, 96, 64), testmesh::Sphere(1.01, 96, 64));
  algoMesh_DecimationOptions options;
  options.Reduction = 95.0;
  algoMesh_TopoDecimation topo(options);
  expectStopsInEachStep(topo, nested, {{0.79, 0.84}, {0.85, 0.87}, {0.89, 0.93}});
  topo.SetFilterFirst(true);
  expectStopsInEachStep(topo, nested, {{0.36, 0.46}, {0.5, 0.66}});
}

TEST(algoMesh_Cancellation, Smoothing)
{
  const Handle(Poly_Triangulation) mesh = bigSphere();
  Handle(Poly_Triangulation) result;
  const CancelledRun openMeshRun = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        return algoMesh_Smooth::DoOpenMesh(mesh, 50, algoMesh_Smooth::Component_TangentialNormal,
                                           result, progress);
      });
  testmesh::ExpectStoppedPromptly(openMeshRun);
  EXPECT_FALSE(openMeshRun.answer);
  EXPECT_EQ(THE_CANCELLED, openMeshRun.texts);

  const CancelledRun vtkRun =
      testmesh::RunCancelled([&](const ActAPI_ProgressEntry& progress)
                             { return algoMesh_Smooth::DoVTK(mesh, 200, result, progress); });
  testmesh::ExpectStoppedPromptly(vtkRun);
  EXPECT_FALSE(vtkRun.answer);
  EXPECT_EQ(THE_CANCELLED, vtkRun.texts);
  EXPECT_TRUE(result.IsNull());
}

TEST(algoMesh_Cancellation, KernelMesherLeavesNoFaceMeshed)
{
  // Twenty spheres meshed finely: the kernel reports per face and stops between faces.
  TopoDS_Compound shape;
  BRep_Builder    builder;
  builder.MakeCompound(shape);
  for (int i = 0; i < 20; ++i)
  {
    builder.Add(shape, BRepPrimAPI_MakeSphere(gp_Pnt(3.0 * i, 0.0, 0.0), 1.0).Shape());
  }
  const CancelledRun run =
      testmesh::RunCancelled([&](const ActAPI_ProgressEntry& progress)
                             { return algoMesh_ExtGen::DoNative(shape, 0.002, 0.1, progress); });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);
  EXPECT_EQ(THE_CANCELLED, run.texts);
  for (TopExp_Explorer it(shape, TopAbs_FACE); it.More(); it.Next())
  {
    TopLoc_Location location;
    EXPECT_TRUE(BRep_Tool::Triangulation(TopoDS::Face(it.Current()), location).IsNull());
  }
}

TEST(algoMesh_Cancellation, VtkXmlWritersInTheirEncoding)
{
  // The fixed progress steps end with the data set built; a threshold of 30 % of the whole
  // write falls in VTK's compression and encoding that follow.
  const Handle(Poly_Triangulation) mesh = bigSphere();
  Handle(MorvDS_Mesh) model;
  ASSERT_TRUE(algoMesh_Convert::ToMorv(mesh, TopLoc_Location(), model));
  Handle(algoMesh_Field) field =
      new algoMesh_Field("z", algoMesh_Field::Association_Element, 1, Standard_GUID());
  for (int t = 1; t <= mesh->NbTriangles(); ++t)
  {
    field->SetValue(t, std::sin(1.7 * t));
  }
  NCollection_Vector<Handle(algoMesh_Field)> fields;
  fields.Append(field);
  for (const bool isPoly : {true, false})
  {
    SCOPED_TRACE(isPoly ? "VTP" : "VTU");
    const std::string path  = testmesh::TempPath(isPoly ? "cancelled.vtp" : "cancelled.vtu");
    const auto        write = [&](const ActAPI_ProgressEntry& progress)
    {
      return (isPoly ? algoMesh_VTK_XML::WriteVTP(model, fields, TopLoc_Location(), path.c_str(),
                                                  progress, true)
                     : algoMesh_VTK_XML::WriteVTU(model, fields, TopLoc_Location(), path.c_str(),
                                                  progress, true)) == ExportStatus_Ok;
    };
    const CancelledRun run = testmesh::RunCancelled(write);
    testmesh::ExpectStoppedPromptly(run);
    EXPECT_FALSE(run.answer);
    EXPECT_GE(run.notifier->Value(), 98) << "the request came before the encoding";
    EXPECT_TRUE(run.texts.empty()); // a cancelled write sends no error
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(write(ActAPI_ProgressEntry()));
    EXPECT_TRUE(std::filesystem::exists(path));
  }
}

TEST(algoMesh_Cancellation, FileWritersInEveryPhaseLeaveNoFile)
{
  const Handle(Poly_Triangulation) mesh = bigSphere();
  NCollection_Vector<Handle(Poly_Triangulation)> meshes;
  NCollection_Vector<TopLoc_Location>            locations;
  meshes.Append(mesh);
  locations.Append(TopLoc_Location());
  struct Writer
  {
    const char*                                                          name;
    std::vector<double>                                                  thresholds;
    std::function<bool(const std::string&, const ActAPI_ProgressEntry&)> write;
  };
  // NASTRAN: inside the join, the copy into the data model, and the cards.
  const std::vector<Writer> writers = {
      {"nas",
       {0.05, 0.2, 0.6},
       [&](const std::string& path, const ActAPI_ProgressEntry& progress)
       { return algoMesh_NAS::Write(mesh, path.c_str(), progress) == ExportStatus_Ok; }},
      {"ply",
       {0.3},
       [&](const std::string& path, const ActAPI_ProgressEntry& progress)
       {
         return algoMesh_PLY::Write(
                    meshes, locations, path.c_str(), progress, true,
                    NCollection_Vector<NCollection_DataMap<int, Quantity_Color>>()) ==
                ExportStatus_Ok;
       }},
      {"obj",
       {0.3},
       [&](const std::string& path, const ActAPI_ProgressEntry& progress)
       {
         algoMesh_OBJ writer(progress);
         writer.AddMesh(mesh, gp_Trsf());
         return writer.Write(path);
       }}};
  for (const Writer& writer : writers)
  {
    const std::string path = testmesh::TempPath(std::string("cancelled.") + writer.name);
    std::filesystem::remove(path);
    for (const double threshold : writer.thresholds)
    {
      SCOPED_TRACE(std::string(writer.name) + " at " + std::to_string(threshold));
      const CancelledRun run = testmesh::RunCancelled([&](const ActAPI_ProgressEntry& progress)
                                                      { return writer.write(path, progress); },
                                                      threshold);
      testmesh::ExpectStoppedPromptly(run);
      EXPECT_FALSE(run.answer);
      EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_TRUE(writer.write(path, ActAPI_ProgressEntry()));
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);
  }
}

TEST(algoMesh_Cancellation, WritersProgressThroughTheirEncoding)
{
  // The encoding after the join reports through the kernel's progress bridge: its progress
  // must move the entry through the writer's last share, not only at its end.
  const Handle(Poly_Triangulation) mesh = bigSphere();
  const auto movesWithin = [](const std::vector<double>& fractions, const double from)
  {
    int count = 0;
    for (const double fraction : fractions)
    {
      count += fraction > from && fraction < 1.0 ? 1 : 0;
    }
    return count;
  };
  const std::string nasPath                 = testmesh::TempPath("progress.nas");
  Handle(ActAPI_RecordingNotifier) notifier = new ActAPI_RecordingNotifier();
  ASSERT_EQ(ExportStatus_Ok,
            algoMesh_NAS::Write(mesh, nasPath.c_str(), ActAPI_ProgressEntry(notifier)));
  const std::vector<double> fractions = notifier->Fractions();
  EXPECT_GE(movesWithin(fractions, 0.3), 10) << "the cards showed no progress";
  EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()))
      << "the cards started the progress again";
  ASSERT_FALSE(fractions.empty());
  EXPECT_DOUBLE_EQ(1.0, fractions.back());

  const std::string stlPath = testmesh::TempPath("progress.stl");
  notifier                  = new ActAPI_RecordingNotifier();
  ASSERT_EQ(ExportStatus_Ok,
            algoMesh_STL::Write(mesh, stlPath.c_str(), ActAPI_ProgressEntry(notifier), false));
  EXPECT_GE(movesWithin(notifier->Fractions(), 0.75), 10) << "the text encoding showed none";
  std::filesystem::remove(nasPath);
  std::filesystem::remove(stlPath);
}

TEST(algoMesh_Cancellation, Wrapping)
{
  const Handle(Poly_Triangulation) mesh = bigSphere();
  Handle(algoMesh_Wrap) wrap;
  const CancelledRun run = testmesh::RunCancelled(
      [&](const ActAPI_ProgressEntry& progress)
      {
        wrap = new algoMesh_Wrap(progress, ActAPI_PlotterEntry());
        return wrap->Perform(mesh, 0.02);
      });
  testmesh::ExpectStoppedPromptly(run);
  EXPECT_FALSE(run.answer);

  run.notifier->CancelAfterPolls(-1);
  EXPECT_TRUE(wrap->Perform(mesh, 0.02));
  EXPECT_FALSE(wrap->Result().IsNull());
}
