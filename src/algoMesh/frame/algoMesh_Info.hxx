// Summary of a triangle mesh for display: node and triangle counts and the largest
// deflection recorded on its triangulations (the mesh's surface deviation).
#ifndef algoMesh_Info_HeaderFile
#define algoMesh_Info_HeaderFile

#include <algoMesh.hxx>

#include <Poly_Triangulation.hxx>
#include <TopoDS_Shape.hxx>

#include <ostream>

namespace quorin
{

class algoMesh_EXPORT algoMesh_Info
{
public:
  int    NbNodes      = 0;
  int    NbTriangles  = 0;
  double MaxDeviation = 0.0; //!< largest Poly_Triangulation::Deflection() met, model units

public:
  //! Replaces the record with the counts and deflection of one triangulation; a null
  //! handle gives zeros.
  void ExtractInfoFrom(const Handle(Poly_Triangulation)& mesh);

  //! Sums the counts of every face triangulation of the shape (a face met twice counts
  //! twice) and keeps the largest deflection. A null shape leaves the record unchanged.
  void ExtractInfoFrom(const TopoDS_Shape& shape);

  //! Writes "Num. triangles: ", "Num. nodes: " and "Max surface deviation: " lines, in
  //! this order, with the stream's number formatting.
  void Dump(std::ostream& out) const;
};

} // namespace quorin

#endif
