#include <algoMesh_HexaOptions.hxx>

IMPLEMENT_STANDARD_RTTIEXT(quorin::algoMesh_HexaOptions, Standard_Transient)
