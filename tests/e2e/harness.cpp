#include "harness.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::string slurp(int fd) {
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(n));
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

bool ScriptDir::exists(const std::string& name) const { return std::filesystem::exists(file(name)); }

RunResult run_quorvel(const std::vector<std::string>& args) {
    // Standard error goes to a file so that neither pipe can fill up and
    // block the child while the other is read.
    char err_name[] = "/tmp/quorvel-stderr-XXXXXX";
    const int err_fd = mkstemp(err_name);
    int out_pipe[2];
    RunResult result;
    if (err_fd < 0 || pipe(out_pipe) != 0) return result;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out_pipe[1], STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        close(out_pipe[0]);
        close(out_pipe[1]);
        std::vector<char*> argv;
        std::string binary = QUORVEL_BINARY;
        argv.push_back(binary.data());
        std::vector<std::string> copy = args;
        for (std::string& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(out_pipe[1]);
    result.out = slurp(out_pipe[0]);
    close(out_pipe[0]);
    int status = 0;
    waitpid(child, &status, 0);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    lseek(err_fd, 0, SEEK_SET);
    result.err = slurp(err_fd);
    close(err_fd);
    unlink(err_name);
    return result;
}

RunResult run_script(const ScriptDir& dir, const std::string& script, const std::string& input, int frames,
                     const std::vector<std::string>& extra) {
    dir.write("filter.lua", script);
    std::vector<std::string> args = {"run", "--input", input, "--frames", std::to_string(frames),
                                     "--script-dir", dir.path()};
    args.insert(args.end(), extra.begin(), extra.end());
    return run_quorvel(args);
}

Y4mVideo parse_y4m(const std::string& bytes) {
    Y4mVideo video;
    const std::size_t header_end = bytes.find('\n');
    if (bytes.rfind("YUV4MPEG2", 0) != 0 || header_end == std::string::npos) return video;
    std::istringstream header(bytes.substr(0, header_end));
    for (std::string tag; header >> tag;) {
        if (tag[0] == 'W') video.w = std::atoi(tag.c_str() + 1);
        if (tag[0] == 'H') video.h = std::atoi(tag.c_str() + 1);
    }
    const std::size_t frame_size = static_cast<std::size_t>(video.w) * video.h * 3;
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
