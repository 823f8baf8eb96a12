#include <QMData_MeshParameters.hxx>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <type_traits>

// The record is exchanged by value with a fixed layout; keep it so.
static_assert(std::is_standard_layout<QMData_MeshParameters>::value, "fixed layout");
static_assert(sizeof(QMData_MeshParameters) == 72, "72-byte record");
static_assert(offsetof(QMData_MeshParameters, MaxSize) == 0, "layout");
static_assert(offsetof(QMData_MeshParameters, Angle) == 8, "layout");
static_assert(offsetof(QMData_MeshParameters, MinSize) == 16, "layout");
static_assert(offsetof(QMData_MeshParameters, Deflection) == 24, "layout");
static_assert(offsetof(QMData_MeshParameters, EffMaxSize) == 32, "layout");
static_assert(offsetof(QMData_MeshParameters, EffAngle) == 40, "layout");
static_assert(offsetof(QMData_MeshParameters, EffMinSize) == 48, "layout");
static_assert(offsetof(QMData_MeshParameters, HasAngle) == 56, "layout");
static_assert(offsetof(QMData_MeshParameters, HasMinSize) == 57, "layout");
static_assert(offsetof(QMData_MeshParameters, SkipOptimisation) == 58, "layout");
static_assert(offsetof(QMData_MeshParameters, NbOptimisationPasses) == 60, "layout");
static_assert(offsetof(QMData_MeshParameters, Verbosity) == 64, "layout");

namespace
{
bool isGiven(const double value)
{
  return std::isfinite(value) && value > 0.0 && value < QMData_MeshParameters::Unset();
}
} // namespace

QMData_MeshParameters::QMData_MeshParameters()
    : MaxSize(0.001), Angle(Unset()), MinSize(Unset()), Deflection(Unset()), EffMaxSize(Unset()),
      EffAngle(0.5), EffMinSize(0.0), HasAngle(false), HasMinSize(false), SkipOptimisation(false),
      NbOptimisationPasses(3), Verbosity(0)
{
}

void QMData_MeshParameters::Update()
{
  EffMinSize = HasMinSize && isGiven(MinSize) ? MinSize : 0.0;
  EffAngle   = HasAngle && isGiven(Angle) ? std::min(Angle, M_PI) : 0.5;
  EffMaxSize = isGiven(MaxSize) ? std::max(MaxSize, 2.0 * EffMinSize) : Unset();
}
