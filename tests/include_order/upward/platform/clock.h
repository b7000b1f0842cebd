// A platform header that reaches up into the host.
#pragma once

#include "host/state.h"
