#include <algoBase_Utils.hxx>

#include <BRepBndLib.hxx>

bool algoBase_Utils::Bounds(const Handle(Poly_Triangulation)& mesh,
                            const TopLoc_Location&            location,
                            Bnd_Box&                          box)
{
  if (mesh.IsNull() || mesh->NbNodes() == 0)
  {
    return false;
  }
  const bool     isIdentity = location.IsIdentity();
  const gp_Trsf& trsf       = location.Transformation();
  for (int i = 1; i <= mesh->NbNodes(); ++i)
  {
    gp_Pnt p = mesh->Node(i);
    if (!isIdentity)
    {
      p.Transform(trsf);
    }
    box.Add(p);
  }
  return true;
}

bool algoBase_Utils::Bounds(const TopoDS_Shape& shape,
                            const bool          useTriangulation,
                            const bool          isOptimal,
                            Bnd_Box&            box)
{
  if (shape.IsNull())
  {
    return false;
  }
  if (isOptimal)
  {
    BRepBndLib::AddOptimal(shape, box, useTriangulation, false);
  }
  else
  {
    BRepBndLib::Add(shape, box, useTriangulation);
  }
  return !box.IsVoid();
}
