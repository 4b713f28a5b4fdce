// A random source whose sequence is fixed by its seed on every platform and standard library:
// xoshiro256** seeded through splitmix64, with its own uniform and normal conversions (the
// standard library's distributions differ between implementations).
#pragma once

#include <cmath>
#include <cstdint>

namespace qm::tools {

class DeterministicRandom {
public:
    explicit DeterministicRandom(std::uint64_t seed) {
        for (auto& word : state_) {
            seed += 0x9E3779B97F4A7C15ULL;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next() {
        const std::uint64_t result = rotateLeft(state_[1] * 5, 7) * 9;
        const std::uint64_t t = state_[1] << 17;
        state_[2] ^= state_[0];
        state_[3] ^= state_[1];
        state_[1] ^= state_[2];
        state_[0] ^= state_[3];
        state_[2] ^= t;
        state_[3] = rotateLeft(state_[3], 45);
        return result;
    }

    // Uniform in [0, 1), 53 bits.
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }

    double uniform(double low, double high) { return low + (high - low) * uniform(); }

    // An integer in [0, count).
    std::uint64_t below(std::uint64_t count) {
        return static_cast<std::uint64_t>(uniform() * static_cast<double>(count));
    }

    // Standard normal by Box-Muller; both values of a pair are used.
    double normal() {
        if (hasSpare_) {
            hasSpare_ = false;
            return spare_;
        }
        const double u1 = 1.0 - uniform(); // (0, 1]: the logarithm stays finite
        const double u2 = uniform();
        const double radius = std::sqrt(-2.0 * std::log(u1));
        const double angle = 2.0 * 3.14159265358979323846 * u2;
        spare_ = radius * std::sin(angle);
        hasSpare_ = true;
        return radius * std::cos(angle);
    }

    // Approximately normal (sum of four uniforms, variance scaled to 1): cheap enough for every
    // sample of a large run, and bounded, so no sample lands far out in the tails.
    float cheapNormal() {
        const std::uint64_t bits = next();
        const auto part = [bits](int shift) {
            return static_cast<float>((bits >> shift) & 0xFFFFU) * (1.0F / 65536.0F);
        };
        // Sum of four U(0,1) has mean 2 and variance 1/3.
        return (part(0) + part(16) + part(32) + part(48) - 2.0F) * 1.7320508F;
    }

private:
    static std::uint64_t rotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t state_[4]{};
    double spare_ = 0.0;
    bool hasSpare_ = false;
};

} // namespace qm::tools
