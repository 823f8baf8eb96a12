#include <algoMesh_SurfOptions.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_SurfOptions, Standard_Transient)
