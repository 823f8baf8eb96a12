// Look-ups on the kernel's coherent triangulation: a triangle by its node triple, by a
// linear scan of the triangle slots (O(slots) per call, no index), and a link's nodes.
#include <algoMesh_CoherentTriangulation.hxx>

#include <Standard_OutOfRange.hxx>

using namespace quorin;

algoMesh_CoherentTriangulation::algoMesh_CoherentTriangulation(
    const Handle(NCollection_BaseAllocator) & allocator)
    : Poly_CoherentTriangulation(allocator)
{
}

algoMesh_CoherentTriangulation::algoMesh_CoherentTriangulation(
    const Handle(Poly_Triangulation) & triangulation,
    const Handle(NCollection_BaseAllocator) & allocator)
    : Poly_CoherentTriangulation(triangulation, allocator)
{
}

algoMesh_CoherentTriangulation::~algoMesh_CoherentTriangulation() = default;

bool algoMesh_CoherentTriangulation::FindTriangle(
    const int n1, const int n2, const int n3, int& triangle, bool& sameOrientation)
{
  // The kernel's NNodes()/NTriangles() count live items only; slots are the vector sizes.
  const int nbNodeSlots = myNodes.Length();
  if (n1 >= nbNodeSlots || n2 >= nbNodeSlots || n3 >= nbNodeSlots)
  {
    return false;
  }
  const int nbTriangleSlots = myTriangles.Length();
  for (int t = 0; t < nbTriangleSlots; ++t)
  {
    const Poly_CoherentTriangle& stored = myTriangles.Value(t);
    if (stored.IsEmpty())
    {
      continue; // a removed triangle keeps its slot with -1 nodes
    }
    const int a = stored.Node(0);
    const int b = stored.Node(1);
    const int c = stored.Node(2);
    if ((a == n1 && b == n2 && c == n3) || (b == n1 && c == n2 && a == n3) ||
        (c == n1 && a == n2 && b == n3))
    {
      triangle        = t;
      sameOrientation = true;
      return true;
    }
    if ((a == n1 && c == n2 && b == n3) || (c == n1 && b == n2 && a == n3) ||
        (b == n1 && a == n2 && c == n3))
    {
      triangle        = t;
      sameOrientation = false;
      return true;
    }
  }
  return false;
}

bool algoMesh_CoherentTriangulation::LinkNodes(const int link, int& n1, int& n2) const
{
  if (link >= myLinks.Length())
  {
    return false;
  }
  if (link < 0)
  {
    throw Standard_OutOfRange("NCollection_BaseVector::findV");
  }
  const Poly_CoherentLink& stored = myLinks.Value(link);
  n1                              = stored.Node(0);
  n2                              = stored.Node(1);
  return true;
}
