// quorvel: runs a Quorvel script over video from the command line.
//
// It loads build/quorvel.auf the way the video editor loads a filter
// plug-in, feeds it frames from a video file, a pipe or a generated
// picture, and writes the filtered frames out.  See quorvel run --help.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "docs/doc_commands.h"
#include "docs/function_listing.h"
#include "docs/script_messages.h"
#include "edit.h"
#include "host/host_os.h"
#include "host/plugin_host.h"
#include "host/worker_main.h"
#include "host/worker_protocol.h"
#include "media/media_libraries.h"
#include "options.h"
#include "preview/preview_command.h"
#include "run/run_command.h"

#ifndef QUORVEL_VERSION
#define QUORVEL_VERSION "0"
#endif

namespace {

std::string version_text(const PluginHost* host, const std::string& load_error) {
    std::string text = "quorvel " QUORVEL_VERSION "\n";
    text += "plug-in: " +
            (host ? std::string(host->table().information ? host->table().information : "?") +
                        " (" + plugin_path() + ")"
                  : "not loaded (" + load_error + ")") +
            "\n";
    return text + media_libraries_text() + "\n";
}

}  // namespace

int main(int argc, char** argv) {
    // Started by the host program itself to run the plug-in apart.
    if (argc > 1 && std::string(argv[1]) == worker::kWorkerOption)
        return run_plugin_worker(argc, argv);
    host_os::binary_standard_streams();
    quiet_libav_log();
    // The plug-in's filter table says which tracks there are, with their
    // ranges and defaults, so it is loaded before the options are read.
    PluginHost host;
    std::string load_error;
    const bool loaded = host.load(plugin_path(), &load_error);

    Options options;
    std::string error;
    if (!parse_options(argc - 1, argv + 1, loaded ? &host.table() : nullptr, &options, &error,
                       version_text(loaded ? &host : nullptr, load_error)))
        return usage_error(error);
    switch (options.command) {
        case Command::print:
            std::fputs(options.text.c_str(), stdout);
            return 0;
        case Command::functions:
            return list_functions();
        case Command::help:
            return show_function(options.topic);
        case Command::run:
        case Command::preview:
            break;
    }
    if (!loaded) {
        print_error(load_error);
        return 1;
    }
    // The line under "wrong number of argument" names the counts the
    // plug-in's own table accepts.
    std::string counts_error;
    use_plugin_argument_counts(plugin_functions(plugin_path(), &counts_error));
    try {
        return options.command == Command::preview ? run_preview(options, host)
                                                   : run_command(options, host);
    } catch (const std::bad_alloc&) {
        print_error("out of memory");
    } catch (const std::exception& e) {
        print_error(e.what());
    }
    return 1;
}
