// The preview's HTTP interface against the real plug-in: settings reach the
// script, clicks reach func_WndProc, the script's errors and boxes reach
// the page, a file's frame stays the frame the page shows, and bad
// requests, slow or crowding clients, other pages and a runaway script
// leave the server able to answer and to stop at once.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include <nlohmann/json.hpp>

#include "edit.h"
#include "host/tracks.h"
#include "preview/preview_server.h"
#include "preview/preview_session.h"
#include "test_video.h"

using nlohmann::json;

namespace {

// The plug-in is loaded once: its worker threads outlive a dlclose.
PluginHost& plugin() {
    static PluginHost* host = [] {
        auto* h = new PluginHost;
        std::string error;
        if (!h->load(QUORVEL_PLUGIN, &error)) ADD_FAILURE() << error;
        return h;
    }();
    return *host;
}

int track_index(const FILTER& table, const std::string& option) {
    for (int i = 0; i < table.track_n; ++i)
        if (track_option(table, i) == option) return i;
    return -1;
}

using Clock = std::chrono::steady_clock;

long long ms_since(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A plain connection to the server on this machine, from the local address
// `from` (any of 127.0.0.0/8: other clients, as the server sees them).
int connect_to(int port, const char* from = "127.0.0.1") {
    const int sock = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (bind(sock, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        connect(sock, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        close(sock);
        return -1;
    }
    return sock;
}

// Sends what the socket takes within `ms`; the bytes sent.
std::size_t send_for(int sock, const std::string& bytes, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::size_t sent = 0;
    while (sent < bytes.size() && Clock::now() < end) {
        pollfd p{sock, POLLOUT, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        const ssize_t n =
            send(sock, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    return sent;
}

// What the server sends within `ms`, until it closes the connection;
// *closed tells whether it did.
std::string receive_for(int sock, int ms, bool* closed = nullptr) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    std::string text;
    if (closed) *closed = false;
    while (Clock::now() < end) {
        pollfd p{sock, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        char buffer[65536];
        const ssize_t n = recv(sock, buffer, sizeof buffer, 0);
        if (n <= 0) {
            if (closed) *closed = true;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

std::string state_request(std::uint64_t after) {
    return "GET /api/state?after=" + std::to_string(after) +
           "&wait=20000 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// What a test's preview runs on.
struct PreviewSetup {
    std::string input = "pattern:64x48";
    double frame_timeout = 5;
    HttpLimits http{};
};

class PreviewServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("quorvel_preview_" + std::to_string(getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (session_) session_->stop();
        if (server_) server_->stop();
        server_.reset();
        session_.reset();
        std::filesystem::remove_all(dir_);
    }

    void write_script(const std::string& text) { std::ofstream(dir_ / "filter.lua") << text; }

    // Starts a preview (of a 64x48 test pattern) with the script folder dir_.
    void start(const PreviewSetup& setup = {}) {
        options_.input = setup.input;
        options_.script_dir = dir_.string();
        options_.tracks = default_tracks(plugin().table());
        ASSERT_EQ(open_input(options_, &edit_), 0);
        ASSERT_EQ(choose_frames(options_, &edit_), 0);
        ASSERT_EQ(find_script(options_, &edit_), 0);
        plugin().set_script_limits(setup.frame_timeout, 0, false);
        session_ = std::make_unique<PreviewSession>(plugin(), edit_, options_.tracks, "no");
        server_ = std::make_unique<PreviewServer>(*session_, setup.http);
        std::string error;
        ASSERT_TRUE(server_->bind("127.0.0.1", 0, &error)) << error;
        session_->start();
        server_->start();
        client_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
        client_->set_read_timeout(30, 0);
        ASSERT_TRUE(wait_for([](const json& s) { return !s["picture"].is_null(); }));
    }

    json get(const std::string& path, int expect = 200) {
        auto res = client_->Get(path.c_str());
        EXPECT_TRUE(res) << path;
        if (!res) return nullptr;
        EXPECT_EQ(res->status, expect) << path << ": " << res->body;
        return json::parse(res->body, nullptr, false);
    }
    json post(const std::string& path, const std::string& body, int expect = 200) {
        auto res = client_->Post(path.c_str(), body, "application/json");
        EXPECT_TRUE(res) << path;
        if (!res) return nullptr;
        EXPECT_EQ(res->status, expect) << path << " " << body << ": " << res->body;
        return json::parse(res->body, nullptr, false);
    }

    // Follows the state as a page does until `done` holds (at most 10 s).
    bool wait_for(const std::function<bool(const json&)>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        json s = get("/api/state");
        while (!done(s)) {
            if (std::chrono::steady_clock::now() > end) return false;
            s = get("/api/state?after=" + std::to_string(s["version"].get<std::uint64_t>()) +
                    "&wait=500");
        }
        last_ = s;
        return true;
    }
    // Waits for a frame computed after the state `before`, with the
    // settings of the moment, and nothing pending.
    bool wait_for_frame_after(const json& before) {
        const auto old = before["picture"]["version"].get<std::uint64_t>();
        return wait_for([&](const json& s) {
            return !s["busy"].get<bool>() && s["picture"]["version"].get<std::uint64_t>() > old;
        });
    }

    std::filesystem::path dir_;
    Options options_;
    Edit edit_;
    std::unique_ptr<PreviewSession> session_;
    std::unique_ptr<PreviewServer> server_;
    std::unique_ptr<httplib::Client> client_;
    json last_;
};

TEST_F(PreviewServerTest, TrackAndDisplaySettingsReachTheScript) {
    // The picture's Y is the variable a; buffer 2 holds Y = 1234.
    write_script(
        "function video_filter(info, vars)\n"
        "  fill(0, 0, 0, info.w, info.h, vars.a, 0, 0)\n"
        "  fill(2, 0, 0, info.w, info.h, 1234, 0, 0)\n"
        "end\n");
    start();
    const FILTER& table = plugin().table();
    const int a = track_index(table, "--var a"), display = track_index(table, "--display");
    ASSERT_GE(a, 0);
    json before = get("/api/state");
    // The page reads each track's caption, range and default from the table.
    EXPECT_EQ(before["tracks"][a]["caption"], table.track_name[a]);
    EXPECT_EQ(before["tracks"][a]["max"], table.track_e[a]);
    EXPECT_EQ(before["tracks"][display]["role"], "display");
    post("/api/track", json{{"index", a}, {"value", 1000}}.dump());
    ASSERT_TRUE(wait_for_frame_after(before));
    EXPECT_EQ(get("/api/pixel?x=3&y=4")["Y"], 1000);
    EXPECT_EQ(last_["tracks"][a]["value"], 1000);

    before = last_;
    post("/api/track", json{{"index", display}, {"value", 2}}.dump());
    ASSERT_TRUE(wait_for_frame_after(before));
    EXPECT_EQ(get("/api/pixel?x=63&y=47")["Y"], 1234);
    // The input stays the pattern's first bar: white.
    EXPECT_GT(get("/api/pixel?x=0&y=0&kind=input")["Y"].get<int>(), 4000);

    // Values outside the table's range, unknown tracks and malformed bodies
    // are refused and change nothing.
    EXPECT_NE(post("/api/track", json{{"index", a}, {"value", table.track_e[a] + 1}}.dump(),
                   400)["error"],
              nullptr);
    post("/api/track", json{{"index", table.track_n}, {"value", 0}}.dump(), 400);
    post("/api/track", json{{"index", a}, {"value", "12"}}.dump(), 400);
    post("/api/track", "not json", 400);
    // Only JSON, and only under this machine's names: another site cannot
    // drive the preview.
    EXPECT_EQ(
        client_->Post("/api/track", json{{"index", a}, {"value", 5}}.dump(), "text/plain")->status,
        415);
    httplib::Headers elsewhere = {{"Host", "attacker.example:80"}};
    EXPECT_EQ(client_->Get("/api/state", elsewhere)->status, 403);
    // A page of another site may post JSON through a browser's simple
    // requests in some setups: its Origin gives it away.
    const std::string own = "http://127.0.0.1:" + std::to_string(server_->port());
    for (const std::string& origin : {std::string("http://attacker.example"), std::string("null"),
                                      own + "0"}) {
        auto res = client_->Post("/api/track", {{"Origin", origin}},
                                 json{{"index", a}, {"value", 7}}.dump(), "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 403) << origin;
    }
    EXPECT_EQ(get("/api/state")["tracks"][a]["value"], 1000);
    auto res = client_->Post("/api/track", {{"Origin", own}},
                             json{{"index", a}, {"value", 8}}.dump(), "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200) << res->body;
}

TEST_F(PreviewServerTest, ClickReachesWindowProcAtThePicturePosition) {
    write_script("function video_filter(info, vars) fill(0, 5, 7, 1, 1, 2048, 100, -1) end\n");
    start();
    // With the check box off the plug-in shows nothing.
    EXPECT_EQ(post("/api/click", R"({"x": 5, "y": 7})")["text"], "");
    const json before = get("/api/state");
    ASSERT_EQ(before["checks"][0]["click"], true);
    post("/api/check", R"({"index": 0, "value": 1})");
    ASSERT_TRUE(wait_for_frame_after(before));
    const std::string text = post("/api/click", R"({"x": 5, "y": 7})")["text"];
    EXPECT_EQ(text.rfind("座標： x=5, y=7\nY,Cb,Cr =   2048,   100,    -1\n", 0), 0u) << text;
    // B = trunc(2048 + 177.2), R = trunc(2048 - 1.402).
    EXPECT_NE(text.find("\nR,G,B =   2046,  2014,  2225\n"), std::string::npos) << text;
    EXPECT_EQ(get("/api/state")["click"]["text"], text);
    // One past the last column is outside the buffer: ignored.
    EXPECT_EQ(post("/api/click", R"({"x": 64, "y": 0})")["text"], "");
    post("/api/click", R"({"x": 70000, "y": 0})", 400);
}

// The box turned on while a frame is computed, then a click: the click is
// handled after that frame and before the next, and must see the box on.
TEST_F(PreviewServerTest, ClickSeesTheCheckBoxTurnedOnBeforeTheFrameIsComputedAgain) {
    write_script(
        "function video_filter(info, vars)\n"
        "  fill(0, 5, 7, 1, 1, 2048, 100, -1)\n"
        "  local t = os.clock()\n"
        "  while vars.a > 0 and os.clock() - t < 0.5 do end\n"
        "end\n");
    start();
    const int a = track_index(plugin().table(), "--var a");
    ASSERT_GE(a, 0);
    post("/api/track", json{{"index", a}, {"value", 1}}.dump());
    ASSERT_TRUE(wait_for([](const json& s) { return s["busy"].get<bool>(); }));
    post("/api/check", R"({"index": 0, "value": 1})");
    const std::string text = post("/api/click", R"({"x": 5, "y": 7})")["text"];
    EXPECT_EQ(text.rfind("座標： x=5, y=7\n", 0), 0u) << text;
}

TEST_F(PreviewServerTest, ScriptErrorsAndBoxesReachThePanelsAndClearOnSuccess) {
    write_script(
        "function video_filter(info, vars)\n"
        "  local answer = msgbox('proceed?', 'Quorvel', 'yesno')\n"
        "  error('no good: ' .. answer)\n"
        "end\n");
    start();
    ASSERT_TRUE(wait_for([](const json& s) { return !s["errors"].empty(); }));
    EXPECT_NE(last_["errors"][0].get<std::string>().find("no good: no"), std::string::npos)
        << last_["errors"];
    ASSERT_FALSE(last_["messages"].empty());
    EXPECT_EQ(last_["messages"][0]["text"], "proceed?");
    EXPECT_EQ(last_["messages"][0]["answer"], "No");
    // A message nobody explains has an empty note; a known one has the line
    // `run` prints under it.
    EXPECT_EQ(last_["error_notes"][0], "") << last_["error_notes"];

    write_script("function video_filter(info, vars) fill(25, 0, 0, 1, 1, 99, 0, 0) end\n");
    ASSERT_TRUE(wait_for([](const json& s) {
        return !s["errors"].empty() &&
               s["errors"][0].get<std::string>().find("[25]") != std::string::npos;
    }));
    EXPECT_EQ(last_["error_notes"][0],
              "buffer 25 does not exist (buffers 0–19, and those made by createbuf)")
        << last_["errors"];

    // Saving a mended script computes the frame again without a request,
    // and the error panel empties.
    write_script("function video_filter(info, vars) fill(0, 0, 0, 1, 1, 99, 0, 0) end\n");
    ASSERT_TRUE(
        wait_for([](const json& s) { return s["errors"].empty() && !s["busy"].get<bool>(); }));
    EXPECT_EQ(get("/api/pixel?x=0&y=0")["Y"], 99);
}

TEST_F(PreviewServerTest, RunawayScriptEndsAndTheServerAnswersMeanwhile) {
    write_script(
        "function video_filter(info, vars) if vars.a > 0 then while true do end end end\n");
    start({.frame_timeout = 1});
    const int a = track_index(plugin().table(), "--var a");
    post("/api/track", json{{"index", a}, {"value", 1}}.dump());
    ASSERT_TRUE(wait_for([](const json& s) { return s["busy"].get<bool>(); }));
    // While the frame runs, the last whole frame is served.
    const auto started = std::chrono::steady_clock::now();
    auto res = client_->Get("/api/frame?format=png");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 200);
    EXPECT_EQ(res->body.substr(1, 3), "PNG");
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));
    ASSERT_TRUE(
        wait_for([](const json& s) { return !s["busy"].get<bool>() && !s["errors"].empty(); }));
    EXPECT_NE(last_["errors"][0].get<std::string>().find("longer than"), std::string::npos)
        << last_["errors"];
}

TEST_F(PreviewServerTest, FramesPicturesAndWaiting) {
    start();
    json s = get("/api/state");
    EXPECT_EQ(s["frame_n"], 30);
    post("/api/frame", R"({"frame": 30})", 400);
    post("/api/frame", R"({"frame": 12})");
    ASSERT_TRUE(wait_for([](const json& st) { return st["picture"]["frame"] == 12; }));
    auto jpeg = client_->Get("/api/frame?kind=input&format=jpeg");
    ASSERT_TRUE(jpeg);
    EXPECT_EQ(jpeg->get_header_value("Content-Type"), "image/jpeg");
    EXPECT_EQ(static_cast<unsigned char>(jpeg->body[0]), 0xFF);
    EXPECT_EQ(jpeg->get_header_value("X-Frame-Number"), "12");
    get("/api/pixel?x=64&y=0", 400);
    get("/api/pixel?x=-1&y=0", 400);
    // Nothing changes: the wait ends at its limit with the same version.
    s = get("/api/state");
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(get("/api/state?after=" + std::to_string(s["version"].get<std::uint64_t>()) +
                  "&wait=300")["version"],
              s["version"]);
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(250));
    auto page = client_->Get("/");
    ASSERT_TRUE(page);
    EXPECT_NE(page->body.find("preview.js"), std::string::npos);
    EXPECT_EQ(client_->Get("/nothing")->status, 404);
}

// ---- a file's frame is the frame the page shows

// Frame n of `path` as a decoder of its own gives it.
std::vector<PIXEL_YC> reference_frame(const std::string& path, int n) {
    std::string error;
    bool usage = false;
    std::unique_ptr<FrameSource> source = open_source(path, &error, &usage);
    if (source == nullptr) {
        ADD_FAILURE() << error;
        return {};
    }
    std::vector<PIXEL_YC> pixels(static_cast<std::size_t>(source->width()) * source->height());
    std::int64_t pts = 0;
    EXPECT_TRUE(source->seek(n, &error) && source->read_next(pixels.data(), source->width(), &pts,
                                                             &error))
        << error;
    return pixels;
}

class PreviewFileTest : public PreviewServerTest {
protected:
    // The input picture the server holds, as exact bytes.
    std::string input_png() {
        auto res = client_->Get("/api/frame?kind=input&format=png");
        EXPECT_TRUE(res && res->status == 200);
        return res ? res->body : "";
    }
    // The input pixels the server reads out equal the reference's frame n.
    void expect_input_is_frame(const std::string& path, int n) {
        const std::vector<PIXEL_YC> expected = reference_frame(path, n);
        for (const auto& [x, y] : {std::pair{0, 0}, {63, 0}, {17, 29}, {63, 47}}) {
            const json p = get("/api/pixel?kind=input&x=" + std::to_string(x) +
                               "&y=" + std::to_string(y));
            const PIXEL_YC e = expected[static_cast<std::size_t>(y) * 64 + x];
            EXPECT_EQ(p["Y"], e.y) << "frame " << n << " at " << x << "," << y;
            EXPECT_EQ(p["Cb"], e.cb) << "frame " << n << " at " << x << "," << y;
        }
    }

    // Track changes, a click and frame jumps on a file: the picture changes
    // only with the frame, and always is that frame.
    void expect_frame_held(const std::string& name, const std::string& encoder) {
        const std::string path = (dir_ / name).string();
        ClipRecipe recipe;
        recipe.encoder = encoder;
        recipe.gop = 5;
        ASSERT_EQ(make_video(path, recipe), "");
        write_script("function video_filter(info, vars) fill(0, 0, 0, 4, 4, vars.a, 0, 0) end\n");
        start({.input = path});
        const int a = track_index(plugin().table(), "--var a");
        const std::string first = input_png();
        expect_input_is_frame(path, 0);
        for (int value : {100, 200, 300}) {
            const json before = get("/api/state");
            post("/api/track", json{{"index", a}, {"value", value}}.dump());
            ASSERT_TRUE(wait_for_frame_after(before));
            EXPECT_EQ(input_png(), first) << "after setting a to " << value;
            EXPECT_EQ(get("/api/pixel?x=0&y=0")["Y"], value);
        }
        post("/api/click", R"({"x": 5, "y": 5})");
        EXPECT_EQ(input_png(), first) << "after a click";
        for (int frame : {7, 3, 0, 11, 0}) {
            post("/api/frame", json{{"frame", frame}}.dump());
            ASSERT_TRUE(wait_for([&](const json& st) {
                return st["picture"]["frame"] == frame && !st["busy"].get<bool>();
            }));
            expect_input_is_frame(path, frame);
            if (frame == 0) {
                EXPECT_EQ(input_png(), first) << "back at frame 0";
            }
        }
    }
};

TEST_F(PreviewFileTest, Mp4FrameStaysTheFrameShown) { expect_frame_held("clip.mp4", "libx264"); }
TEST_F(PreviewFileTest, AviFrameStaysTheFrameShown) { expect_frame_held("clip.avi", "mpeg4"); }

// ---- what the server holds of the script's texts is bounded

TEST_F(PreviewServerTest, MessagesAndErrorsAreCutAndBounded) {
    write_script(
        "function video_filter(info, vars)\n"
        "  for i = 1, 150 do msgbox(i .. string.rep('x', 200000), 'big') end\n"
        "  for i = 1, 5 do msgbox('the same', 'again') end\n"
        "  error(string.rep('e', 100000))\n"
        "end\n");
    start();
    ASSERT_TRUE(wait_for([](const json& s) { return !s["errors"].empty(); }));
    const std::string cut = "…(cut)";
    auto res = client_->Get("/api/state");
    ASSERT_TRUE(res);
    EXPECT_LT(res->body.size(), 1000000u);
    const json& messages = last_["messages"];
    EXPECT_EQ(messages.size(), kPreviewMessages);
    for (const json& m : messages)
        EXPECT_LE(m["text"].get<std::string>().size(), kPreviewTextLimit + cut.size());
    // A box raised again is counted, not kept again.
    EXPECT_EQ(messages.back()["text"], "the same");
    EXPECT_EQ(messages.back()["count"], 5);
    const std::string big = messages.front()["text"];
    EXPECT_EQ(big.substr(big.size() - cut.size()), cut);
    const std::string error = last_["errors"][0];
    EXPECT_LE(error.size(), kPreviewTextLimit + cut.size());
    EXPECT_EQ(error.substr(error.size() - cut.size()), cut);
    // Cutting never leaves half of a character.
    EXPECT_EQ(cut_preview_text("ああ", 4), "あ" + cut);
}

// ---- the port, the size of requests, and where they come from

TEST_F(PreviewServerTest, SecondServerOnThePortFailsAsInUse) {
    start();
    PreviewServer other(*session_);
    std::string error;
    EXPECT_FALSE(other.bind("127.0.0.1", server_->port(), &error));
    EXPECT_NE(error.find("cannot listen on 127.0.0.1:" + std::to_string(server_->port()) +
                         " (in use"),
              std::string::npos)
        << error;
}

TEST_F(PreviewServerTest, LargeBodiesAreRefusedUnread) {
    start();
    const int a = track_index(plugin().table(), "--var a");
    // A body announced as 600 MB: refused at once, without waiting for it.
    int sock = connect_to(server_->port());
    ASSERT_GE(sock, 0);
    send_for(sock,
             "POST /api/track HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
             "Content-Length: 600000000\r\n\r\n{\"index\": 3,",
             1000);
    const auto started = Clock::now();
    const std::string reply = receive_for(sock, 3000);
    EXPECT_EQ(reply.rfind("HTTP/1.1 413", 0), 0u) << reply;
    EXPECT_LT(ms_since(started), 1500);
    close(sock);
    // A chunked body, whose length is not said, is refused before it is read.
    sock = connect_to(server_->port());
    ASSERT_GE(sock, 0);
    std::string chunks =
        "POST /api/track HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
        "Transfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 16; ++i) chunks += "10000\r\n" + std::string(0x10000, ' ') + "\r\n";
    send_for(sock, chunks, 1000);
    bool closed = false;
    const std::string refused = receive_for(sock, 1000, &closed);
    EXPECT_EQ(refused.rfind("HTTP/1.1 411", 0), 0u) << refused;
    EXPECT_TRUE(closed);
    close(sock);
    // And nothing of either reached the settings.
    EXPECT_EQ(get("/api/state")["tracks"][a]["value"], 0);
}

// ---- many waiting pages and slow clients never starve the page

TEST_F(PreviewServerTest, WaitingPagesAreBoundedAndThePageIsServedMeanwhile) {
    start();
    const std::uint64_t version = get("/api/state")["version"];
    // Ten waiting pages from each of five addresses: at most 8 from one and
    // 32 in all wait, the rest are answered at once.
    std::vector<int> polls;
    std::vector<std::string> sources;
    for (const char* from : {"127.0.0.1", "127.0.0.2", "127.0.0.3", "127.0.0.4", "127.0.0.5"})
        for (int i = 0; i < 10; ++i) {
            const int sock = connect_to(server_->port(), from);
            ASSERT_GE(sock, 0) << from;
            send_for(sock, state_request(version), 1000);
            polls.push_back(sock);
            sources.push_back(from);
        }
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    int refused = 0;
    std::map<std::string, int> refused_from;
    for (std::size_t i = 0; i < polls.size(); ++i)
        if (receive_for(polls[i], 1).find("\"poll_refused\":true") != std::string::npos) {
            ++refused;
            ++refused_from[sources[i]];
        }
    for (const auto& [from, count] : refused_from) EXPECT_GE(count, 2) << from;
    EXPECT_EQ(refused_from.size(), 5u);
    EXPECT_GE(refused, 50 - 32);
    // The page and its script are served while the others wait.
    const auto started = Clock::now();
    auto page = client_->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_LT(ms_since(started), 1000);
    // A change answers every waiting page.
    post("/api/frame", R"({"frame": 3})");
    int answered = 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    for (int sock : polls) {
        if (receive_for(sock, 1).find("HTTP/1.1 200") == 0) ++answered;
        close(sock);
    }
    EXPECT_GE(answered, 50 - refused);
}

TEST_F(PreviewServerTest, SlowClientsAreCutOffAndStopIsImmediate) {
    HttpLimits limits;
    limits.request_ms = 1000;
    start({.http = limits});
    // Forty clients send a header line every 200 ms and never finish.
    std::vector<int> slow;
    for (int i = 0; i < 40; ++i) {
        const int sock = connect_to(server_->port());
        ASSERT_GE(sock, 0);
        send_for(sock, "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n", 500);
        slow.push_back(sock);
    }
    std::atomic<bool> done{false};
    std::thread trickle([&] {
        for (int k = 0; k < 15 && !done; ++k) {
            for (int sock : slow) send(sock, "X-Slow: 1\r\n", 11, MSG_NOSIGNAL | MSG_DONTWAIT);
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    });
    // Meanwhile the page is served.
    const auto started = Clock::now();
    auto page = client_->Get("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_LT(ms_since(started), 1000);
    // Each is cut off at the time limit of a request, headers unfinished.
    int cut_off = 0;
    for (int sock : slow) {
        bool closed = false;
        receive_for(sock, 2500 - static_cast<int>(std::min(ms_since(started), 2400LL)), &closed);
        if (closed) ++cut_off;
    }
    done = true;
    trickle.join();
    EXPECT_EQ(cut_off, 40);
    for (int sock : slow) close(sock);
    // Stopping does not wait for slow or idle clients.
    for (int i = 0; i < 10; ++i) {
        const int sock = connect_to(server_->port());
        send_for(sock, "GET / HTTP/1.1\r\n", 500);
        slow[static_cast<std::size_t>(i)] = sock;
    }
    const auto stopping = Clock::now();
    session_->request_stop();
    server_->stop();
    EXPECT_LT(ms_since(stopping), 500);
    for (int i = 0; i < 10; ++i) close(slow[static_cast<std::size_t>(i)]);
}

// ---- the whole program ends on SIGTERM and SIGINT within a second

// Runs `quorvel preview` on a script that keeps its frame busy, waits until
// the frame runs, sends `signal` and returns how long the program took to
// end (-1 when it had to be killed).
long long end_running_preview(const std::filesystem::path& dir, const std::string& script,
                              int signal, const std::vector<std::string>& extra = {}) {
    std::ofstream(dir / "filter.lua") << script;
    int out[2];
    if (pipe(out) != 0) return -2;
    std::vector<std::string> args = {QUORVEL_BINARY, "preview", "--input",  "pattern:64x48",
                                     "--script-dir",  dir.string(), "--port", "0"};
    args.insert(args.end(), extra.begin(), extra.end());
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], 1);
        close(out[0]);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    // Its address, then the frame running.
    std::string printed;
    int port = 0;
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (port == 0 && Clock::now() < end) {
        char buffer[512];
        const ssize_t n = read(out[0], buffer, sizeof buffer);
        if (n <= 0) break;
        printed.append(buffer, static_cast<std::size_t>(n));
        if (const auto at = printed.find("open http://127.0.0.1:"); at != std::string::npos)
            port = std::atoi(printed.c_str() + at + 22);
    }
    httplib::Client client("127.0.0.1", port);
    bool busy = false;
    while (port != 0 && !busy && Clock::now() < end) {
        auto res = client.Get("/api/state");
        busy = res && json::parse(res->body, nullptr, false).value("busy", false);
        if (!busy) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(busy) << printed;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const auto sent = Clock::now();
    kill(child, signal);
    int status = 0;
    long long took = -1;
    while (ms_since(sent) < 10000) {
        if (waitpid(child, &status, WNOHANG) == child) {
            took = ms_since(sent);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (took < 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    close(out[0]);
    return took;
}

TEST_F(PreviewServerTest, EndsWithinASecondWhateverTheScriptDoes) {
    // A frame that runs for a minute, with no time limit.
    const std::string long_frame =
        "function video_filter(info, vars)\n"
        "  local t = os.clock()\n"
        "  while os.clock() - t < 60 do end\n"
        "end\n";
    // 1.5 s rather than 1: the machine running the tests may be busy.
    long long took = end_running_preview(dir_, long_frame, SIGTERM, {"--frame-timeout", "0"});
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 1500);
    took = end_running_preview(dir_, long_frame, SIGINT, {"--frame-timeout", "0"});
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 1500);
    // A loop that runs its error handler in a loop too.
    took = end_running_preview(
        dir_,
        "function video_filter(info, vars)\n"
        "  xpcall(function() while true do end end, function() while true do end end)\n"
        "end\n",
        SIGTERM, {"--frame-timeout", "1"});
    EXPECT_GE(took, 0);
    EXPECT_LT(took, 1500);
}

}  // namespace
