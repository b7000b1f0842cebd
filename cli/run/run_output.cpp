#include "run/run_output.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "edit.h"
#include "host/host_os.h"

namespace {

// The first file an output name makes: out_%05d.png's first frame (the
// pattern's number, %d or %05d say, given 0; %% is a percent sign).
std::string first_file_of(const std::string& output) {
    std::string name;
    bool numbered = false;
    for (std::size_t i = 0; i < output.size(); ++i) {
        if (output[i] != '%') {
            name += output[i];
            continue;
        }
        if (i + 1 < output.size() && output[i + 1] == '%') {
            name += '%';
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        while (j < output.size() && std::isdigit(static_cast<unsigned char>(output[j]))) ++j;
        if (numbered || j >= output.size() || (output[j] != 'd' && output[j] != 'i'))
            return output;  // not a pattern the PNG output takes: said there
        const int width = j > i + 1 ? std::atoi(output.substr(i + 1, j - i - 1).c_str()) : 1;
        name += std::string(static_cast<std::size_t>(std::clamp(width, 1, 64)) - 1, '0') + "0";
        numbered = true;
        i = j;
    }
    return name;
}

}  // namespace

int check_overwrite(const Options& options, const std::string& path) {
    std::error_code no_such_path;
    if (options.overwrite == Options::Overwrite::yes ||
        !std::filesystem::exists(path, no_such_path))
        return 0;
    if (options.overwrite == Options::Overwrite::ask && options.input != "-" &&
        host_os::stdin_is_terminal() && host_os::stderr_is_terminal()) {
        std::fprintf(stderr, "File '%s' already exists. Overwrite? [y/N] ", path.c_str());
        std::fflush(stderr);
        char answer[16] = "";
        if (std::fgets(answer, sizeof answer, stdin) != nullptr &&
            (answer[0] == 'y' || answer[0] == 'Y'))
            return 0;
    }
    print_error(path + " exists and is kept" +
                (options.overwrite == Options::Overwrite::no ? std::string(" (-n)")
                                                             : ": -y overwrites it"));
    return 1;
}

int open_output(const Options& options, const FrameSource& source, const ChunkTags& chunk,
                std::unique_ptr<FrameSink>* sink) {
    if (options.output.empty()) return 0;
    if (options.output != "-" && is_file(options.input) &&
        absolute(options.output) == absolute(options.input))
        return usage_error("the output " + options.output + " is the input: write to another file");
    if (options.output != "-")
        if (const int status = check_overwrite(options, first_file_of(options.output)))
            return status;
    SinkSettings settings;
    settings.name = options.output;
    settings.pix_fmt = options.pix_fmt;
    settings.crf = options.crf;
    settings.codec = options.codec;
    settings.codec_threads = options.codec_threads;
    settings.rate_num = source.rate_num(), settings.rate_den = source.rate_den();
    settings.tb_num = source.tb_num(), settings.tb_den = source.tb_den();
    settings.audio_file = source.audio_file();
    settings.display_matrix = source.display_matrix;
    settings.color_primaries = source.color_primaries, settings.color_trc = source.color_trc;
    settings.colorspace = source.colorspace;
    settings.chunk = chunk;
    if (options.output == "-") {
        // Standard output carries only the video: keep a private handle on
        // it for the frames and send everything else that writes to it (a
        // script's print, say) to standard error.
        settings.stream = host_os::take_standard_output();
        if (settings.stream == nullptr) {
            print_error("cannot set up standard output");
            return 1;
        }
    }
    std::string error;
    bool usage = false;
    *sink = open_sink(settings, &error, &usage);
    if (!*sink) {
        if (usage) return usage_error(error);
        print_error(error);
        return 1;
    }
    return 0;
}
