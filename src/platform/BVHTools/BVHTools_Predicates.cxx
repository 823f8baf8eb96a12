// Exact orientation predicates: floating-point filter, then an exact expansion sum.
#include <BVHTools_Predicates.hxx>

#include <cmath>

namespace BVHTools
{
namespace
{

constexpr double THE_EPS = 1.1102230246251565e-16; // 2^-53, half a unit in the last place

// Forward error bounds of the floating-point evaluation relative to the permanent of the
// determinant, differences of the inputs included.
constexpr double THE_ORIENT2D_BOUND = (3.0 + 16.0 * THE_EPS) * THE_EPS;
constexpr double THE_ORIENT3D_BOUND = (7.0 + 56.0 * THE_EPS) * THE_EPS;

// A non-overlapping expansion: the exact value is the sum of its components, kept in
// increasing magnitude; zero components are dropped as they appear.
struct Expansion
{
  double comp[256];
  int    size = 0;

  // Adds one double exactly (grow-expansion with zero elimination).
  void Add(double value)
  {
    int out = 0;
    for (int i = 0; i < size; ++i)
    {
      const double sum = value + comp[i];
      const double bv  = sum - value;
      const double err = (value - (sum - bv)) + (comp[i] - bv);
      if (err != 0.0)
      {
        comp[out++] = err;
      }
      value = sum;
    }
    if (value != 0.0)
    {
      comp[out++] = value;
    }
    size = out;
  }

  int Sign() const { return size == 0 ? 0 : (comp[size - 1] > 0.0 ? 1 : -1); }
};

// a − b as a two-component exact value.
inline void twoDiff(const double a, const double b, double out[2])
{
  const double diff = a - b;
  const double bv   = a - diff;
  const double av   = diff + bv;
  out[0]            = diff;
  out[1]            = (a - av) + (bv - b);
}

// Adds sign · x · y · z exactly, each factor given as a two-component value.
void addTripleProduct(
    Expansion& sum, const double sign, const double x[2], const double y[2], const double z[2])
{
  for (int i = 0; i < 2; ++i)
  {
    for (int j = 0; j < 2; ++j)
    {
      const double p  = x[i] * y[j];
      const double pe = std::fma(x[i], y[j], -p); // p + pe = x·y exactly
      for (int k = 0; k < 2; ++k)
      {
        const double q  = p * z[k];
        const double qe = std::fma(p, z[k], -q);
        const double r  = pe * z[k];
        const double re = std::fma(pe, z[k], -r);
        sum.Add(sign * q);
        sum.Add(sign * qe);
        sum.Add(sign * r);
        sum.Add(sign * re);
      }
    }
  }
}

void addProduct(Expansion& sum, const double sign, const double x[2], const double y[2])
{
  for (int i = 0; i < 2; ++i)
  {
    for (int j = 0; j < 2; ++j)
    {
      const double p = x[i] * y[j];
      sum.Add(sign * p);
      sum.Add(sign * std::fma(x[i], y[j], -p));
    }
  }
}

int orient3dExact(const double* a, const double* b, const double* c, const double* d)
{
  double ad[3][2], bd[3][2], cd[3][2];
  for (int k = 0; k < 3; ++k)
  {
    twoDiff(a[k], d[k], ad[k]);
    twoDiff(b[k], d[k], bd[k]);
    twoDiff(c[k], d[k], cd[k]);
  }
  // The six terms of the 3x3 determinant (Leibniz expansion).
  Expansion sum;
  addTripleProduct(sum, 1.0, ad[0], bd[1], cd[2]);
  addTripleProduct(sum, -1.0, ad[0], bd[2], cd[1]);
  addTripleProduct(sum, 1.0, ad[1], bd[2], cd[0]);
  addTripleProduct(sum, -1.0, ad[1], bd[0], cd[2]);
  addTripleProduct(sum, 1.0, ad[2], bd[0], cd[1]);
  addTripleProduct(sum, -1.0, ad[2], bd[1], cd[0]);
  return sum.Sign();
}

} // namespace

int Orient3d(const double* a, const double* b, const double* c, const double* d)
{
  const double adx = a[0] - d[0], ady = a[1] - d[1], adz = a[2] - d[2];
  const double bdx = b[0] - d[0], bdy = b[1] - d[1], bdz = b[2] - d[2];
  const double cdx = c[0] - d[0], cdy = c[1] - d[1], cdz = c[2] - d[2];

  const double bdxcdy = bdx * cdy, cdxbdy = cdx * bdy;
  const double cdxady = cdx * ady, adxcdy = adx * cdy;
  const double adxbdy = adx * bdy, bdxady = bdx * ady;

  const double det = adz * (bdxcdy - cdxbdy) + bdz * (cdxady - adxcdy) + cdz * (adxbdy - bdxady);
  const double permanent = (std::fabs(bdxcdy) + std::fabs(cdxbdy)) * std::fabs(adz) +
                           (std::fabs(cdxady) + std::fabs(adxcdy)) * std::fabs(bdz) +
                           (std::fabs(adxbdy) + std::fabs(bdxady)) * std::fabs(cdz);
  const double bound = THE_ORIENT3D_BOUND * permanent;
  if (det > bound)
  {
    return -1;
  }
  if (-det > bound)
  {
    return 1;
  }
  if (permanent == 0.0)
  {
    return 0;
  }
  return -orient3dExact(a, b, c, d);
}

int Orient2d(const double* a, const double* b, const double* c, const int i, const int j)
{
  const double detLeft  = (a[i] - c[i]) * (b[j] - c[j]);
  const double detRight = (a[j] - c[j]) * (b[i] - c[i]);
  const double det      = detLeft - detRight;
  const double bound    = THE_ORIENT2D_BOUND * (std::fabs(detLeft) + std::fabs(detRight));
  if (det > bound)
  {
    return 1;
  }
  if (-det > bound)
  {
    return -1;
  }
  if (detLeft == 0.0 && detRight == 0.0)
  {
    return 0;
  }
  double acx[2], acy[2], bcx[2], bcy[2];
  twoDiff(a[i], c[i], acx);
  twoDiff(a[j], c[j], acy);
  twoDiff(b[i], c[i], bcx);
  twoDiff(b[j], c[j], bcy);
  Expansion sum;
  addProduct(sum, 1.0, acx, bcy);
  addProduct(sum, -1.0, acy, bcx);
  return sum.Sign();
}

} // namespace BVHTools
