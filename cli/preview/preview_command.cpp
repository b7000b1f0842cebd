#include "preview/preview_command.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <thread>

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
    // Ended within a second whatever the script does.  The pages are
    // released first, then every connection is closed; the editor ends
    // after its frame.  A frame that does not end in time (a script no
    // budget stops) is abandoned: the process ends without unloading the
    // plug-in, which that frame is still inside.
    const auto ending_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(900);
    std::thread([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(950));
        std::fputs("quorvel preview: ended (its shutdown took too long)\n", stdout);
        std::fflush(stdout);
        std::_Exit(0);
    }).detach();
    // A frame running in the plug-in's worker process ends at once.
    host.interrupt();
    session.request_stop();
    server.stop();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        ending_at - std::chrono::steady_clock::now());
    if (!session.wait_stopped(static_cast<int>(std::max<long long>(left.count(), 0)))) {
        std::printf("quorvel preview: ended; the script was still running its frame\n");
        std::fflush(stdout);
        std::_Exit(0);
    }
    std::printf("quorvel preview: ended\n");
    return 0;
}
