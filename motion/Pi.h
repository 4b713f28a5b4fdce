#pragma once

namespace qm {

// π in single precision, computed once when the library is loaded as 4 · atan(1), so that
// degree-to-radian conversions round exactly as the host's own motion code does.
extern const float kPi;

// Float product, then float division: the rounding the motion estimates were made with. Every
// conversion of the program goes through here, so rotations in radians agree wherever they
// appear (transforms, framewise displacement, the confound table).
inline float degreesToRadians(float degrees) {
    return (kPi * degrees) / 180.0F;
}

} // namespace qm
