// Real FFT through a half-length complex FFT, four-step complex FFT,
// radix-2 row transforms; complex work in single precision.
//
// realft_sp views the N reals as M = N/2 complex numbers z(k) = (x(2k),
// x(2k+1)), transforms them with four1 and separates the two interleaved
// real transforms in one pass (the "untangling"): with e = (z(k) +
// conj z(M-k))/2 and d = q*(z(k) - conj z(M-k)), z(k) = e + w(k)*d and
// z(M-k) = conj(e - w(k)*d), w(k) = i*exp(isign*2*pi*i*k/N). The inverse
// runs the same pass first and the complex transform last. Sign and packing
// are described in realft.h.
//
// four1 is the four-step method: the M points form a P-by-Q array stored
// column by column (element (r, c) is point r + P*c, so the data need no
// reshaping); its rows are transformed along c, element (r, c) is multiplied
// by exp(isign*2*pi*i*r*c/M), the array is transposed into Q-by-P, whose rows
// are transformed again. The result is then in natural order.
//
// fourrow transforms all rows of a column-major array at once: columns
// are exchanged into bit-reversed order, then radix-2 butterflies of half
// span G = 1, 2, 4, ... combine whole columns, so the innermost loop runs
// down a contiguous column.
//
// Exactness: the data are complex floats and every product is formed as
// (a*c - b*d, a*d + b*c) in float. Every twiddle factor is generated in
// double by a fixed recurrence (w <- w*wp + w, wp = (-2*sin(theta/2)^2,
// sin(theta)); the roots of unity of the untangling by repeated doubling)
// and rounded to float where it is applied. Since the recurrences give the
// same doubles every time, they are run once per length and sign and the
// rounded factors are kept in a per-thread table; together with a
// per-thread scratch buffer this makes repeated calls allocation-free
// without changing a single bit of the results. Internally the complex
// numbers are held as separate real and imaginary arrays so the compiler
// can vectorise the column loops, butterfly stages go two per sweep, and
// the transpose also does the second pass's bit reversal; all of that
// changes the memory traffic, not the arithmetic (the tests pin the bits
// of every output). The build keeps the compiler from contracting a*b + c,
// so a target with fused multiply-add gives the same bits.
//
// Names: N real length; M = N/2 complex length; P, Q rows and columns of the
// four-step array; S length of one row transform; G half span of a
// butterfly stage; w twiddle factor, wp the step of its recurrence; e, d the
// even and odd parts in the untangling, q = -1/2 forward and +1/2 inverse.
#include "numerics/realft.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <memory>
#include <new>
#include <numbers>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "numerics/cpu.h"
#include "numerics/nrerror.h"

namespace numerics {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Deliberately a little below ln 2: it decides the four-step split (see
// four_step_shape).
constexpr double kLn2Low = 0.693147;

constexpr const char* kAssertLine = "nrerror: an assertion failed with this tag: ";

// Plans for this many (length, sign) pairs are kept per thread; the program
// itself uses one length in both directions.
constexpr std::size_t kCachedPlans = 8;

// Side of the tiles in which four1 transposes (16 floats, one cache line).
constexpr std::size_t kTile = 16;

[[noreturn]] void assertion_failed(const std::string& tag) { throw NrError(NrError::Kind::assertion, kAssertLine + tag); }

void require_power_of_two(std::size_t n, const char* routine) {
  if (n == 0 || (n & (n - 1)) != 0) assertion_failed(std::string("n must be a power of 2 in ") + routine);
}

// Runs body, turning a failed allocation into the toolkit's stop.
template <class Body>
void obtaining(Body body) {
  try {
    body();
  } catch (const std::bad_alloc&) {
    throw NrError(NrError::Kind::outOfMemory, "Out of memory");
  } catch (const std::length_error&) {
    throw NrError(NrError::Kind::outOfMemory, "Out of memory");
  }
}

// ---- Twiddle recurrences, in double ----------------------------------------

struct ComplexD {
  double re;
  double im;
};

ComplexD times(ComplexD a, ComplexD b) { return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re}; }

// The recurrence step wp of an angle theta: w*wp + w turns w by theta.
ComplexD rotation_step(double theta) {
  const double half = std::sin(0.5 * theta);
  return {-2.0 * (half * half), std::sin(theta)};
}

// w*wp + w, the product formed first.
ComplexD advance(ComplexD w, ComplexD wp) {
  const ComplexD p = times(w, wp);
  return {p.re + w.re, p.im + w.im};
}

// Float factors, split into real and imaginary parts.
struct FloatTable {
  std::vector<float> re;
  std::vector<float> im;

  explicit FloatTable(std::size_t n) : re(n), im(n) {}
  void set(std::size_t k, ComplexD w) {
    re[k] = static_cast<float>(w.re);
    im[k] = static_cast<float>(w.im);
  }
};

// Butterfly factors of a row transform of length s: stage G (1, 2, 4, ...
// < s) uses entries G-1 .. 2G-2, entry G-1+m being w after m steps of the
// angle pi/(isign*G).
FloatTable butterfly_factors(std::size_t s, int isign) {
  FloatTable t(s > 0 ? s - 1 : 0);
  for (std::size_t g = 1; g < s; g *= 2) {
    const ComplexD wp = rotation_step(kPi / static_cast<double>(isign * static_cast<long>(g)));
    ComplexD w{1.0, 0.0};
    for (std::size_t m = 0; m < g; ++m) {
      t.set(g - 1 + m, w);
      w = advance(w, wp);
    }
  }
  return t;
}

// Column factors of the four-step method: entry (c-1)*P + r is
// exp(isign*2*pi*i*r*c/M) for c = 1 .. Q-1, reached by c steps of the
// recurrence from 1 (column 0 is left alone).
FloatTable column_factors(std::size_t m, std::size_t p, std::size_t q, int isign) {
  FloatTable t(p * (q - 1));
  for (std::size_t r = 0; r < p; ++r) {
    const double theta = static_cast<double>(isign * static_cast<long>(r)) * kTwoPi / static_cast<double>(m);
    const ComplexD wp = rotation_step(theta);
    ComplexD w{1.0, 0.0};
    for (std::size_t c = 1; c < q; ++c) {
      w = advance(w, wp);
      t.set((c - 1) * p + r, w);
    }
  }
  return t;
}

// The nn roots exp(2*pi*i*k/n), k = 0 .. nn-1, by doubling: the root of
// exponent k (a power of 2) comes from cos and sin, the ones between k and
// 2k are products with the roots already known. n < 0 gives the conjugates.
std::vector<ComplexD> roots_of_unity(long n, std::size_t nn) {
  std::vector<ComplexD> z(nn);
  if (nn == 0) return z;
  z[0] = {1.0, 0.0};
  const double theta = kTwoPi / static_cast<double>(n);
  for (std::size_t k = 1; k < nn; k *= 2) {
    const double angle = static_cast<double>(k) * theta;
    z[k] = {std::cos(angle), std::sin(angle)};
    const std::size_t end = std::min(2 * k, nn);
    for (std::size_t j = k + 1; j < end; ++j) z[j] = times(z[k], z[j - k]);
  }
  return z;
}

// Untangling factors i*w(k), w(k) = exp(isign*2*pi*i*k/N), k = 0 .. N/4-1.
FloatTable untangling_factors(std::size_t n, int isign) {
  const std::vector<ComplexD> w = roots_of_unity(isign * static_cast<long>(n), n / 4);
  FloatTable t(w.size());
  for (std::size_t k = 0; k < w.size(); ++k) t.set(k, {-w[k].im, w[k].re});
  return t;
}

// With j the bit reversal of i among n (a power of 2), the bit reversal of
// i + 1: add 1 at the top bit and carry downwards.
std::size_t next_reversed(std::size_t j, std::size_t n) {
  std::size_t bit = n / 2;
  while (bit >= 1 && (j & bit) != 0) {
    j ^= bit;
    bit /= 2;
  }
  return j | bit;
}

// reversed[i] is i with its log2(n) bits in reverse order.
std::vector<std::size_t> bit_reversed(std::size_t n) {
  std::vector<std::size_t> reversed(n);
  for (std::size_t i = 0, j = 0; i < n; ++i, j = next_reversed(j, n)) reversed[i] = j;
  return reversed;
}

// ---- Plans -----------------------------------------------------------------

// The split of a length-M complex transform into P rows and Q columns
// (M = P*Q): P = 2^ceil(0.5*ln(M)/0.693147). Because 0.693147 is slightly
// below ln 2, an even power M = 4^k gives P = 2^(k+1), Q = 2^(k-1)
// (M = 1024: 64 by 16); an odd power 2^(2k+1) gives P = 2^(k+1), Q = 2^k
// (M = 512: 32 by 16). M must be a power of 2.
struct FourStepShape {
  std::size_t rows;
  std::size_t cols;
};

FourStepShape four_step_shape(std::size_t m) {
  assert(m != 0 && (m & (m - 1)) == 0);
  const double exponent = std::ceil(0.5 * std::log(static_cast<double>(m)) / kLn2Low);
  const std::size_t rows = std::size_t{1} << static_cast<int>(exponent);
  return {rows, m / rows};
}

struct FourStepPlan {
  std::size_t p;
  std::size_t q;
  FloatTable along_rows;     // butterflies of the first pass, length Q
  FloatTable columns;        // the twiddle between the passes
  FloatTable along_columns;  // butterflies of the second pass, length P
  std::vector<std::size_t> reversed;  // bit-reversed order of 0 .. P-1

  FourStepPlan(std::size_t m, int isign) : FourStepPlan(m, four_step_shape(m), isign) {}

 private:
  FourStepPlan(std::size_t m, FourStepShape shape, int isign)
      : p(shape.rows),
        q(shape.cols),
        along_rows(butterfly_factors(q, isign)),
        columns(column_factors(m, p, q, isign)),
        along_columns(butterfly_factors(p, isign)),
        reversed(bit_reversed(p)) {}
};

struct RealPlan {
  FourStepPlan four;  // of length N/2
  FloatTable untangle;

  RealPlan(std::size_t n, int isign) : four(n / 2, isign), untangle(untangling_factors(n, isign)) {}
};

// The plans of a few (length, sign) pairs per thread, the oldest dropped
// first. A reference returned by get stays valid until the next get.
template <class Plan>
class PlanCache {
 public:
  const Plan& get(std::size_t n, int isign) {
    for (const auto& entry : entries_) {
      if (entry->n == n && entry->isign == isign) return entry->plan;
    }
    if (entries_.size() == kCachedPlans) entries_.erase(entries_.begin());
    entries_.push_back(std::make_unique<Entry>(n, isign));
    return entries_.back()->plan;
  }

 private:
  struct Entry {
    Entry(std::size_t n_, int isign_) : n(n_), isign(isign_), plan(n_, isign_) {}
    std::size_t n;
    int isign;
    Plan plan;
  };
  std::vector<std::unique_ptr<Entry>> entries_;
};

// ---- Kernels on split complex arrays ----------------------------------------

// Complex numbers held as two float arrays.
struct Split {
  float* re;
  float* im;
};

// Per-thread work space for two arrays of m complex numbers.
struct Workspace {
  Split a;
  Split b;
};

Workspace workspace(std::size_t m) {
  thread_local std::vector<float> buffer;
  if (buffer.size() < 4 * m) buffer.resize(4 * m);
  float* base = buffer.data();
  return {{base, base + m}, {base + 2 * m, base + 3 * m}};
}

// Column c of a column-major array of `rows` rows.
struct Columns {
  Split data;
  std::size_t rows;

  float* re(std::size_t c) const { return data.re + c * rows; }
  float* im(std::size_t c) const { return data.im + c * rows; }
};

// Puts the columns into bit-reversed order, exchanging pairs.
void bit_reverse_columns(Columns a, std::size_t cols) {
  for (std::size_t i = 0, j = 0; i < cols; ++i, j = next_reversed(j, cols)) {
    if (j > i) {
      std::swap_ranges(a.re(i), a.re(i) + a.rows, a.re(j));
      std::swap_ranges(a.im(i), a.im(i) + a.rows, a.im(j));
    }
  }
}

struct Factor {
  float re;
  float im;
};

// Factor m of the stage of half span g.
Factor stage_factor(const FloatTable& w, std::size_t g, std::size_t m) { return {w.re[g - 1 + m], w.im[g - 1 + m]}; }

// One radix-2 butterfly on one row: x, y <- x + w*y, x - w*y.
inline void butterfly(float& xr, float& xi, float& yr, float& yi, Factor w) {
  const float tr = w.re * yr - w.im * yi;
  const float ti = w.re * yi + w.im * yr;
  yr = xr - tr;
  yi = xi - ti;
  xr = xr + tr;
  xi = xi + ti;
}

// The leaf loops below take every array as a separate restrict pointer:
// that is what lets the compiler vectorise them down the rows.

// The butterflies of one stage on one pair of columns x, y, down all rows.
void single_stage(float* __restrict xr, float* __restrict xi, float* __restrict yr, float* __restrict yi,
                  std::size_t rows, Factor w) {
  for (std::size_t r = 0; r < rows; ++r) butterfly(xr[r], xi[r], yr[r], yi[r], w);
}

// Two consecutive stages g and 2g on four columns 0..3 that stand g apart
// (the first of them m places into its block of 4g): stage g pairs (0, 1)
// and (2, 3) with factor u, then stage 2g pairs (0, 2) with v0 and (1, 3)
// with v1. These four columns meet no others in either stage, so doing them
// in one sweep is the same arithmetic as two sweeps, with half the memory
// traffic.
void double_stage(float* __restrict r0, float* __restrict i0, float* __restrict r1, float* __restrict i1,
                  float* __restrict r2, float* __restrict i2, float* __restrict r3, float* __restrict i3,
                  std::size_t rows, Factor u, Factor v0, Factor v1) {
  for (std::size_t r = 0; r < rows; ++r) {
    float ar0 = r0[r], ai0 = i0[r], ar1 = r1[r], ai1 = i1[r];
    float ar2 = r2[r], ai2 = i2[r], ar3 = r3[r], ai3 = i3[r];
    butterfly(ar0, ai0, ar1, ai1, u);
    butterfly(ar2, ai2, ar3, ai3, u);
    butterfly(ar0, ai0, ar2, ai2, v0);
    butterfly(ar1, ai1, ar3, ai3, v1);
    r0[r] = ar0;
    i0[r] = ai0;
    r1[r] = ar1;
    i1[r] = ai1;
    r2[r] = ar2;
    i2[r] = ai2;
    r3[r] = ar3;
    i3[r] = ai3;
  }
}

// The butterfly stages of a row transform, on columns already in
// bit-reversed order; w holds the factors of every stage.
void butterfly_stages(Columns a, std::size_t cols, const FloatTable& w) {
  std::size_t g = 1;
  for (; 4 * g <= cols; g *= 4) {
    for (std::size_t block = 0; block < cols; block += 4 * g) {
      for (std::size_t m = 0; m < g; ++m) {
        const std::size_t c = block + m;
        double_stage(a.re(c), a.im(c), a.re(c + g), a.im(c + g), a.re(c + 2 * g), a.im(c + 2 * g),
                     a.re(c + 3 * g), a.im(c + 3 * g), a.rows, stage_factor(w, g, m), stage_factor(w, 2 * g, m),
                     stage_factor(w, 2 * g, m + g));
      }
    }
  }
  if (2 * g == cols) {
    for (std::size_t m = 0; m < g; ++m) {
      single_stage(a.re(m), a.im(m), a.re(m + g), a.im(m + g), a.rows, stage_factor(w, g, m));
    }
  }
}

// Transforms every row of a (rows by cols) along the row.
void fourrow_split(Columns a, std::size_t cols, const FloatTable& w) {
  bit_reverse_columns(a, cols);
  butterfly_stages(a, cols, w);
}

// Four-step transform of the M points in a; the result, in natural order,
// is left in b (a is overwritten).
void four1_split(Split a, Split b, const FourStepPlan& plan) {
  const std::size_t p = plan.p;
  const std::size_t q = plan.q;
  fourrow_split({a, p}, q, plan.along_rows);
  // Twiddle and transpose in one sweep: element (r, c) of the P-by-Q array
  // becomes element (c, r) of the Q-by-P one, and that array's columns go
  // straight to their bit-reversed places for the second pass, column
  // rev(r) receiving row r. The sweep goes by tiles of destination columns
  // and source columns, so that at large lengths the lines it touches fit
  // in the cache and do not fall into a few sets, as power-of-2 strides
  // would make them.
  const std::size_t* reversed = plan.reversed.data();
  for (std::size_t d0 = 0; d0 < p; d0 += kTile) {
    const std::size_t d1 = std::min(d0 + kTile, p);
    for (std::size_t c0 = 0; c0 < q; c0 += kTile) {
      const std::size_t c1 = std::min(c0 + kTile, q);
      for (std::size_t d = d0; d < d1; ++d) {
        const std::size_t r = reversed[d];
        float* yr = b.re + q * d;
        float* yi = b.im + q * d;
        std::size_t c = c0;
        if (c == 0) {  // column 0 has no twiddle
          yr[0] = a.re[r];
          yi[0] = a.im[r];
          c = 1;
        }
        for (; c < c1; ++c) {
          const float xr = a.re[r + p * c];
          const float xi = a.im[r + p * c];
          const float wr = plan.columns.re[(c - 1) * p + r];
          const float wi = plan.columns.im[(c - 1) * p + r];
          yr[c] = xr * wr - xi * wi;
          yi[c] = xr * wi + xi * wr;
        }
      }
    }
  }
  butterfly_stages({b, q}, p, plan.along_columns);
}

// Separates (forward) or joins (inverse) the transforms of the even and odd
// reals, for the pairs (k, M-k), k = 1 .. N/4-1. Each pair is read before it
// is written and no two pairs share an element, so one pass suffices. The
// lower and upper halves come as separate pointers, lo[k] and hi[-k] (hi
// pointing at element M), so that the compiler can see this and vectorise.
// Element N/4 is its own partner and stays as it is.
void untangle_pairs(float* __restrict lo_re, float* __restrict lo_im, float* __restrict hi_re,
                    float* __restrict hi_im, const float* __restrict wr, const float* __restrict wi,
                    std::ptrdiff_t quarter, float q) {
  for (std::ptrdiff_t k = 1; k < quarter; ++k) {
    const float er = 0.5f * (lo_re[k] + hi_re[-k]);
    const float ei = 0.5f * (lo_im[k] - hi_im[-k]);
    const float dr = q * (lo_re[k] - hi_re[-k]);
    const float di = q * (lo_im[k] + hi_im[-k]);
    const float tr = wr[k] * dr - wi[k] * di;
    const float ti = wr[k] * di + wi[k] * dr;
    lo_re[k] = er + tr;
    lo_im[k] = ei + ti;
    hi_re[-k] = er - tr;
    hi_im[-k] = -(ei - ti);
  }
}

void untangle(Split z, std::size_t half, const FloatTable& w, float q) {
  untangle_pairs(z.re, z.im, z.re + half, z.im + half, w.re.data(), w.im.data(),
                 static_cast<std::ptrdiff_t>(half / 2), q);
}

void load_reals(std::span<const double> data, Split z) {
  for (std::size_t k = 0; k < data.size() / 2; ++k) {
    z.re[k] = static_cast<float>(data[2 * k]);
    z.im[k] = static_cast<float>(data[2 * k + 1]);
  }
}

void store_reals(Split z, std::span<double> data) {
  for (std::size_t k = 0; k < data.size() / 2; ++k) {
    data[2 * k] = z.re[k];
    data[2 * k + 1] = z.im[k];
  }
}

// realft_sp once the length is checked and the plan and work space are at
// hand.
void real_transform(std::span<double> data, const RealPlan& plan, Workspace work, int isign) {
  const std::size_t half = data.size() / 2;
  load_reals(data, work.a);
  Split z = work.a;
  if (isign == kForward) {
    four1_split(work.a, work.b, plan.four);
    z = work.b;
    untangle(z, half, plan.untangle, -0.5f);
    const float a = z.re[0];
    const float b = z.im[0];
    z.re[0] = a + b;
    z.im[0] = a - b;
  } else {
    untangle(z, half, plan.untangle, 0.5f);
    const float a = z.re[0];
    const float b = z.im[0];
    z.re[0] = 0.5f * (a + b);
    z.im[0] = 0.5f * (a - b);
    four1_split(work.a, work.b, plan.four);
    z = work.b;
  }
  store_reals(z, data);
}

// The transform gets a second, AVX2 copy, with everything it calls inlined
// into it, taken from x86-64-v3 up. It does the very same float operations
// on 8 lanes instead of 4: AVX2 brings no fused multiply-add, so nothing is
// contracted and the results are bit-identical to the plain x86-64 copy.
NUMERICS_FLATTEN void real_baseline(std::span<double> data, const RealPlan& plan, Workspace work, int isign) {
  real_transform(data, plan, work, isign);
}

NUMERICS_FLATTEN __attribute__((target("avx2"))) void real_avx2(std::span<double> data, const RealPlan& plan,
                                                                 Workspace work, int isign) {
  real_transform(data, plan, work, isign);
}

[[maybe_unused]] bool is_direction(int isign) { return isign == kForward || isign == kInverse; }

}  // namespace

void realft_sp(std::span<double> data, int isign) {
  assert(is_direction(isign));
  const std::size_t n = data.size();
  require_power_of_two(n, "realft_sp");
  if (n < 2) assertion_failed("n must be at least 2 in realft_sp");
  const std::size_t half = n / 2;
  thread_local PlanCache<RealPlan> plans;
  const RealPlan* plan = nullptr;
  Workspace work{};
  obtaining([&] {
    plan = &plans.get(n, isign);
    work = workspace(half);
  });
  (available(VectorUnit::x86_64_v3) ? real_avx2 : real_baseline)(data, *plan, work, isign);
}

}  // namespace numerics
