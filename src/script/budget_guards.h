// The places where Lua 5.1 runs a script's code with its debug hooks off,
// which the frame's budget (a count hook) cannot reach, closed off:
//
// - xpcall's error handler.  An error raised inside a hook (the budget error
//   itself) runs the handler with hooks off, so a handler that loops would
//   never end.  Once the budget is spent the handler is skipped and the
//   error goes on unchanged.
// - Finalisers (__gc).  Lua runs them with hooks off, also while the state
//   is closed.  A proxy's finaliser (newproxy) runs in a coroutine of its
//   own, where the hooks are on: one that runs past the budget ends with the
//   budget error; any other error in it is logged and the script goes on.
//   The metatable of file handles is protected, so a script cannot put a
//   finaliser of its own there.  (Under the sandbox newproxy is gone.)
//
// And two library functions that can loop in native code, where no hook
// fires, far beyond any budget: string.rep (an empty string repeated two
// billion times) and table.sort (quadratic on some orders without a
// comparison in Lua).  Both look at the deadline as they go.
#pragma once

#include "script/lua.h"

// Installs the guards into a state whose standard libraries are open.
// Raises Lua errors (run it protected).
void install_budget_guards(lua_State* L);
