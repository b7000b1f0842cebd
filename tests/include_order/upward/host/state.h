// The host state that platform/clock.h must not see.
#pragma once
