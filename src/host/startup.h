// What the plug-in does once, when it is loaded into a process.
#pragma once

namespace host {

// Appends the plug-in's own folder to PATH, so that libraries shipped beside
// the plug-in are found.
void library_startup();

}  // namespace host
