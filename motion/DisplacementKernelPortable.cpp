// The kernels every processor of its kind can run: one lane of standard C++ anywhere, four SSE2
// lanes on x86-64 (where SSE2 is always present).
#include "DisplacementLanes.h"

#include <cmath>

#if defined(QUELMAR_X86_64_KERNELS)
#include <emmintrin.h>
#endif

namespace qm::kernels {
namespace {

struct ScalarLanes {
    using Vector = float;
    static constexpr std::size_t kWidth = 1;

    static Vector load(const float* source) { return *source; }
    static void store(float* target, Vector value) { *target = value; }
    static Vector broadcast(float value) { return value; }
    static Vector zero() { return 0.0F; }
    static Vector add(Vector a, Vector b) { return a + b; }
    static Vector subtract(Vector a, Vector b) { return a - b; }
    static Vector multiply(Vector a, Vector b) { return a * b; }
    static Vector divide(Vector a, Vector b) { return a / b; }
    static Vector squareRoot(Vector a) { return std::sqrt(a); }
    static Vector keepMaximum(Vector stored, Vector candidate) {
        return stored > candidate ? stored : candidate;
    }
    static Vector absolute(Vector a) { return std::fabs(a); }
};

#if defined(QUELMAR_X86_64_KERNELS)
struct Sse2Lanes {
    using Vector = __m128;
    static constexpr std::size_t kWidth = 4;

    static Vector load(const float* source) { return _mm_loadu_ps(source); }
    static void store(float* target, Vector value) { _mm_storeu_ps(target, value); }
    static Vector broadcast(float value) { return _mm_set1_ps(value); }
    static Vector zero() { return _mm_setzero_ps(); }
    static Vector add(Vector a, Vector b) { return _mm_add_ps(a, b); }
    static Vector subtract(Vector a, Vector b) { return _mm_sub_ps(a, b); }
    static Vector multiply(Vector a, Vector b) { return _mm_mul_ps(a, b); }
    static Vector divide(Vector a, Vector b) { return _mm_div_ps(a, b); }
    static Vector squareRoot(Vector a) { return _mm_sqrt_ps(a); }
    // MAXPS returns its first operand when it is greater and its second otherwise, NaNs
    // included: exactly stored > candidate ? stored : candidate.
    static Vector keepMaximum(Vector stored, Vector candidate) {
        return _mm_max_ps(stored, candidate);
    }
    static Vector absolute(Vector a) {
        return _mm_and_ps(a, _mm_castsi128_ps(_mm_set1_epi32(0x7FFFFFFF)));
    }
};
#endif

} // namespace

void accumulatePortable(const DisplacementBatch& batch, const DisplacementTargets& targets,
                        const DisplacementScratch& scratch) {
    accumulateDisplacement<ScalarLanes>(batch, targets, scratch);
}

#if defined(QUELMAR_X86_64_KERNELS)
void accumulateSse2(const DisplacementBatch& batch, const DisplacementTargets& targets,
                    const DisplacementScratch& scratch) {
    accumulateDisplacement<Sse2Lanes>(batch, targets, scratch);
}
#endif

} // namespace qm::kernels
