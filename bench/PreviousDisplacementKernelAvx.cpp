// Eight lanes of AVX. Compiled with AVX enabled, so it may only run where the processor and the
// system support AVX (see DisplacementInstructionSet). The kernel before rows shared their
// products; see PreviousDisplacementKernel.h.
#include "PreviousDisplacementKernel.h"

#include <immintrin.h>

namespace qm::bench {
namespace {

struct AvxLanes {
    using Vector = __m256;
    static constexpr std::size_t kWidth = 8;

    static Vector load(const float* source) { return _mm256_loadu_ps(source); }
    static void store(float* target, Vector value) { _mm256_storeu_ps(target, value); }
    static Vector broadcast(float value) { return _mm256_set1_ps(value); }
    static Vector zero() { return _mm256_setzero_ps(); }
    static Vector add(Vector a, Vector b) { return _mm256_add_ps(a, b); }
    static Vector subtract(Vector a, Vector b) { return _mm256_sub_ps(a, b); }
    static Vector multiply(Vector a, Vector b) { return _mm256_mul_ps(a, b); }
    static Vector divide(Vector a, Vector b) { return _mm256_div_ps(a, b); }
    static Vector squareRoot(Vector a) { return _mm256_sqrt_ps(a); }
    // VMAXPS returns its first operand when it is greater and its second otherwise, NaNs
    // included: exactly stored > candidate ? stored : candidate.
    static Vector keepMaximum(Vector stored, Vector candidate) {
        return _mm256_max_ps(stored, candidate);
    }
    static Vector absolute(Vector a) {
        return _mm256_and_ps(a, _mm256_castsi256_ps(_mm256_set1_epi32(0x7FFFFFFF)));
    }
};

} // namespace

void accumulatePreviouslyAvx(const PreviousBatch& batch,
                             const kernels::DisplacementTargets& targets) {
    accumulatePreviously<AvxLanes>(batch, targets);
}

} // namespace qm::bench
