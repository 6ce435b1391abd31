#include "low/low.h"
#ifdef PROBE_INCLUDE
#include "high/high.h"
#endif
int low_value(void) { return 1; }
