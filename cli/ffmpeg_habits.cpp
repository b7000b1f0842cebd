#include "ffmpeg_habits.h"

#include <cstring>

namespace {

struct Habit {
    const char* option;  // as ffmpeg spells it; a trailing ':' takes any stream suffix
    const char* instead;
};

const Habit kHabits[] = {
    {"-vf", "the script is the filter: filter.lua in the script folder (--script-dir DIR)"},
    {"-filter:", "the script is the filter: filter.lua in the script folder (--script-dir DIR)"},
    {"-filter_complex", "the script is the filter: filter.lua in the script folder"},
    {"-lavfi", "the script is the filter: filter.lua in the script folder"},
    {"-c", "--codec h264 or ffv1 (the default follows the output's name)"},
    {"-c:", "--codec h264 or ffv1 for the video; the audio is copied as it is"},
    {"-codec", "--codec h264 or ffv1"},
    {"-codec:", "--codec h264 or ffv1 for the video; the audio is copied as it is"},
    {"-vcodec", "--codec h264 or ffv1"},
    {"-acodec", "nothing: the input's audio is copied when the container can hold it"},
    {"-an",
     "nothing to leave out: the audio is copied into .mp4, .mov and .mkv only; write .y4m "
     "for none"},
    {"-pix_fmt", "--pix-fmt (it takes ffmpeg's names too: yuv420p, yuv422p10le, ...)"},
    {"-crf", "--crf N"},
    {"-b:", "--crf N (the quality, not a bit rate)"},
    {"-preset", "--crf N (the encoder's speed is fixed)"},
    {"-r", "--timeline cfr (the input's own rate; frames repeat where it has gaps)"},
    {"-fps_mode", "--timeline source or cfr"},
    {"-vsync", "--timeline source or cfr"},
    {"-frames", "--frames N"},
    {"-frames:", "--frames N"},
    {"-vframes", "--frames N"},
    {"-f", "nothing: the output's name chooses its format (out.mp4, out.mkv, out.y4m, - for Y4M)"},
    {"-map", "nothing: the input's best video stream and its audio are taken"},
    {"-threads", "--threads N"},
    {"-noautorotate", "--no-autorotate"},
    {"-autorotate",
     "nothing: a picture stored on its side is turned upright unless "
     "--no-autorotate"},
    {"-hide_banner", "nothing: quorvel prints no banner"},
    {"-loglevel", "nothing: quorvel says only what matters (-p for progress)"},
    {"-v", "nothing: quorvel says only what matters (-p for progress)"},
    {"-stats", "-p, --progress"},
    {"-nostats", "nothing: progress shows only on a terminal unless -p"},
};

// ffmpeg's spelling and ours.
const std::pair<const char*, const char*> kSynonyms[] = {
    {"-ss", "--ss"}, {"-to", "--to"}, {"-t", "--duration"}, {"-progress", "--progress-url"}};

const Habit* habit_of(const std::string& arg) {
    for (const Habit& h : kHabits) {
        const std::size_t n = std::strlen(h.option);
        if (h.option[n - 1] == ':' ? arg.size() > n && arg.compare(0, n, h.option) == 0
                                   : arg == h.option)
            return &h;
    }
    return nullptr;
}

}  // namespace

bool translate_ffmpeg_habits(std::vector<std::string>* args, std::string* error) {
    if (args->empty() || ((*args)[0] != "run" && (*args)[0] != "preview")) return true;
    for (std::size_t i = 1; i < args->size(); ++i) {
        std::string& arg = (*args)[i];
        if (arg == "--") break;
        // The value of an option that takes one is no option ("-o -" say).
        if (arg.size() < 2 || arg[0] != '-' || arg[1] == '-') continue;
        bool done = false;
        for (const auto& [ffmpeg, ours] : kSynonyms)
            if (arg == ffmpeg) {
                arg = ours;
                ++i;  // its value follows
                done = true;
                break;
            }
        if (done) continue;
        if (const Habit* h = habit_of(arg)) {
            *error = arg + " is ffmpeg's; here: " + h->instead;
            return false;
        }
    }
    return true;
}
