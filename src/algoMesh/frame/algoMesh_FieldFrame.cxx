#include <algoMesh_FieldFrame.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_FieldFrame, quorin::algoMesh_Field)
