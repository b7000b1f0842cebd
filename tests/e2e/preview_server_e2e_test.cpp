// The preview's HTTP interface against the real plug-in: settings reach the
// script, clicks reach func_WndProc, the script's errors and boxes reach
// the page, and a bad request or a runaway script leaves the server able
// to answer.
#include <gtest/gtest.h>
#include <httplib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include <nlohmann/json.hpp>

#include "edit.h"
#include "host/tracks.h"
#include "preview/preview_server.h"
#include "preview/preview_session.h"

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

    // Starts a preview of a 64x48 test pattern with the script folder dir_.
    void start(double frame_timeout = 5) {
        options_.input = "pattern:64x48";
        options_.script_dir = dir_.string();
        options_.tracks = default_tracks(plugin().table());
        ASSERT_EQ(open_input(options_, &edit_), 0);
        ASSERT_EQ(choose_frames(options_, &edit_), 0);
        ASSERT_EQ(find_script(options_, &edit_), 0);
        plugin().set_script_limits(frame_timeout, 0, false);
        session_ = std::make_unique<PreviewSession>(plugin(), edit_, options_.tracks, "no");
        server_ = std::make_unique<PreviewServer>(*session_);
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
    EXPECT_EQ(get("/api/state")["tracks"][a]["value"], 1000);
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
    start(1);
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

}  // namespace
