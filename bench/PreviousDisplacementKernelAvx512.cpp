// Sixteen lanes of AVX-512F. Compiled with AVX-512F enabled, so it may only run where the
// processor and the system support it (see DisplacementInstructionSet). The kernel before rows
// shared their products; see PreviousDisplacementKernel.h.
#include "PreviousDisplacementKernel.h"

#include <immintrin.h>

// Several AVX-512 intrinsics pass _mm512_undefined_ps() for the lanes their all-ones mask never
// keeps; GCC 12 takes that for a read of an uninitialised value once they are inlined here.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace qm::bench {
namespace {

struct Avx512Lanes {
    using Vector = __m512;
    static constexpr std::size_t kWidth = 16;

    static Vector load(const float* source) { return _mm512_loadu_ps(source); }
    static void store(float* target, Vector value) { _mm512_storeu_ps(target, value); }
    static Vector broadcast(float value) { return _mm512_set1_ps(value); }
    static Vector zero() { return _mm512_setzero_ps(); }
    static Vector add(Vector a, Vector b) { return _mm512_add_ps(a, b); }
    static Vector subtract(Vector a, Vector b) { return _mm512_sub_ps(a, b); }
    static Vector multiply(Vector a, Vector b) { return _mm512_mul_ps(a, b); }
    static Vector divide(Vector a, Vector b) { return _mm512_div_ps(a, b); }
    static Vector squareRoot(Vector a) { return _mm512_sqrt_ps(a); }
    // VMAXPS returns its first operand when it is greater and its second otherwise, NaNs
    // included: exactly stored > candidate ? stored : candidate.
    static Vector keepMaximum(Vector stored, Vector candidate) {
        return _mm512_max_ps(stored, candidate);
    }
    // Clears the sign bit (AVX-512F alone has no floating-point AND).
    static Vector absolute(Vector a) { return _mm512_abs_ps(a); }
};

} // namespace

void accumulatePreviouslyAvx512(const PreviousBatch& batch,
                                const kernels::DisplacementTargets& targets) {
    accumulatePreviously<Avx512Lanes>(batch, targets);
}

} // namespace qm::bench
