// The HTTP side of `quorvel preview`: the page, and a small JSON interface
// to the session (cpp-httplib, nlohmann::json).
//
//   GET  /                      the page (web/, built in)
//   GET  /api/state?after=V     the state as JSON; with `after`, waits (up
//                               to `wait` ms, default 20000) for a newer one
//                               ("poll_refused" when too many wait already)
//   GET  /api/frame?kind=output|input&format=png|jpeg&fit_w=W&fit_h=H
//                               the last finished frame's picture: PNG at
//                               its own size, JPEG scaled down to fit W x H
//   GET  /api/pixel?x=X&y=Y&kind=output|input
//                               one pixel of it: Y, Cb, Cr
//   POST /api/track {"index": I, "value": V}
//   POST /api/check {"index": I, "value": 0|1}
//   POST /api/frame {"frame": N}
//   POST /api/play  {"playing": true|false}
//   POST /api/click {"x": X, "y": Y}   the colour-information text
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "preview/preview_http.h"
#include "preview/preview_session.h"

// The state as the page reads it, with the tracks and check boxes named and
// bounded by the plug-in's own table.
nlohmann::json preview_state_json(const FILTER& table, const PreviewState& state,
                                  const PreviewFrame* frame);

// How many pages may wait for a newer state at once: from one address and
// in all.  The others are answered at once and try again a little later.
struct PollLimits {
    int per_client = 8;
    int in_all = 32;
};

class PreviewServer {
public:
    explicit PreviewServer(PreviewSession& session, const HttpLimits& http = {},
                           const PollLimits& polls = {});
    ~PreviewServer();
    PreviewServer(const PreviewServer&) = delete;
    PreviewServer& operator=(const PreviewServer&) = delete;

    // Listens on address:port (port 0: any free one); false with a message.
    bool bind(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    // Serves on a thread of its own until stop().
    void start();
    // Closes every connection and ends the server.  The session is told to
    // stop first, so that no page still waits for it.
    void stop();

    std::size_t open_connections() const { return server_->open_connections(); }

private:
    void add_routes();
    bool take_poll(const std::string& client);
    void give_poll(const std::string& client);

    PreviewSession& session_;
    std::unique_ptr<GuardedHttpServer> server_;
    std::thread thread_;
    int port_ = 0;
    bool loopback_only_ = true;

    const PollLimits poll_limits_;
    std::mutex polls_mutex_;
    std::map<std::string, int> polls_;  // waiting pages by client address
    int polls_in_all_ = 0;
};
