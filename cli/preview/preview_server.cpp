#include "preview/preview_server.h"

#include <httplib.h>

#include <chrono>
#include <climits>
#include <cstdlib>

#include "docs/script_messages.h"
#include "host/tracks.h"
#include "preview/preview_assets.h"

using nlohmann::json;

namespace {

constexpr int kDefaultWaitMs = 20000;  // a page's wait for a newer state
constexpr int kClickWaitMs = 15000;    // a click waits for the frame being computed

// Texts from the script (errors, msgbox) may hold any bytes: invalid UTF-8
// is replaced rather than refused.
std::string dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

void send_json(httplib::Response& res, const json& j, int status = 200) {
    res.status = status;
    res.set_header("Cache-Control", "no-store");
    res.set_content(dump(j), "application/json; charset=utf-8");
}

void send_error(httplib::Response& res, int status, const std::string& message) {
    send_json(res, json{{"error", message}}, status);
}

// What a track is for, by the option of the host program that sets it.
std::string track_role(const FILTER& table, int index) {
    const std::string option = track_option(table, index);
    if (option.rfind("--var ", 0) == 0) return "var";
    return option.size() > 2 ? option.substr(2) : "";
}

// The name a user types for a track: the variable's name ("a", as in
// vars.a and --var a=...), else the host program's option ("--threads").
std::string track_typed_name(const FILTER& table, int index) {
    const std::string option = track_option(table, index);
    if (option.rfind("--var ", 0) == 0) return option.substr(6);
    return option;
}

// The one-line explanation under a known script message ("" for none),
// the same line `run` prints: the script-facing texts stay as they are; a
// user who does not read them at a glance gets this line below.
std::string message_note(const std::string& message) { return explain_script_message(message); }

// Whether a POST comes from a page of this server: a browser names the
// page's origin, which must be this server as the request addresses it.
// Programs that send no Origin are not pages another site could drive.
bool same_origin(const httplib::Request& req) {
    if (!req.has_header("Origin")) return true;
    return req.get_header_value("Origin") == "http://" + req.get_header_value("Host");
}

// An integer query parameter; false when missing or not a whole number.
bool int_param(const httplib::Request& req, const char* name, long min, long max, int* value) {
    if (!req.has_param(name)) return false;
    const std::string text = req.get_param_value(name);
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < min || v > max) return false;
    *value = static_cast<int>(v);
    return true;
}

// The body as a JSON object; false with the reply sent when it is not one.
// Only JSON is taken: another site's page cannot send JSON to this server
// without the browser asking it first, which it never allows.
bool parse_body(const httplib::Request& req, httplib::Response& res, json* body) {
    if (req.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
        send_error(res, 415, "the request must be JSON (Content-Type: application/json)");
        return false;
    }
    *body = json::parse(req.body, nullptr, false);
    if (body->is_discarded() || !body->is_object()) {
        send_error(res, 400, "the request must be a JSON object");
        return false;
    }
    return true;
}

// Field `name` of `body` as an integer within [min, max].
bool int_field(const json& body, const char* name, long min, long max, int* value) {
    const auto it = body.find(name);
    if (it == body.end() || !it->is_number_integer()) return false;
    const long long v = it->get<long long>();
    if (v < min || v > max) return false;
    *value = static_cast<int>(v);
    return true;
}

std::string kind_param(const httplib::Request& req) {
    return req.has_param("kind") && req.get_param_value("kind") == "input" ? "input" : "output";
}

}  // namespace

json preview_state_json(const FILTER& table, const PreviewState& s, const PreviewFrame* frame) {
    json tracks = json::array();
    for (int i = 0; i < table.track_n; ++i)
        tracks.push_back(
            {{"index", i},
             {"caption", table.track_name && table.track_name[i] ? table.track_name[i] : ""},
             {"min", table.track_s ? table.track_s[i] : 0},
             {"max", table.track_e ? table.track_e[i] : 0},
             {"default", table.track_default ? table.track_default[i] : 0},
             {"value", static_cast<std::size_t>(i) < s.tracks.size() ? s.tracks[i] : 0},
             {"role", track_role(table, i)},
             {"name", track_typed_name(table, i)}});
    json checks = json::array();
    const int click_box = color_info_check_box(table);
    for (int i = 0; i < table.check_n; ++i)
        checks.push_back(
            {{"index", i},
             {"caption", table.check_name && table.check_name[i] ? table.check_name[i] : ""},
             {"default", table.check_default ? table.check_default[i] : 0},
             {"value", static_cast<std::size_t>(i) < s.checks.size() ? s.checks[i] : 0},
             {"click", i == click_box}});
    json messages = json::array();
    for (const PreviewMessage& m : s.messages)
        messages.push_back({{"frame", m.frame},
                            {"count", m.count},
                            {"caption", m.caption},
                            {"text", m.text},
                            {"answer", m.answer}});
    json notes = json::array();
    for (const std::string& line : s.errors) notes.push_back(message_note(line));
    json picture = nullptr;
    if (frame != nullptr)
        picture = {{"version", frame->version},
                   {"frame", frame->number},
                   {"w", frame->output->w},
                   {"h", frame->output->h},
                   {"input_w", frame->input->w},
                   {"input_h", frame->input->h},
                   {"input_serial", frame->input->serial},
                   {"tracks", frame->tracks},
                   {"script_ms", frame->script_ms},
                   {"compute_ms", frame->compute_ms}};
    return {{"version", s.version},
            {"name", table.name ? table.name : ""},
            {"information", table.information ? table.information : ""},
            {"frame", s.frame},
            {"frame_n", s.frame_n},
            {"playing", s.playing},
            {"busy", s.busy},
            {"rate", s.rate},
            {"tracks", tracks},
            {"checks", checks},
            {"errors", s.errors},
            {"error_notes", notes},
            {"messages", messages},
            {"click", {{"text", s.click_text}, {"frame", s.click_frame}}},
            {"status", s.status},
            {"script", s.script},
            {"script_exists", s.script_exists},
            {"picture", picture}};
}

PreviewServer::PreviewServer(PreviewSession& session, const HttpLimits& http,
                             const PollLimits& polls)
    : session_(session), server_(new GuardedHttpServer(http)), poll_limits_(polls) {
    server_->set_exception_handler(
        [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
            send_error(res, 500, "the request failed inside the server");
        });
    server_->set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        // Served on this machine only, the page answers only to this
        // machine's names, so that a site whose name is made to point here
        // cannot read it.
        if (loopback_only_) {
            std::string host = req.get_header_value("Host");
            const std::size_t colon = host.rfind(':');
            if (colon != std::string::npos && host.find(']', colon) == std::string::npos)
                host.resize(colon);
            if (host != "127.0.0.1" && host != "localhost" && host != "[::1]" && !host.empty()) {
                send_error(res, 403, "this preview answers to 127.0.0.1 and localhost only");
                return httplib::Server::HandlerResponse::Handled;
            }
        }
        // A body is only ever a few bytes of JSON: a larger one, or one of
        // unknown length, is refused before it is read.
        if (server_->refuse_body(req, res)) {
            send_error(res, res.status,
                       res.status == 413 ? "the request is too large (the preview takes a few KiB)"
                                         : "the request must say its length (Content-Length)");
            return httplib::Server::HandlerResponse::Handled;
        }
        // Only the preview's own page changes its settings.
        if (req.method == "POST" && !same_origin(req)) {
            send_error(res, 403,
                       "this preview takes changes from its own page only, not from " +
                           req.get_header_value("Origin"));
            return httplib::Server::HandlerResponse::Handled;
        }
        return httplib::Server::HandlerResponse::Unhandled;
    });
    add_routes();
}

PreviewServer::~PreviewServer() { stop(); }

bool PreviewServer::bind(const std::string& address, int port, std::string* error) {
    loopback_only_ = address == "127.0.0.1" || address == "localhost" || address == "::1";
    port_ = server_->bind_port(address, port);
    if (port_ <= 0) {
        const std::string where = address + ":" + std::to_string(port);
        *error = port != 0 && port_in_use(address, port)
                     ? "cannot listen on " + where +
                           " (in use: another program, or another preview, has it; --port 0 "
                           "takes any free port)"
                     : "cannot listen on " + where;
        return false;
    }
    return true;
}

void PreviewServer::start() {
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() can only end a server that runs.
    for (int i = 0; i < 5000 && !server_->is_running(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void PreviewServer::stop() {
    if (!thread_.joinable()) return;
    // Slow and idle clients are cut off rather than waited for.
    server_->close_connections();
    server_->stop();
    thread_.join();
}

bool PreviewServer::take_poll(const std::string& client) {
    const std::lock_guard<std::mutex> lock(polls_mutex_);
    int& mine = polls_[client];
    if (mine >= poll_limits_.per_client || polls_in_all_ >= poll_limits_.in_all) {
        if (mine == 0) polls_.erase(client);
        return false;
    }
    ++mine;
    ++polls_in_all_;
    return true;
}

void PreviewServer::give_poll(const std::string& client) {
    const std::lock_guard<std::mutex> lock(polls_mutex_);
    if (--polls_[client] <= 0) polls_.erase(client);
    --polls_in_all_;
}

void PreviewServer::add_routes() {
    httplib::Server& s = *server_;
    const auto serve_asset = [](const httplib::Request& req, httplib::Response& res) {
        const WebAsset* asset = find_web_asset(req.path);
        if (asset == nullptr) {
            res.status = 404;
            res.set_content("not found", "text/plain");
            return;
        }
        res.set_header("Cache-Control", "no-cache");
        res.set_content(asset->body.data(), asset->body.size(), asset->type);
    };
    for (const char* path :
         {"/", "/index.html", "/preview.css", "/preview.js", "/view.js", "/favicon.svg"})
        s.Get(path, serve_asset);
    s.Get("/favicon.ico", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/favicon.svg", 301);
    });

    s.Get("/api/state", [this](const httplib::Request& req, httplib::Response& res) {
        int after = -1, wait = kDefaultWaitMs;
        PreviewState state;
        bool refused = false;
        if (int_param(req, "after", 0, INT_MAX, &after)) {
            int_param(req, "wait", 0, 60000, &wait);
            // A waiting page holds a connection and its thread: only so many
            // wait, the others are answered at once.
            if (take_poll(req.remote_addr)) {
                state = session_.wait_for_change(static_cast<std::uint64_t>(after), wait);
                give_poll(req.remote_addr);
            } else {
                state = session_.state();
                refused = true;
            }
        } else {
            state = session_.state();
        }
        const std::shared_ptr<const PreviewFrame> frame = session_.frame();
        json reply = preview_state_json(session_.table(), state, frame.get());
        if (refused) reply["poll_refused"] = true;
        send_json(res, reply);
    });

    s.Get("/api/frame", [this](const httplib::Request& req, httplib::Response& res) {
        const std::shared_ptr<const PreviewFrame> frame = session_.frame();
        if (frame == nullptr) return send_error(res, 503, "no frame has been computed yet");
        const bool jpeg = req.has_param("format") && req.get_param_value("format") == "jpeg";
        const Picture& picture = kind_param(req) == "input" ? *frame->input : *frame->output;
        // JPEG at the size the page shows, never larger than the picture.
        int fit_w = picture.w, fit_h = picture.h;
        int_param(req, "fit_w", 1, 65535, &fit_w);
        int_param(req, "fit_h", 1, 65535, &fit_h);
        std::string error;
        const std::shared_ptr<const std::string> bytes =
            picture.encoded(jpeg ? ImageFormat::jpeg : ImageFormat::png, fit_w, fit_h, &error);
        if (bytes == nullptr) return send_error(res, 500, error);
        res.set_header("Cache-Control", "no-store");
        res.set_header("X-Frame-Version", std::to_string(frame->version));
        res.set_header("X-Frame-Number", std::to_string(frame->number));
        res.set_header("X-Picture-Serial", std::to_string(picture.serial));
        res.set_content(bytes->data(), bytes->size(), jpeg ? "image/jpeg" : "image/png");
    });

    s.Get("/api/pixel", [this](const httplib::Request& req, httplib::Response& res) {
        const std::shared_ptr<const PreviewFrame> frame = session_.frame();
        if (frame == nullptr) return send_error(res, 503, "no frame has been computed yet");
        const bool in = kind_param(req) == "input";
        const Picture& picture = in ? *frame->input : *frame->output;
        const int w = picture.w, h = picture.h;
        int x = 0, y = 0;
        if (!int_param(req, "x", 0, w - 1, &x) || !int_param(req, "y", 0, h - 1, &y))
            return send_error(res, 400,
                              "x and y must be a pixel of the " + std::to_string(w) + "x" +
                                  std::to_string(h) + " picture");
        const PIXEL_YC p = picture.pixels[static_cast<std::size_t>(y) * w + x];
        send_json(res, {{"x", x},
                        {"y", y},
                        {"Y", p.y},
                        {"Cb", p.cb},
                        {"Cr", p.cr},
                        {"version", frame->version}});
    });

    const auto post_setting = [this](const char* path, auto apply) {
        server_->Post(path, [this, apply](const httplib::Request& req, httplib::Response& res) {
            json body;
            if (!parse_body(req, res, &body)) return;
            std::string error;
            if (!apply(body, &error)) return send_error(res, 400, error);
            send_json(res, preview_state_json(session_.table(), session_.state(),
                                              session_.frame().get()));
        });
    };
    post_setting("/api/track", [this](const json& body, std::string* error) {
        int index = 0, value = 0;
        if (!int_field(body, "index", 0, INT_MAX, &index) ||
            !int_field(body, "value", INT_MIN, INT_MAX, &value)) {
            *error = "a track needs an integer index and value";
            return false;
        }
        return session_.set_track(index, value, error);
    });
    post_setting("/api/check", [this](const json& body, std::string* error) {
        int index = 0, value = 0;
        if (!int_field(body, "index", 0, INT_MAX, &index) ||
            !int_field(body, "value", 0, 1, &value)) {
            *error = "a check box needs an integer index and a value of 0 or 1";
            return false;
        }
        return session_.set_check(index, value, error);
    });
    post_setting("/api/frame", [this](const json& body, std::string* error) {
        int frame = 0;
        if (!int_field(body, "frame", 0, INT_MAX, &frame)) {
            *error = "a frame number must be a whole number from 0";
            return false;
        }
        return session_.set_frame(frame, error);
    });
    post_setting("/api/play", [this](const json& body, std::string* error) {
        const auto it = body.find("playing");
        if (it == body.end() || !it->is_boolean()) {
            *error = "playing must be true or false";
            return false;
        }
        session_.set_playing(it->get<bool>());
        return true;
    });

    s.Post("/api/click", [this](const httplib::Request& req, httplib::Response& res) {
        json body;
        if (!parse_body(req, res, &body)) return;
        int x = 0, y = 0;
        // The editor's message carries each coordinate in 16 signed bits.
        if (!int_field(body, "x", -32768, 32767, &x) || !int_field(body, "y", -32768, 32767, &y))
            return send_error(res, 400,
                              "a click needs x and y, whole numbers from -32768 to 32767");
        std::string text;
        std::uint64_t version = 0;
        if (!session_.click(x, y, kClickWaitMs, &text, &version))
            return send_error(res, 503, "the filter is still busy with a frame; try again");
        // The version of the state that holds the text: a page drops any
        // state older than that, which would show the click undone.
        send_json(res, {{"x", x}, {"y", y}, {"text", text}, {"version", version}});
    });
}
