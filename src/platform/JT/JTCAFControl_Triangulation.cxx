#include <JTCAFControl_Triangulation.hxx>

IMPLEMENT_STANDARD_RTTIEXT(JTCAFControl_Triangulation, Poly_Triangulation)
