// The vector units the numerics are compiled for, and the one this
// processor has.
//
// A kernel that gains from a newer unit is compiled once more for it and
// picks its copy by vectorUnit(), found once for the process so that every
// thread takes the same. The units are ordered: each has every instruction
// of those before it, so a kernel without a copy for the widest unit takes
// the copy for the next below. A copy for a newer unit does the same
// operations in the same order as the baseline (no fused multiply-add that
// the baseline lacks), so it gives the same bits, except where a kernel's
// header says otherwise (the Gaussian sums on AVX-512).
#pragma once

// On a copy for a newer unit: inline everything the kernel calls, so that
// none of it runs as the baseline code. (Clang does not take the hint
// together with a target.)
#if defined(__clang__)
#define NUMERICS_FLATTEN
#else
#define NUMERICS_FLATTEN __attribute__((flatten))
#endif

namespace numerics {

enum class VectorUnit {
  baseline,   // any x86-64
  x86_64_v3,  // AVX2, BMI1/2, LZCNT, FMA and the rest of that level
  avx512,     // AVX-512F on top of x86-64-v3
};

namespace detail {
inline VectorUnit detectVectorUnit() {
#if defined(__x86_64__) && defined(__GNUC__)
#if defined(__clang__)
  // Clang knows no name for the level; these imply the rest of it on every
  // processor made.
  const bool v3 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi") &&
                  __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("fma");
#else
  const bool v3 = __builtin_cpu_supports("x86-64-v3");
#endif
  if (v3 && __builtin_cpu_supports("avx512f")) return VectorUnit::avx512;
  if (v3) return VectorUnit::x86_64_v3;
#endif
  return VectorUnit::baseline;
}
}  // namespace detail

// The widest unit of this processor.
inline VectorUnit vectorUnit() {
  static const VectorUnit unit = detail::detectVectorUnit();
  return unit;
}

// Whether this processor has every instruction of unit.
inline bool available(VectorUnit unit) { return unit <= vectorUnit(); }

}  // namespace numerics
