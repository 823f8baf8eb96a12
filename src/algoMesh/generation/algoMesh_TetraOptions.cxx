#include <algoMesh_TetraOptions.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_TetraOptions, Standard_Transient)
