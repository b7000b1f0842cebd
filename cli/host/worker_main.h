// The host program as the plug-in's worker (see plugin_worker.h): main()
// hands over when its first argument is worker::kWorkerOption.
#pragma once

int run_plugin_worker(int argc, char** argv);
