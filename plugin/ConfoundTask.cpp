// The "confound" task routine of quelmar.
#include "quelmar.h"

void quelmar::runConfoundTask() {}
