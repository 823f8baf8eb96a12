// Reader of mesh files in the ASCII MSH 2 layout: nodes and linear elements into a mesh
// data model mesh, node and element data sections into field frames. A line-oriented
// state machine over the file's sections, O(size of the file).
#ifndef algoMesh_MSH_HeaderFile
#define algoMesh_MSH_HeaderFile

#include <algoMesh.hxx>
#include <algoMesh_FieldFrame.hxx>

#include <ActAPI_IProgressNotifier.hxx>
#include <MorvDS_Mesh.hxx>

#include <NCollection_Vector.hxx>
#include <Standard_GUID.hxx>
#include <TCollection_AsciiString.hxx>

namespace quorin
{

class algoMesh_EXPORT algoMesh_MSH
{
public:
  //! Reads an ASCII MSH 2 file.
  //!
  //! Sections read: "$Nodes" (count line, then "number x y z" lines), "$Elements" (count
  //! line, then "number type nbTags tags... nodes..." lines), "$NodeData" and
  //! "$ElementData" (string, real and integer tag blocks, then "entity v1 .. vN" lines);
  //! every other section is skipped. Element types: 1 edge, 2 triangle, 3 quadrangle,
  //! 4 tetrahedron, 5 hexahedron, 6 prism, 7 pyramid, 15 one-node element (its number in the
  //! file is not kept: the mesh numbers it). Nodes and elements keep the file's numbers.
  //! A data section gives one frame: name = first string tag without its double quotes,
  //! association 0 (node data) or 1 (element data), time = first real tag, frame index =
  //! first integer tag, component count = second (1 .. 9), value lines = third.
  //! Blank lines are skipped. Lines are read in pieces of at most 4095 bytes.
  //!
  //! Messages: "Reading file '%1'." (information) first; "Could not open the file for
  //! reading." (error); "Skipped element with index %1 due to duplication." (warning) when an
  //! element number comes twice: the element read first is removed as well.
  //! @param[out] mesh      a new mesh, set before reading starts, so that after a failure
  //!                       it holds what was read
  //! @param[in,out] frames one frame is appended per completed data section
  //! @param[in] owner      copied into every frame
  //! @param[in] notifier   may be null; its cancellation request is polled per line
  //! @return false when the file cannot be opened, on cancellation, and (without a message)
  //! on a malformed count, node, element or data line, a non-finite node coordinate, an
  //! element type outside the list or with another node count, a data section with too
  //! few tags or more than 9 components, a data section cut short, or a node or element the
  //! mesh refuses (a repeated node number, an element over a missing node).
  static bool Read(const TCollection_AsciiString& path,
                   Handle(MorvDS_Mesh) & mesh,
                   NCollection_Vector<Handle(algoMesh_FieldFrame)>& frames,
                   const Standard_GUID&                             owner,
                   const Handle(ActAPI_IProgressNotifier) & notifier);
};

} // namespace quorin

#endif
