#include "harness.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

std::string slurp(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

}  // namespace

ScriptDir::ScriptDir() {
    char pattern[] = "/tmp/quorvel-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made ? made : "/tmp";
}

ScriptDir::~ScriptDir() {
    std::error_code ignored;
    if (path_ != "/tmp") std::filesystem::remove_all(path_, ignored);
}

void ScriptDir::write(const std::string& name, const std::string& text) const {
    std::ofstream(file(name), std::ios::binary) << text;
}

std::string ScriptDir::read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool ScriptDir::exists(const std::string& name) const {
    return std::filesystem::exists(file(name));
}

namespace {

bool writes_y4m(const std::vector<std::string>& args) {
    if (args.empty() || args[0] != "run") return false;
    bool y4m = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i].rfind("--pix-fmt", 0) == 0) return false;
        const std::string& a = args[i];
        if ((a == "--output" || a == "-o") && i + 1 < args.size()) {
            const std::string& v = args[i + 1];
            y4m = v == "-" || (v.size() > 4 && v.compare(v.size() - 4, 4, ".y4m") == 0);
        }
    }
    return y4m;
}

}  // namespace

RunResult run_quorvel(const std::vector<std::string>& args, const std::string& input) {
    // Standard error goes to a file so that neither pipe can fill up and
    // block the child while the other is read; standard input is a pipe,
    // fed by a thread of its own.
    char err_name[] = "/tmp/quorvel-stderr-XXXXXX";
    const int err_fd = mkstemp(err_name);
    int out_pipe[2], in_pipe[2];
    RunResult result;
    if (err_fd < 0 || pipe(out_pipe) != 0 || pipe(in_pipe) != 0) return result;
    const int in_fd = in_pipe[0];
    std::vector<std::string> copy = args;
    if (writes_y4m(args)) copy.insert(copy.end(), {"--pix-fmt", "444p"});
    // Tests write their outputs again and again: a run overwrites them (-y)
    // unless it says otherwise.
    if (!args.empty() && args[0] == "run" &&
        std::find(args.begin(), args.end(), "-n") == args.end() &&
        std::find(args.begin(), args.end(), "-y") == args.end())
        copy.insert(copy.begin() + 1, "-y");
    const pid_t child = fork();
    if (child == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        dup2(in_fd, STDIN_FILENO);
        close(in_pipe[0]);
        close(in_pipe[1]);
        close(out_pipe[0]);
        close(out_pipe[1]);
        std::vector<char*> argv;
        std::string binary = QUORVEL_BINARY;
        argv.push_back(binary.data());
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(in_fd);
    close(out_pipe[1]);
    // The child may stop reading early; a write to a closed pipe then fails
    // instead of ending the test with SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    std::thread feeder([&] {
        for (std::size_t at = 0; at < input.size();) {
            const ssize_t n = write(in_pipe[1], input.data() + at, input.size() - at);
            if (n <= 0) break;
            at += static_cast<std::size_t>(n);
        }
        close(in_pipe[1]);
    });
    result.out = slurp(out_pipe[0]);
    close(out_pipe[0]);
    feeder.join();
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    lseek(err_fd, 0, SEEK_SET);
    result.err = slurp(err_fd);
    close(err_fd);
    unlink(err_name);
    return result;
}

RunResult run_script(const ScriptDir& dir, const std::string& script, const std::string& input,
                     int frames, const std::vector<std::string>& extra) {
    if (script.empty())
        std::remove(dir.file("filter.lua").c_str());
    else
        dir.write("filter.lua", script);
    std::vector<std::string> args = {
        "run", "--input", input, "--frames", std::to_string(frames), "--script-dir", dir.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_quorvel(args);
}

int Y4mVideo::sample(int frame, int p, int x, int yy) const {
    const std::size_t bytes = bits > 8 ? 2 : 1;
    std::size_t at = 0;
    for (int q = 0; q < p; ++q) at += static_cast<std::size_t>(plane_w(q)) * plane_h(q);
    at = (at + static_cast<std::size_t>(yy) * plane_w(p) + x) * bytes;
    const std::vector<std::uint8_t>& f = frames[frame];
    return bytes == 1 ? f[at] : f[at] | f[at + 1] << 8;
}

Y4mVideo parse_y4m(const std::string& bytes) {
    Y4mVideo video;
    const std::size_t header_end = bytes.find('\n');
    if (bytes.rfind("YUV4MPEG2", 0) != 0 || header_end == std::string::npos) return video;
    std::istringstream header(bytes.substr(0, header_end));
    for (std::string tag; header >> tag;) {
        if (tag[0] == 'W') video.w = std::atoi(tag.c_str() + 1);
        if (tag[0] == 'H') video.h = std::atoi(tag.c_str() + 1);
        if (tag[0] == 'C') video.colour = tag.substr(1);
    }
    const std::string& c = video.colour;
    video.shift_x = c.rfind("444", 0) == 0 ? 0 : 1;
    video.shift_y = c.rfind("420", 0) == 0 ? 1 : 0;
    // "420p10", "444p16": the depth follows the p; "420jpeg", "444" are 8-bit.
    const std::size_t p = c.find('p');
    video.bits = p != std::string::npos && p + 1 < c.size() &&
                         std::isdigit(static_cast<unsigned char>(c[p + 1]))
                     ? std::atoi(c.c_str() + p + 1)
                     : 8;
    std::size_t frame_size = 0;
    for (int q = 0; q < 3; ++q)
        frame_size += static_cast<std::size_t>(video.plane_w(q)) * video.plane_h(q);
    if (video.bits > 8) frame_size *= 2;
    std::size_t at = header_end + 1;
    while (at + 6 + frame_size <= bytes.size() && bytes.compare(at, 6, "FRAME\n") == 0) {
        at += 6;
        video.frames.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                  bytes.begin() + static_cast<std::ptrdiff_t>(at + frame_size));
        at += frame_size;
    }
    return video;
}

Y4mVideo read_y4m(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return parse_y4m(text.str());
}
