#include "high/high.h"

#include "low/low.h"
int high_value(void) { return low_value() + 1; }
