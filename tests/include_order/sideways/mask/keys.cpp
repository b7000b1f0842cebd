// A family that may use color but not another family.
#include "color/convert.h"
#include "draw/blend.h"
