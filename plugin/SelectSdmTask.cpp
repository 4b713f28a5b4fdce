// The "select_3dmcsdm" task routine of quelmar.
#include "quelmar.h"

void quelmar::runSelectSdmTask() {}
