// cpp-httplib's server with the connection handling the preview needs on a
// machine it shares: each connection is served by a thread of its own (up to
// a bound, so that pages waiting for a newer state never starve a request
// for the page; when all are taken, connections waiting idle for a request
// of theirs make room), a request must arrive whole within a time limit and a byte
// limit (a client sending a header line now and then is cut off), an idle
// kept-alive connection is closed after a while, and stopping closes every
// open connection at once instead of waiting for slow clients.  The
// listening socket is exclusive: a second server on the same port fails
// instead of sharing it.
#pragma once

#include <httplib.h>

#include <atomic>
#include <cstddef>
#include <map>
#include <mutex>
#include <string>

struct HttpLimits {
    int request_ms = 5000;  // a request's head and body arrive within this
    int idle_ms = 5000;     // a kept-alive connection waits this long for its next request
    int write_ms = 5000;    // one write waits this long for the client to take it
    std::size_t head_bytes = 64 * 1024;  // request line and headers
    std::size_t body_bytes = 4096;       // a larger body is refused (413)
    int connections = 128;               // served at once; more wait for a free thread
    int requests_per_connection = 1000;
};

class GuardedHttpServer : public httplib::Server {
public:
    explicit GuardedHttpServer(const HttpLimits& limits);

    // Binds to address:port (0: any free port) with room for many waiting
    // connections (httplib's backlog of 5 drops the rest, which then wait a
    // second to try again).  The port bound, or -1.
    int bind_port(const std::string& address, int port);

    // Shuts down every open connection and refuses new ones: what their
    // threads are reading or writing fails at once.
    void close_connections();
    // Connections being served now (for the tests).
    std::size_t open_connections() const;

    // For a handler before the body is read: answers 413 for a body over
    // the limit and 411 for one of unknown length, without reading it, and
    // closes the connection after the reply.  True when it answered.
    bool refuse_body(const httplib::Request& req, httplib::Response& res) const;
    // The connection of the request being handled on this thread closes
    // after its reply.
    static void close_after_reply();

    const HttpLimits& limits() const { return limits_; }

private:
    bool process_and_close_socket(socket_t sock) override;
    bool enter(socket_t sock);
    void set_idle(socket_t sock, bool idle);
    void leave(socket_t sock);
    void drop_idle_connections();

    const HttpLimits limits_;
    mutable std::mutex mutex_;
    std::map<socket_t, bool> open_;  // each open connection: whether it waits for a request
    std::atomic<std::size_t> queued_{0};  // connections waiting for a thread
    bool closing_ = false;
};

// Whether address:port is taken by another socket (EADDRINUSE on a bind).
bool port_in_use(const std::string& address, int port);
