#include "preview/preview_command.h"

#include <pthread.h>

#include <csignal>
#include <cstdio>

#include "edit.h"
#include "preview/preview_server.h"
#include "preview/preview_session.h"

int run_preview(const Options& options, PluginHost& host) {
    Edit edit;
    if (const int status = open_input(options, &edit)) return status;
    if (const int status = choose_frames(options, &edit)) return status;
    if (const int status = find_script(options, &edit)) return status;
    // Every change computes the current frame again from the input.
    if (!edit.source->random_access() && !edit.source->endless())
        return usage_error(
            "the preview needs an input it can go back in (a file, pattern: or blank:), not " +
            edit.input);
    if (!is_file(edit.script))
        print_error("no script " + edit.script +
                    " yet: frames pass through unchanged until it is saved");
    if (const int status = apply_script_limits(options, edit, host)) return status;

    // The server's and the editor's threads leave the ending signals to
    // this one, which waits for them.
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    PreviewSession session(host, edit, options.tracks, options.answer);
    PreviewServer server(session);
    std::string error;
    if (!server.bind(options.bind, options.port, &error)) {
        print_error(error);
        return 1;
    }
    session.start();
    server.start();
    const bool local =
        options.bind == "127.0.0.1" || options.bind == "localhost" || options.bind == "::1";
    const std::string shown =
        options.bind == "0.0.0.0" || options.bind == "::" ? "127.0.0.1" : options.bind;
    std::printf("quorvel preview: %s, script %s\n", edit.input.c_str(), edit.script.c_str());
    std::printf("open http://%s:%d/ in a web browser\n", shown.c_str(), server.port());
    std::printf("(listening on %s:%d, %s; Ctrl+C ends the preview)\n", options.bind.c_str(),
                server.port(),
                local ? "reachable from this machine only" : "reachable from other machines too");
    std::fflush(stdout);

    int signal = 0;
    sigwait(&ending, &signal);
    // A frame still running in the plug-in's worker ends at once.
    host.interrupt();
    // The editor first: its end releases the pages still waiting for a
    // newer state, which the server's end waits for.
    session.stop();
    server.stop();
    std::printf("quorvel preview: ended\n");
    return 0;
}
