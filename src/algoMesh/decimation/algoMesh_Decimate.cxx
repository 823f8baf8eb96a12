// Guarded entry point shared by the decimation drivers.
#include <algoMesh_Decimate.hxx>

#include <iostream>

namespace quorin
{

algoMesh_Decimate::~algoMesh_Decimate() = default;

bool algoMesh_Decimate::Perform(const Handle(Poly_Triangulation) & input,
                                Handle(Poly_Triangulation) & output) const
{
  // 1-2. Nothing to decimate.
  if (input.IsNull() || input->NbTriangles() == 0)
  {
    return false;
  }
  // 3. The driver's work, with any failure it throws turned into false.
  bool done = false;
  try
  {
    done = perform(input, output);
  }
  catch (...)
  {
    std::cout << "Error: decimation crashed" << std::endl;
    return false;
  }
  // 4. Success needs a mesh.
  return done && !output.IsNull();
}

} // namespace quorin
