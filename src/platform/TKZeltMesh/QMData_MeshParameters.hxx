// Parameter record of the surface tessellator: sizes, angle and optimisation settings, as
// one 72-byte value copied into the tessellator.
#ifndef QMData_MeshParameters_HeaderFile
#define QMData_MeshParameters_HeaderFile

#include <TKZeltMesh_Export.hxx>

#include <cstdint>

//! Settings of QMShape_Tessellator. A plain value of fixed layout (72 bytes): callers set
//! the fields they need, call Update() to derive the effective values, then hand a copy to
//! the tessellator. Lengths are in model units, angles in radians. A value of 1e100 or more
//! in a length or angle field means "not given".
//!
//! Layout (byte offsets): 0 MaxSize, 8 Angle, 16 MinSize, 24 Deflection, 32 EffMaxSize,
//! 40 EffAngle, 48 EffMinSize, 56 HasAngle, 57 HasMinSize, 58 SkipOptimisation,
//! 60 NbOptimisationPasses, 64 Verbosity.
class TKZeltMesh_EXPORT QMData_MeshParameters
{
public:
  //! Value that marks a length or angle as not given.
  static constexpr double Unset() { return 1.0e100; }

  //! The defaults: MaxSize 0.001, every other length and angle not given, flags off, three
  //! optimisation passes, silent.
  QMData_MeshParameters();

  //! Derives EffMaxSize, EffAngle and EffMinSize from the fields given (see each field).
  //! Call after changing a field; the tessellator reads only the effective values and
  //! Deflection, SkipOptimisation, NbOptimisationPasses and Verbosity.
  void Update();

public:
  //! Target and maximum edge length: every triangle edge of the result is at most this
  //! long (edges are split until they are). Zero or negative: no size limit, the mesh is
  //! only as fine as the deflection and the angle ask.
  double MaxSize;

  //! Maximum angular deviation between the surface normals along a triangle (the kernel
  //! mesher's angular deflection); read only when HasAngle is set. Values above pi act as
  //! pi; zero or negative ones as not given.
  double Angle;

  //! Minimum edge length and chordal tolerance: no edge is split into parts shorter than
  //! this, and the chordal deflection of the first meshing pass is never below it; read
  //! only when HasMinSize is set.
  double MinSize;

  //! Chordal deflection of the first meshing pass (largest distance between a triangle and
  //! its surface); not given: 1/12 of MaxSize, or 1/1000 of the shape's box diagonal when
  //! there is no size limit, raised to EffMinSize in both cases.
  double Deflection;

  //! Effective maximum edge length, written by Update(): MaxSize raised to twice
  //! EffMinSize (so that halving an edge never goes below the minimum size), or Unset()
  //! when MaxSize is not positive or not given.
  double EffMaxSize;

  //! Effective angle, written by Update(): Angle clamped to pi when given and positive,
  //! otherwise 0.5.
  double EffAngle;

  //! Effective minimum size, written by Update(): MinSize when given and positive,
  //! otherwise 0.
  double EffMinSize;

  bool HasAngle;   //!< Angle is given
  bool HasMinSize; //!< MinSize is given

  //! Stop after the first pass and one round of size refinement (Delaunay insertion, then
  //! bisection of what is still too long): no collapses, flip passes or smoothing.
  bool SkipOptimisation;

  //! Number of remeshing passes per face (Delaunay insertion, short-edge collapse, edge
  //! flips, tangential smoothing), followed by one polish within the size; zero or
  //! negative: as SkipOptimisation.
  int NbOptimisationPasses;

  //! 0: silent; 1 or more: one summary line per Perform on standard output.
  int16_t Verbosity;
};

#endif
