// The "displacement" task routine of quelmar.
#include "quelmar.h"

void quelmar::runDisplacementTask() {}
