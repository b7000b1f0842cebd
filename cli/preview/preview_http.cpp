#include "preview/preview_http.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kThreadStack = std::size_t{1} << 20;  // a connection's thread stack
constexpr int kBacklog = 128;  // connections the system holds until they are accepted

// Waits up to `ms` for `events` on the socket; true when they came (or the
// socket was shut down, which the next read or write then reports).
bool wait_for(int sock, short events, int ms) {
    pollfd p{sock, events, 0};
    while (true) {
        const int ready = poll(&p, 1, std::max(ms, 0));
        if (ready >= 0) return ready > 0;
        if (errno != EINTR) return false;
    }
}

// Set by a handler: the connection it serves closes after the reply.
thread_local bool close_after_this_reply = false;

int ms_until(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

// Threads for connections, made as they are needed up to a bound and kept
// for the next ones.  A connection waits for a thread only when all of them
// are taken, and then `on_full` is told, to free some.  Small stacks: the handlers are shallow, and a hundred threads
// of the system's default 8 MiB would reserve most of a 32-bit-sized
// address space for nothing.
class ConnectionThreads : public httplib::TaskQueue {
public:
    // `queued` counts the connections waiting for a thread.
    ConnectionThreads(int most, std::function<void()> on_full, std::atomic<std::size_t>* queued)
        : most_(static_cast<std::size_t>(std::max(most, 1))),
          on_full_(std::move(on_full)),
          queued_(queued) {}
    ~ConnectionThreads() override { shutdown(); }

    void enqueue(std::function<void()> fn) override {
        bool full = false, here = false;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (jobs_.size() + 1 > waiting_ && threads_.size() < most_) {
                pthread_attr_t attr;
                pthread_attr_init(&attr);
                pthread_attr_setstacksize(&attr, kThreadStack);
                pthread_t thread;
                if (pthread_create(&thread, &attr, &ConnectionThreads::run, this) == 0)
                    threads_.push_back(thread);
                pthread_attr_destroy(&attr);
            }
            // No thread at all (the system gives none): served here, late
            // rather than never.
            here = threads_.empty();
            if (!here) {
                jobs_.push_back(std::move(fn));
                *queued_ = jobs_.size();
                full = jobs_.size() > waiting_ && threads_.size() >= most_;
            }
        }
        if (here) {
            fn();
            return;
        }
        wake_.notify_one();
        if (full && on_full_) on_full_();
    }

    void shutdown() override {
        std::vector<pthread_t> threads;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
            threads.swap(threads_);
        }
        wake_.notify_all();
        for (pthread_t thread : threads) pthread_join(thread, nullptr);
    }

private:
    static void* run(void* self) {
        static_cast<ConnectionThreads*>(self)->work();
        return nullptr;
    }

    void work() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (true) {
            ++waiting_;
            wake_.wait(lock, [&] { return !jobs_.empty() || stopping_; });
            --waiting_;
            if (jobs_.empty()) return;  // stopping, nothing left
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            *queued_ = jobs_.size();
            lock.unlock();
            job();
            lock.lock();
        }
    }

    const std::size_t most_;
    const std::function<void()> on_full_;
    std::atomic<std::size_t>* const queued_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    std::vector<pthread_t> threads_;
    std::size_t waiting_ = 0;
    bool stopping_ = false;
};

// One connection's socket as httplib reads and writes it: buffered reads
// that give up at the request's deadline or past its byte limit, and
// writes that give up when the client takes nothing for a while.
class ConnectionStream : public httplib::Stream {
public:
    ConnectionStream(socket_t sock, const HttpLimits& limits) : sock_(sock), limits_(limits) {}

    // Waits up to `ms` for the next request to start.
    bool wait_for_request(int ms) const {
        return start_ < end_ || wait_for(sock_, POLLIN, ms);
    }
    // A request starts now: its deadline and byte count.
    void begin_request() {
        deadline_ = Clock::now() + std::chrono::milliseconds(limits_.request_ms);
        read_ = 0;
    }
    // A read failed: the request did not arrive whole in time or within its
    // size, or the client went away.  Nothing more is read from it.
    bool failed() const { return failed_; }

    bool is_readable() const override {
        return start_ < end_ || wait_for(sock_, POLLIN, ms_until(deadline_));
    }
    bool is_writable() const override { return wait_for(sock_, POLLOUT, limits_.write_ms); }

    ssize_t read(char* ptr, size_t size) override {
        if (start_ == end_) {
            const std::size_t allowed = limits_.head_bytes + limits_.body_bytes;
            failed_ = failed_ || read_ >= allowed || !is_readable();
            const ssize_t n =
                failed_ ? -1 : recv(sock_, buffer_, std::min(sizeof buffer_, allowed - read_), 0);
            if (n <= 0) {
                failed_ = true;
                return -1;
            }
            read_ += static_cast<std::size_t>(n);
            start_ = 0, end_ = static_cast<std::size_t>(n);
        }
        const std::size_t n = std::min(size, end_ - start_);
        std::memcpy(ptr, buffer_ + start_, n);
        start_ += n;
        return static_cast<ssize_t>(n);
    }

    ssize_t write(const char* ptr, size_t size) override {
        if (!is_writable()) return -1;
        return send(sock_, ptr, size, MSG_NOSIGNAL);
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override {
        address_of(getpeername, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override {
        address_of(getsockname, ip, port);
    }
    socket_t socket() const override { return sock_; }

private:
    template <class Get>
    void address_of(Get get, std::string& ip, int& port) const {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        ip.clear();
        port = -1;
        if (get(sock_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
        char text[INET6_ADDRSTRLEN] = "";
        if (address.ss_family == AF_INET) {
            const auto* a = reinterpret_cast<const sockaddr_in*>(&address);
            inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
            port = ntohs(a->sin_port);
        } else if (address.ss_family == AF_INET6) {
            const auto* a = reinterpret_cast<const sockaddr_in6*>(&address);
            inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
            port = ntohs(a->sin6_port);
        }
        ip = text;
    }

    const socket_t sock_;
    const HttpLimits& limits_;
    Clock::time_point deadline_ = Clock::now();
    std::size_t read_ = 0;  // bytes of this request read so far
    bool failed_ = false;
    char buffer_[4096];
    std::size_t start_ = 0, end_ = 0;  // what buffer_ holds still to be read
};

}  // namespace

GuardedHttpServer::GuardedHttpServer(const HttpLimits& limits) : limits_(limits) {
    new_task_queue = [this] {
        return new ConnectionThreads(
            limits_.connections, [this] { drop_idle_connections(); }, &queued_);
    };
    set_payload_max_length(limits_.body_bytes);
    // The server's port is its own: SO_REUSEADDR lets a new preview take
    // it straight after an old one ended, but unlike httplib's default
    // SO_REUSEPORT it never lets two listen on it at once.
    set_socket_options([](socket_t sock) {
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

int GuardedHttpServer::bind_port(const std::string& address, int port) {
    const int bound =
        port == 0 ? bind_to_any_port(address) : (bind_to_port(address, port) ? port : -1);
    // Listening again on a listening socket only changes its backlog.
    if (bound > 0) ::listen(svr_sock_, kBacklog);
    return bound;
}

bool GuardedHttpServer::enter(socket_t sock) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (closing_) return false;
    open_[sock] = true;
    return true;
}

void GuardedHttpServer::set_idle(socket_t sock, bool idle) {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_[sock] = idle;
}

void GuardedHttpServer::leave(socket_t sock) {
    const std::lock_guard<std::mutex> lock(mutex_);
    open_.erase(sock);
}

void GuardedHttpServer::close_connections() {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (const auto& [sock, idle] : open_) shutdown(sock, SHUT_RDWR);
}

// Every thread is taken and a new connection waits: the connections that
// wait for a request of theirs (idle, kept alive, or never used) make room.
void GuardedHttpServer::drop_idle_connections() {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [sock, idle] : open_)
        if (idle) shutdown(sock, SHUT_RDWR);
}

std::size_t GuardedHttpServer::open_connections() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return open_.size();
}

bool GuardedHttpServer::process_and_close_socket(socket_t sock) {
    bool ok = true;
    if (enter(sock)) {
        ConnectionStream stream(sock, limits_);
        for (int served = 0; served < limits_.requests_per_connection; ++served) {
            // Kept alive only while no other connection waits for a thread.
            if (served > 0 && queued_ > 0) break;
            set_idle(sock, true);
            if (!stream.wait_for_request(limits_.idle_ms)) break;
            set_idle(sock, false);
            stream.begin_request();
            bool closed = false;
            const bool last = served + 1 == limits_.requests_per_connection;
            close_after_this_reply = false;
            ok = process_request(stream, last, closed, nullptr);
            if (!ok || closed || stream.failed() || close_after_this_reply) break;
        }
        leave(sock);
    }
    shutdown(sock, SHUT_RDWR);
    close(sock);
    return ok;
}

bool GuardedHttpServer::refuse_body(const httplib::Request& req, httplib::Response& res) const {
    if (req.method != "POST" && req.method != "PUT" && req.method != "PATCH") return false;
    const bool has_length = req.has_header("Content-Length");
    if (has_length && !req.has_header("Transfer-Encoding")) {
        const std::string text = req.get_header_value("Content-Length");
        char* end = nullptr;
        errno = 0;
        const unsigned long long length = std::strtoull(text.c_str(), &end, 10);
        if (!text.empty() && *end == '\0' && errno == 0 && length <= limits_.body_bytes)
            return false;
        res.status = 413;
    } else {
        res.status = 411;
    }
    close_after_reply();
    return true;
}

void GuardedHttpServer::close_after_reply() { close_after_this_reply = true; }

bool port_in_use(const std::string& address, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool in_use = false;
    for (addrinfo* a = found; a != nullptr && !in_use; a = a->ai_next) {
        const int sock = ::socket(a->ai_family, a->ai_socktype, a->ai_protocol);
        if (sock < 0) continue;
        int yes = 1;
        setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        in_use = ::bind(sock, a->ai_addr, a->ai_addrlen) != 0 && errno == EADDRINUSE;
        close(sock);
    }
    freeaddrinfo(found);
    return in_use;
}
