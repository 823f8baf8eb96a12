// Face selection: one walk over the faces of the shape with a map look-up each.
#include <algoMesh_FaceSelection.hxx>

#include <TopExp_Explorer.hxx>
#include <TopoDS_Builder.hxx>

using namespace quorin;

TopoDS_Compound algoMesh_FaceSelection::KeptFaces(const TopoDS_Shape& shape,
                                                  const FaceMap&      excluded)
{
  TopoDS_Compound compound;
  TopoDS_Builder  builder;
  builder.MakeCompound(compound);
  for (TopExp_Explorer explorer(shape, TopAbs_FACE); explorer.More(); explorer.Next())
  {
    if (!excluded.Contains(explorer.Current()))
    {
      builder.Add(compound, explorer.Current());
    }
  }
  return compound;
}
