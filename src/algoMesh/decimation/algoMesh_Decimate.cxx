// Guarded entry point shared by the decimation drivers.
#include <algoMesh_Decimate.hxx>

#include <iostream>

namespace quorin
{

algoMesh_Decimate::~algoMesh_Decimate() = default;

bool algoMesh_Decimate::Perform(const Handle(Poly_Triangulation) & input,
                                Handle(Poly_Triangulation) & output) const
{
  return Perform(input, output, ActAPI_ProgressEntry());
}

bool algoMesh_Decimate::Perform(const Handle(Poly_Triangulation) & input,
                                Handle(Poly_Triangulation) & output,
                                ActAPI_ProgressEntry progressEntry) const
{
  // 1-2. Nothing to decimate.
  if (input.IsNull() || input->NbTriangles() == 0)
  {
    return false;
  }
  // 3. The driver's work, with any failure it throws turned into false.
  algoMesh_ProgressScope progress(progressEntry, "Decimating");
  bool                   done = false;
  try
  {
    done = performWithProgress(input, output, progress);
  }
  catch (...)
  {
    std::cout << "Error: decimation crashed" << std::endl;
    return false;
  }
  if (progress.IsCancelled())
  {
    algoMesh_ReportCancelled(progressEntry);
    return false;
  }

  // 4. Success needs a mesh.
  return done && !output.IsNull();
}

bool algoMesh_Decimate::performWithProgress(const Handle(Poly_Triangulation) & input,
                                            Handle(Poly_Triangulation) & output,
                                            algoMesh_ProgressScope& progress) const
{
  const bool done = perform(input, output);
  progress.Complete();
  return done;
}

} // namespace quorin
