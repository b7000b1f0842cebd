// The script engine driven as the editor drives it: run_frame on a small
// fake frame, with the script and its log in a temporary folder and a fake
// clock for the reload check.  The engine's limits are put back afterwards.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "buffers/store.h"
#include "platform/aviutl.h"
#include "script/engine.h"

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture() : edit(kW * kH), temp(kW * kH) {
        namespace fs = std::filesystem;
        dir = fs::temp_directory_path() /
              ("quorvel-engine-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        edited_file() = (dir / "movie.avi").string();
        exfunc.get_file_info = [](void*, FILE_INFO* fi) -> BOOL {
            fi->name = edited_file().c_str();
            return TRUE;
        };
        fp.exfunc = &exfunc;
        fp.track = tracks;
        fpip.ycp_edit = edit.data();
        fpip.ycp_temp = temp.data();
        fpip.w = fpip.max_w = kW;
        fpip.h = fpip.max_h = kH;
        set_engine_clock([] { return now(); });
        saved = script_limits();
    }
    ~EngineFixture() override {
        close_engine();
        free_slots();
        release_all_dynamic();
        set_engine_clock(nullptr);
        set_script_limits(saved);
        std::filesystem::remove_all(dir);
    }

    static std::int64_t& now() {
        static std::int64_t seconds = 1000;
        return seconds;
    }
    static std::string& edited_file() {
        static std::string name;
        return name;
    }

    // Saves the script with a new time, so that the next frame loads it.
    void script(const std::string& text, const std::string& name = "filter.lua") {
        std::ofstream(dir / name) << text;
        ++now();
        std::filesystem::last_write_time(
            dir / name, std::filesystem::file_time_type(std::chrono::seconds(now())));
    }
    std::string read(const std::string& name) {
        std::ifstream in(dir / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::string log() { return read("lua_err.txt"); }
    int frame() {
        ++now();
        return run_frame(&fp, &fpip);
    }

    static constexpr int kW = 16, kH = 8;
    std::filesystem::path dir;
    int tracks[12] = {0, 2, 0, 0, 0, 0, 0, 0, 0, 2048, 2048, 2048};
    std::vector<PIXEL_YC> edit, temp;
    EXFUNC exfunc{};
    FILTER fp{};
    FILTER_PROC_INFO fpip{};
    ScriptLimits saved;
};
