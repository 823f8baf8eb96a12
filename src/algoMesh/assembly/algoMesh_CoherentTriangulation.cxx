// Look-ups on the kernel's coherent triangulation: a triangle by its node triple, by a
// linear scan of the triangle slots (O(slots) per call, no index), and a link's nodes.
#include <algoMesh_CoherentTriangulation.hxx>

#include <Standard_OutOfRange.hxx>

using namespace quorin;

algoMesh_CoherentTriangulation::algoMesh_CoherentTriangulation(
    const Handle(NCollection_BaseAllocator) & theAllocator)
    : Poly_CoherentTriangulation(theAllocator)
{
}

algoMesh_CoherentTriangulation::algoMesh_CoherentTriangulation(
    const Handle(Poly_Triangulation) & theTriangulation,
    const Handle(NCollection_BaseAllocator) & theAllocator)
    : Poly_CoherentTriangulation(theTriangulation, theAllocator)
{
}

algoMesh_CoherentTriangulation::~algoMesh_CoherentTriangulation() = default;

bool algoMesh_CoherentTriangulation::FindTriangle(
    const int theN1, const int theN2, const int theN3, int& theTriangle, bool& theSameOrientation)
{
  // The kernel's NNodes()/NTriangles() count live items only; slots are the vector sizes.
  const int nbNodeSlots = myNodes.Length();
  if (theN1 >= nbNodeSlots || theN2 >= nbNodeSlots || theN3 >= nbNodeSlots)
  {
    return false;
  }
  const int nbTriangleSlots = myTriangles.Length();
  for (int t = 0; t < nbTriangleSlots; ++t)
  {
    const Poly_CoherentTriangle& triangle = myTriangles.Value(t);
    if (triangle.IsEmpty())
    {
      continue; // a removed triangle keeps its slot with -1 nodes
    }
    const int a = triangle.Node(0);
    const int b = triangle.Node(1);
    const int c = triangle.Node(2);
    if ((a == theN1 && b == theN2 && c == theN3) || (b == theN1 && c == theN2 && a == theN3) ||
        (c == theN1 && a == theN2 && b == theN3))
    {
      theTriangle        = t;
      theSameOrientation = true;
      return true;
    }
    if ((a == theN1 && c == theN2 && b == theN3) || (c == theN1 && b == theN2 && a == theN3) ||
        (b == theN1 && a == theN2 && c == theN3))
    {
      theTriangle        = t;
      theSameOrientation = false;
      return true;
    }
  }
  return false;
}

bool algoMesh_CoherentTriangulation::LinkNodes(const int theLink, int& theN1, int& theN2) const
{
  if (theLink >= myLinks.Length())
  {
    return false;
  }
  if (theLink < 0)
  {
    throw Standard_OutOfRange("NCollection_BaseVector::findV");
  }
  const Poly_CoherentLink& link = myLinks.Value(theLink);
  theN1                         = link.Node(0);
  theN2                         = link.Node(1);
  return true;
}
