// The HTTP side of `quorvel preview`: the page, and a small JSON interface
// to the session (cpp-httplib, nlohmann::json).
//
//   GET  /                      the page (web/, built in)
//   GET  /api/state?after=V     the state as JSON; with `after`, waits (up
//                               to `wait` ms, default 20000) for a newer one
//   GET  /api/frame?kind=output|input&format=png|jpeg
//                               the last finished frame's picture
//   GET  /api/pixel?x=X&y=Y&kind=output|input
//                               one pixel of it: Y, Cb, Cr
//   POST /api/track {"index": I, "value": V}
//   POST /api/check {"index": I, "value": 0|1}
//   POST /api/frame {"frame": N}
//   POST /api/play  {"playing": true|false}
//   POST /api/click {"x": X, "y": Y}   the colour-information text
#pragma once

#include <memory>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "preview/preview_session.h"

namespace httplib {
class Server;
}

// The state as the page reads it, with the tracks and check boxes named and
// bounded by the plug-in's own table.
nlohmann::json preview_state_json(const FILTER& table, const PreviewState& state,
                                  const PreviewFrame* frame);

class PreviewServer {
public:
    explicit PreviewServer(PreviewSession& session);
    ~PreviewServer();
    PreviewServer(const PreviewServer&) = delete;
    PreviewServer& operator=(const PreviewServer&) = delete;

    // Listens on address:port (port 0: any free one); false with a message.
    bool bind(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    // Serves on a thread of its own until stop().
    void start();
    void stop();

private:
    void add_routes();

    PreviewSession& session_;
    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    bool loopback_only_ = true;
};
