#include "Pi.h"

#include <cmath>

namespace qm {

const float kPi = 4.0F * std::atan(1.0F);

} // namespace qm
