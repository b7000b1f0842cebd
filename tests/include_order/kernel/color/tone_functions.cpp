// Bindings may use the script.
#include "color/tone.h"
#include "script/binding.h"
