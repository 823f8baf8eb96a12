// Dimension classes of the items of a mesh data model mesh.
#ifndef MorvAbs_ElementType_HeaderFile
#define MorvAbs_ElementType_HeaderFile

//! What an element iterator walks. Edges, faces and volumes have the values 2, 3 and 4
//! that callers pass as plain numbers.
enum MorvAbs_ElementType
{
  MorvAbs_All       = 0, //!< every element, whatever its dimension (never nodes)
  MorvAbs_Node      = 1, //!< nodes are not elements: an element iterator of this type is empty
  MorvAbs_Edge      = 2, //!< two-node elements
  MorvAbs_Face      = 3, //!< triangles and quadrangles
  MorvAbs_Volume    = 4, //!< tetrahedra, pyramids, prisms and hexahedra
  MorvAbs_0DElement = 5  //!< one-node elements
};

#endif
