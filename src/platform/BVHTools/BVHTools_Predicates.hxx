// Exact orientation predicates on double coordinates.
//
// Orient3d tells on which side of the plane through a, b, c the point d lies; Orient2d on
// which side of the line through a, b the point c lies. Both first evaluate the determinant
// in floating point and accept its sign when it exceeds a forward error bound (Shewchuk,
// "Adaptive Precision Floating-Point Arithmetic and Fast Robust Geometric Predicates",
// 1997). Otherwise the determinant is expanded into exact products (two-product via fused
// multiply-add) and summed exactly as a non-overlapping expansion, whose sign is that of
// its largest component. The filter decides almost all calls at a cost of a few dozen
// flops; the exact path costs a few thousand and runs only for (nearly) degenerate input.
// Inputs must be finite; intermediate products must not overflow or underflow.
#ifndef BVHTools_Predicates_HeaderFile
#define BVHTools_Predicates_HeaderFile

#include <BVHTools_Export.hxx>

namespace BVHTools
{

//! Sign of ((b − a) × (c − a)) · (d − a): +1 when d lies on the side of the plane through
//! a, b, c that its normal (b − a) × (c − a) points to, −1 on the other side, 0 when the
//! four points are coplanar. Points are three doubles each. Exact.
BVHTools_EXPORT int Orient3d(const double* a, const double* b, const double* c, const double* d);

//! Orientation of the points a, b, c projected onto their coordinates i and j (0, 1 or 2):
//! +1 when they turn counter-clockwise in the (i, j) plane, −1 clockwise, 0 collinear.
//! Exact.
BVHTools_EXPORT int Orient2d(const double* a, const double* b, const double* c, int i, int j);

} // namespace BVHTools

#endif
