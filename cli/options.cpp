#include "options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "ffmpeg_habits.h"

namespace {

// Everything as the command line gives it; numbers are checked afterwards
// so that every message names the option and the value.
struct Raw {
    std::string frames, start, end, ss, to, duration, max, script_no, threads, display, crf,
        frame_timeout, memory_limit, port, chunks, chunk_frames, warmup, cpus;
    bool overwrite = false, keep = false, no_autorotate = false, no_read_ahead = false;
    std::vector<std::string> vars, clicks;
    bool version = false;
};

const char* const kRunFooter =
    "SRC is any video or image sequence FFmpeg reads, 8 to 16 bits, or a Y4M file or stream;\n"
    "the default is pattern:640x360 (colour bars, a grey ramp, a moving disc).  DST: .mp4 and\n"
    ".mov are H.264 (--crf), .mkv is lossless FFV1 (--codec h264 for H.264), .png the last\n"
    "frame, out_%05d.png every frame; audio is copied into .mp4, .mov and .mkv.  Without\n"
    "--output frames are processed and discarded.  An output file that exists is kept unless\n"
    "-y (asked about on a terminal).  A picture stored on its side (a phone's portrait clip) is\n"
    "turned upright before the script and written upright (--no-autorotate: as stored).\n"
    "\n"
    "The script is filter.lua (filterN.lua for --script-no N) in the script folder: --script-dir,\n"
    "else the input file's folder, else (when that has none) the current folder; the run says\n"
    "which one runs.  It is reloaded when saved.  Its\n"
    "messages go to lua_err.txt there; each is shown once, when it first happens, with a line\n"
    "of explanation for the known ones, and all are counted at the end.  A script that does not\n"
    "load (or defines no video_filter) ends the run at its first frame; one that fails on a\n"
    "frame makes the run exit 1 once every frame is written (--keep-going: exit 0).\n"
    "\n"
    "POSITIONS: --start and --end take a frame number (120, or f120) or a time (5s, 500ms,\n"
    "1:05, 00:00:05.2, 5.2); a time picks the first frame that starts at or after it, and an\n"
    "end time stops the run before the frame that starts there.  ffmpeg's -ss, -to and -t\n"
    "work as in ffmpeg: a plain number is seconds there (f120 is a frame).  A run that starts\n"
    "after frame 0 is a cut: the output starts at 0 and the audio is cut to the same span.\n"
    "\n"
    "Frame numbers are the input's: with --start 100 the script's first info.frame is 100, and\n"
    "info.frame_n is the input's length.  With --timeline cfr they count the steps of the\n"
    "input's frame rate (a repeat where the input dropped a frame).  copyframe reaches any frame\n"
    "of a file (it seeks to the key frame before it and decodes forward; recent frames are\n"
    "kept); on a pipe only the frames still kept are reachable (the five before the current\n"
    "one), and for others it copies nothing.  On a pipe the length is unknown: info.frame_n is\n"
    "the end of --end/--frames, else 2147483647.\n"
    "\n"
    "FFMPEG'S HABITS: -ss, -to, -t, -y, -n and -progress URL (pipe:1, pipe:2, a file, tcp://...:\n"
    "ffmpeg's key=value blocks twice a second) work as in ffmpeg; --pix-fmt takes ffmpeg's\n"
    "names; other ffmpeg options (-vf, -c:v, -pix_fmt, -r, ...) are refused with ours named.\n"
    "\n"
    "SANDBOX: with --sandbox the script cannot run programs or end the process (os.execute,\n"
    "os.exit, os.tmpname, io.popen), load native code (package.loadlib, C modules), use the\n"
    "debug library or load precompiled chunks, and opens files only inside its own folder.\n"
    "The time budget and the memory cap stay on (--frame-timeout and --memory-limit above 0).\n"
    "\n"
    "Exit status: 0 when every frame was processed and the script ran without an error; 1 when\n"
    "the input could not be read or is damaged, a frame failed, the output could not be written\n"
    "or exists (without -y), or the script failed or did not load (--keep-going: not for the\n"
    "script; --strict: also when there is no script); 2 for a usage error.\n";

void add_run_options(CLI::App* run, Options* o, Raw* raw, const FILTER* table) {
    const std::string variables = table != nullptr ? variables_help(*table) : "";
    run->add_option(
           "-i,--input", o->input,
           "clip.mp4, img_%05d.png, in.y4m, - (Y4M on standard input), pattern:WxH, blank:WxH")
        ->type_name("SRC");
    run->add_option(
           "-o,--output", o->output,
           "out.mp4, out.mov, out.mkv, out.y4m, - (Y4M on standard output), out.png, out_%05d.png")
        ->type_name("DST");
    run->add_option("-s,--start", raw->start,
                    "first frame to run (default 0), or a time: 5s, 00:00:05.2 (see POSITIONS)")
        ->type_name("N|TIME");
    run->add_option("-e,--end", raw->end,
                    "last frame to run, included (default: the input's last), or the time where "
                    "the run stops")
        ->type_name("N|TIME");
    run->add_option("--ss", raw->ss, "ffmpeg's -ss: where to start")->group("");
    run->add_option("--to", raw->to, "ffmpeg's -to: where to stop")->group("");
    run->add_option("-t,--duration", raw->duration,
                    "how long to run from the start (ffmpeg's -t): 10 (seconds), 10s, 1:30, f250")
        ->type_name("TIME");
    run->add_flag("-y", raw->overwrite, "overwrite an output file that exists, without asking");
    run->add_flag("-n", raw->keep, "never overwrite an output file that exists: exit 1");
    run->add_option("--progress-url", o->progress_url, "ffmpeg's -progress")->group("");
    run->add_option("--frames", raw->frames,
                    "run at most N frames (a generated input has 30 unless told)")
        ->type_name("N");
    run->add_option("--script-dir", o->script_dir,
                    "folder of the script (default: the input file's folder)")
        ->type_name("DIR");
    run->add_option("--warmup", raw->warmup,
                    "run the W frames before --start through the script first, unwritten "
                    "(info.warmup)")
        ->type_name("W");
    run->add_option("--script-no", raw->script_no,
                    "run filterN.lua instead of filter.lua (1 to 10)")
        ->type_name("N");
    run->add_option("-a,--var", raw->vars,
                    variables.empty() ? std::string("set one of the script's variables")
                                      : "set one of the script's variables " + variables)
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    run->add_option("--threads", raw->threads, "worker threads (1 to 16, default 2); given, also FFmpeg's decoder's and encoder's")
        ->type_name("N");
    run->add_option("--display", raw->display,
                    "show buffer N instead of the script's output (0 to 19, default 0: the output)")
        ->type_name("N");
    run->add_option("--max", raw->max,
                    "frame buffers larger than the picture, for drawing outside it")
        ->type_name("WxH");
    run->add_option(
           "--answer", o->answer,
           "how msgbox boxes (printed to standard error) are answered (default: OK, or Yes)")
        ->type_name("yes|no|ok");
    run->add_option("--click", raw->clicks,
                    "after the last frame, click the picture at X,Y: print its colour information")
        ->type_name("X,Y")
        ->allow_extra_args(false);
    run->add_option("--pix-fmt", o->pix_fmt,
                    "420p (default), 422p, 444p, 420p10, 422p10 or 444p10, or ffmpeg's names "
                    "(yuv420p, yuv422p10le, ...): Y4M and video output")
        ->type_name("FMT");
    run->add_option("--crf", raw->crf,
                    "H.264 quality, 0 (lossless) to 51 (default 18; lower is better)")
        ->type_name("N");
    run->add_option("--codec", o->codec, "h264 or ffv1 (default: ffv1 for .mkv, h264 otherwise)")
        ->type_name("NAME");
    run->add_option("--timeline", o->timeline,
                    "source (default): one frame per decoded picture, its timestamp kept; cfr: "
                    "one frame per step of the input's frame rate, repeats where it has gaps")
        ->type_name("source|cfr");
    run->add_flag("--no-autorotate", raw->no_autorotate,
                  "keep a picture stored on its side as stored, with its rotation tag (default: "
                  "turned upright, as players show it, before the script)");
    run->add_flag("--no-read-ahead", raw->no_read_ahead,
                  "read each frame when the script is ready for it (default: the next frames "
                  "are decoded on a thread of their own while the script works)");
    run->add_option("--timecodes", o->timecodes,
                    "write each output frame's time to FILE (v2 timecodes, for a muxer; Y4M has "
                    "none)")
        ->type_name("FILE");
    run->add_flag("-p,--progress", o->progress,
                  "frame, fps and time left on standard error, also into a pipe");
    run->add_flag("--info", o->info,
                  "print the input's size, frames, rate and format, the script, the tracks; exit");
    run->add_flag("--strict", o->strict, "exit 1 also when there is no script (before any frame)");
    run->add_flag("--keep-going", o->keep_going,
                  "exit 0 although the script failed, and pass the frames through when it does "
                  "not load");
    run->add_option(
           "--frame-timeout", raw->frame_timeout,
           "end a frame whose script runs longer than S seconds (default 30, 0 for no limit)")
        ->type_name("S");
    run->add_option("--memory-limit", raw->memory_limit,
                    "memory the script may hold, 512M, 2G, ... (default: half the machine's, 0 for "
                    "no limit)")
        ->type_name("BYTES");
    run->add_flag("--sandbox", o->sandbox, "run an untrusted script: see SANDBOX below");
    run->footer(kRunFooter);
}

const char* const kPreviewFooter =
    "Serves a page that shows the filtered frame and redraws it whenever something changes: the\n"
    "plug-in's tracks as sliders, its check box, the display buffer, the frame and play, zoom\n"
    "and pan with the pixel under the cursor, a click's colour information, the script's errors\n"
    "and msgbox texts.  Saving the script shows its new result at once.  Open the address it\n"
    "prints; Ctrl+C ends it.  The input must be one the program can seek in (not a pipe).\n";

void add_preview_options(CLI::App* preview, Options* o, Raw* raw, const FILTER* table) {
    const std::string variables = table != nullptr ? variables_help(*table) : "";
    preview
        ->add_option("-i,--input", o->input,
                     "clip.mp4, img_%05d.png, in.y4m, pattern:WxH, blank:WxH")
        ->type_name("SRC");
    preview
        ->add_option("--script-dir", o->script_dir,
                     "folder of the script (default: the input file's folder)")
        ->type_name("DIR");
    preview
        ->add_option("--script-no", raw->script_no,
                     "start with filterN.lua instead of filter.lua (1 to 10)")
        ->type_name("N");
    preview
        ->add_option("-a,--var", raw->vars,
                     variables.empty()
                         ? std::string("start with one of the script's variables set")
                         : "start with one of the script's variables " + variables + " set")
        ->type_name("NAME=VALUE")
        ->allow_extra_args(false);
    preview->add_option("--threads", raw->threads, "worker threads (1 to 16, default 2); given, also FFmpeg's decoder's and encoder's")
        ->type_name("N");
    preview
        ->add_option("--display", raw->display,
                     "start showing buffer N (0 to 19, default 0: the output)")
        ->type_name("N");
    preview->add_option("-s,--start", raw->start, "the frame shown first (default 0), or a time")
        ->type_name("N|TIME");
    preview->add_option("--ss", raw->ss, "ffmpeg's -ss")->group("");
    preview->add_option("--frames", raw->frames, "frames of a generated input (default 30)")
        ->type_name("N");
    preview
        ->add_option("--timeline", o->timeline,
                     "source (default): one frame per decoded picture; cfr: one per step of the "
                     "input's frame rate")
        ->type_name("source|cfr");
    preview->add_flag("--no-autorotate", raw->no_autorotate,
                      "keep a picture stored on its side as stored (default: turned upright)");
    preview
        ->add_option("--max", raw->max,
                     "frame buffers larger than the picture, for drawing outside it")
        ->type_name("WxH");
    preview
        ->add_option("--answer", o->answer,
                     "how msgbox boxes (shown in the page's log) are answered")
        ->type_name("yes|no|ok");
    preview
        ->add_option(
            "--frame-timeout", raw->frame_timeout,
            "end a frame whose script runs longer than S seconds (default 5, 0 for no limit)")
        ->type_name("S");
    preview
        ->add_option("--memory-limit", raw->memory_limit,
                     "memory the script may hold, 512M, 2G, ... (default: half the machine's, 0 "
                     "for no limit)")
        ->type_name("BYTES");
    preview->add_flag("--sandbox", o->sandbox, "run an untrusted script (see quorvel run --help)");
    preview
        ->add_option("--port", raw->port,
                     "the port to serve the page on (default 8080, 0: any free port)")
        ->type_name("P");
    preview
        ->add_option("--bind", o->bind,
                     "the address to listen on (default 127.0.0.1: this machine only; 0.0.0.0 for "
                     "every network)")
        ->type_name("ADDR");
    preview->footer(kPreviewFooter);
}

const char* const kJoinFooter =
    "The segments are .mkv outputs of quorvel run --start/--end of one input, given in order;\n"
    "they must be coded alike (FFV1, or H.264 whose chunks start with a key frame) and hold\n"
    "frames that follow one another with no gap or overlap.  The video is copied as it is;\n"
    "the audio comes from the input the segments name (or --audio-from), cut to the frames\n"
    "they cover.  The output is written under a temporary name and renamed when complete.\n";

void add_join_options(CLI::App* join, Options* o, Raw* raw) {
    join->add_option("segments", o->segments, "the chunks, in order")->type_name("SEG");
    join->add_option("-o,--output", o->output, "the joined video: out.mkv (out.mp4 for H.264)")
        ->type_name("DST");
    join->add_flag("-y", raw->overwrite, "overwrite an output file that exists, without asking");
    join->add_flag("-n", raw->keep, "never overwrite an output file that exists: exit 1");
    join->add_option("--audio-from", o->audio_from,
                     "take the audio from FILE (default: the input the segments name)")
        ->type_name("FILE");
    join->add_flag("--no-audio", o->no_audio, "write the video alone");
    join->footer(kJoinFooter);
}

const char* const kClusterFooter =
    "Cuts the frames into chunks, writes batch scripts into the work folder and submits them\n"
    "with sbatch: a job array whose task k runs quorvel run --start/--end --warmup W on chunk k\n"
    "(with --threads from the task's CPUs; a failed chunk is run once more), the join when every\n"
    "chunk succeeded, and a report that names the failed chunk's log otherwise.  The input, the\n"
    "script folder, the work folder, the output and this program must be on storage that every\n"
    "node sees.  The warm-up is by default what the script keeps for copyframe; state that\n"
    "reaches further back (buffers 2 to 19, Lua globals) needs --warmup.  Options of each\n"
    "chunk's run (--var, --script-no, --strict, --pix-fmt, --crf, --codec, ...) come after "
    "\"--\".\n"
    "Prints the job ids (array, join, report) on standard output.\n";

void add_cluster_options(CLI::App* cluster, Options* o, Raw* raw) {
    cluster->add_option("-i,--input", o->input, "the video to render (a file every node reads)")
        ->type_name("SRC");
    cluster->add_option("-o,--output", o->output, "the joined video: out.mkv (FFV1), out.mp4")
        ->type_name("DST");
    cluster->add_flag("-y", raw->overwrite, "let the join overwrite an output file that exists");
    cluster->add_flag("-n", raw->keep, "never overwrite an output file that exists: exit 1");
    cluster
        ->add_option("--script-dir", o->script_dir,
                     "folder of the script (default: the input file's folder)")
        ->type_name("DIR");
    cluster->add_option("-s,--start", raw->start, "first frame (default 0)")->type_name("N");
    cluster->add_option("-e,--end", raw->end, "last frame, included (default: the input's last)")
        ->type_name("N");
    cluster->add_option("--chunks", raw->chunks, "cut the frames into N chunks")->type_name("N");
    cluster->add_option("--chunk-frames", raw->chunk_frames, "cut them into chunks of F frames")
        ->type_name("F");
    cluster
        ->add_option("--warmup", raw->warmup,
                     "frames each chunk runs before its first, unwritten (default: what the "
                     "script keeps for copyframe)")
        ->type_name("W");
    cluster
        ->add_option("--cpus-per-chunk", raw->cpus,
                     "CPUs of each chunk's task, its --threads (default 1)")
        ->type_name("N");
    cluster
        ->add_option("--work-dir", o->work_dir,
                     "folder of the chunks, their logs and the batch scripts (default: "
                     "DST.chunks)")
        ->type_name("DIR");
    cluster
        ->add_option("--sbatch", o->sbatch_args,
                     "an option for every sbatch, e.g. --sbatch=--partition=render")
        ->type_name("ARG")
        ->allow_extra_args(false);
    cluster->add_flag("--keep-chunks", o->keep_chunks, "keep the chunks after the join");
    cluster->add_flag("--no-audio", o->no_audio, "join the video alone");
    cluster->add_flag("--wait", o->wait, "wait for the join and say how it ended");
    cluster->add_flag("--dry-run", o->dry_run,
                      "write the batch scripts and print the sbatch commands; submit nothing");
    cluster->add_option("run-options", o->run_args, "options of each chunk's quorvel run, after --")
        ->type_name("");
    cluster->footer(kClusterFooter);
}

void build_app(CLI::App* app, Options* o, Raw* raw, const FILTER* table, CLI::App** run,
               CLI::App** preview, CLI::App** functions, CLI::App** help, CLI::App** join,
               CLI::App** cluster) {
    app->description(
        "Runs a Quorvel script over video: quorvel run --input clip.mp4 --output out.mp4");
    app->add_flag("--version", raw->version, "print the version and exit");
    *run = app->add_subcommand("run", "run a script over video");
    add_run_options(*run, o, raw, table);
    *preview = app->add_subcommand(
        "preview", "show a script's result live in a web browser, with the tracks as sliders");
    add_preview_options(*preview, o, raw, table);
    *join = app->add_subcommand(
        "join", "put the chunks of a run together into one video, without re-encoding");
    add_join_options(*join, o, raw);
    *cluster = app->add_subcommand("cluster", "render in chunks on a Slurm cluster and join them");
    add_cluster_options(*cluster, o, raw);
    *functions =
        app->add_subcommand("functions", "list the script functions with their argument forms");
    *help = app->add_subcommand(
        "help", "print a function's entry of the reference (quorvel help mkmask_hsv)");
    (*help)->add_option("name", o->topic, "the function")->type_name("NAME");
    app->footer(
        "quorvel run --help lists the options of a run; examples/README.md has example scripts.");
    app->require_subcommand(0, 1);
    app->get_formatter()->column_width(26);
}

bool parse_pair(const std::string& text, char separator, int* a, int* b) {
    const std::size_t at = text.find(separator);
    if (at == std::string::npos) return false;
    return parse_int(text.substr(0, at), a) && parse_int(text.substr(at + 1), b);
}

// A track option, checked against the table's tracks when there is one.
bool set_track(const FILTER* table, const TrackSetting& setting, Options* o, std::string* error) {
    return table == nullptr || apply_track_setting(*table, setting, &o->tracks, error);
}

bool whole_number(const std::string& option, const std::string& value, int min, int* out,
                  std::string* error) {
    if (value.empty()) return true;
    if (!parse_int(value, out) || *out < min) {
        *error = option + " must be a whole number" +
                 (min > 0 ? " from " + std::to_string(min) : "") + " (got \"" + value + "\")";
        return false;
    }
    return true;
}

// Our name of an output layout, from ours or ffmpeg's; "" for neither.
std::string pixel_format_name(const std::string& name) {
    // Ours, ffmpeg's, and ffmpeg's without the byte order (10-bit output
    // is little-endian).
    static const char* const kNames[][3] = {
        {"420p", "yuv420p", "yuv420p"},         {"422p", "yuv422p", "yuv422p"},
        {"444p", "yuv444p", "yuv444p"},         {"420p10", "yuv420p10le", "yuv420p10"},
        {"422p10", "yuv422p10le", "yuv422p10"}, {"444p10", "yuv444p10le", "yuv444p10"}};
    for (const auto& names : kNames)
        for (const char* n : names)
            if (name == n) return names[0];
    return "";
}

// A position option: --start and --end read a whole number as a frame,
// ffmpeg's -ss, -to and -t as seconds.  Two spellings of one are refused.
bool position_option(const char* ours, const std::string& ours_value, const char* ffmpegs,
                     const std::string& ffmpegs_value, Position* out, bool* given,
                     std::string* error) {
    if (!ours_value.empty() && !ffmpegs_value.empty()) {
        *error = std::string("give ") + ours + " or " + ffmpegs + ", not both";
        return false;
    }
    const bool plain_frames = !ours_value.empty();
    const std::string& value = plain_frames ? ours_value : ffmpegs_value;
    if (value.empty()) return true;
    if (!parse_position(value, plain_frames ? PlainNumber::frame : PlainNumber::seconds, out)) {
        const char* name = plain_frames ? ours : ffmpegs;
        *error = std::string(name) + " must be " +
                 (plain_frames ? "a frame number (120, f120) or a time (5s, 00:00:05.2)"
                               : "a time (5, 5.2, 5s, 00:00:05.2) or a frame number (f120)") +
                 " (got \"" + value + "\")";
        // ffmpeg's -s is a picture size; here it is --start.
        int w = 0, h = 0;
        if (std::string(name) == "--start" && parse_pair(value, 'x', &w, &h))
            *error += "; -s is --start here: a picture size is the script's to make (resize)";
        return false;
    }
    if (given) *given = true;
    return true;
}

// -y or -n, for the commands that write a file.
bool check_overwrite_flags(const Raw& raw, Options* o, std::string* error) {
    if (raw.overwrite && raw.keep) {
        *error = "-y and -n contradict each other: give one";
        return false;
    }
    o->overwrite = raw.overwrite ? Options::Overwrite::yes
                   : raw.keep    ? Options::Overwrite::no
                                 : Options::Overwrite::ask;
    return true;
}

// The checks CLI11 leaves: numbers, sizes, positions and the tracks.
bool check_run(const Raw& raw, const FILTER* table, Options* o, std::string* error) {
    bool start_given = false;
    if (!whole_number("--frames", raw.frames, 0, &o->frames, error) ||
        !position_option("--start", raw.start, "-ss", raw.ss, &o->start, &start_given, error) ||
        !position_option("--end", raw.end, "-to", raw.to, &o->end, &o->end_given, error) ||
        !position_option("", "", "-t", raw.duration, &o->duration, &o->duration_given, error) ||
        !whole_number("--crf", raw.crf, 0, &o->crf, error) ||
        !whole_number("--warmup", raw.warmup, 0, &o->warmup, error))
        return false;
    if (o->duration_given && o->end_given) {
        *error = "give -t or an end (--end, -to), not both";
        return false;
    }
    if (o->end_given && !o->end.is_time && !o->start.is_time && o->end.frame < o->start.frame) {
        *error = "--end " + raw.end + " is before --start " + std::to_string(o->start.frame);
        return false;
    }
    o->autorotate = !raw.no_autorotate;
    o->read_ahead = !raw.no_read_ahead;
    if (!check_overwrite_flags(raw, o, error)) return false;
    if (!o->pix_fmt.empty()) {
        const std::string ours = pixel_format_name(o->pix_fmt);
        if (ours.empty()) {
            *error =
                "--pix-fmt must be 420p, 422p, 444p, 420p10, 422p10 or 444p10 (or yuv420p, "
                "yuv422p, yuv444p, yuv420p10le, yuv422p10le, yuv444p10le) (got \"" +
                o->pix_fmt + "\")";
            return false;
        }
        o->pix_fmt = ours;
    }
    if (o->progress_url == "pipe:1" && o->output == "-") {
        *error =
            "-progress pipe:1 and --output - both want standard output: send the progress "
            "elsewhere (pipe:2, a file)";
        return false;
    }
    if (o->crf > 51) {
        *error = "--crf must be from 0 to 51 (got \"" + raw.crf + "\")";
        return false;
    }
    if (!raw.max.empty() &&
        (!parse_pair(raw.max, 'x', &o->max_w, &o->max_h) || o->max_w < 1 || o->max_h < 1)) {
        *error = "--max must be WxH, for example 1920x1080 (got \"" + raw.max + "\")";
        return false;
    }
    if (o->strict && o->keep_going) {
        *error = "--strict and --keep-going contradict each other: give one";
        return false;
    }
    if (o->timeline != "source" && o->timeline != "cfr") {
        *error = "--timeline must be source or cfr (got \"" + o->timeline + "\")";
        return false;
    }
    if (o->answer != "yes" && o->answer != "no" && o->answer != "ok") {
        *error = "--answer must be yes, no or ok (got \"" + o->answer + "\")";
        return false;
    }
    if (!raw.frame_timeout.empty()) {
        char* end = nullptr;
        o->frame_timeout = std::strtod(raw.frame_timeout.c_str(), &end);
        if (*end != '\0' || !(o->frame_timeout >= 0) || o->frame_timeout > 1e6) {
            *error =
                "--frame-timeout must be seconds, 0 or more (got \"" + raw.frame_timeout + "\")";
            return false;
        }
    }
    if (!raw.memory_limit.empty()) {
        if (!parse_bytes(raw.memory_limit, &o->memory_limit)) {
            *error = "--memory-limit must be bytes, such as 512M or 2G (got \"" + raw.memory_limit +
                     "\")";
            return false;
        }
        o->memory_limit_given = true;
    }
    if (o->sandbox && (o->frame_timeout == 0 || (o->memory_limit_given && o->memory_limit == 0))) {
        *error =
            "--sandbox keeps the time budget and the memory cap: give --frame-timeout and "
            "--memory-limit "
            "above 0";
        return false;
    }
    for (const std::string& click : raw.clicks) {
        int x = 0, y = 0;
        // The editor's click message holds each coordinate in 16 bits; a
        // larger one would wrap round to another pixel.  Positions beyond
        // the picture but within that range reach the plug-in, which
        // ignores them as it ignores such clicks in the editor.
        if (!parse_pair(click, ',', &x, &y) || x < 0 || y < 0 || x > 32767 || y > 32767) {
            *error = "--click must be X,Y, whole numbers from 0 to 32767 (got \"" + click + "\")";
            return false;
        }
        o->clicks.emplace_back(x, y);
    }
    const std::pair<const char*, const std::string*> named[] = {
        {"script-no", &raw.script_no}, {"threads", &raw.threads}, {"display", &raw.display}};
    for (const auto& [option, value] : named)
        if (!value->empty() && !set_track(table, {option, *value, false}, o, error)) return false;
    // The track took the number: it is whole and in range.
    if (!raw.threads.empty() && parse_int(raw.threads, &o->codec_threads))
        o->codec_threads = std::max(o->codec_threads, 1);
    for (const std::string& var : raw.vars) {
        const std::size_t eq = var.find('=');
        if (eq == std::string::npos) {
            *error = "--var must be NAME=VALUE (got \"" + var + "\")";
            return false;
        }
        if (!set_track(table, {var.substr(0, eq), var.substr(eq + 1), true}, o, error))
            return false;
    }
    return true;
}

// The checks of the cluster's numbers.
// The cluster cuts at frames: its --start and --end are frame numbers.
bool check_cluster(const Raw& raw, Options* o, std::string* error) {
    int start = 0, end = 0;
    if (!whole_number("--start", raw.start, 0, &start, error) ||
        !whole_number("--end", raw.end, 0, &end, error) ||
        !whole_number("--chunks", raw.chunks, 1, &o->chunks, error) ||
        !whole_number("--chunk-frames", raw.chunk_frames, 1, &o->chunk_frames, error) ||
        !whole_number("--warmup", raw.warmup, 0, &o->warmup, error) ||
        !whole_number("--cpus-per-chunk", raw.cpus, 1, &o->cpus_per_chunk, error))
        return false;
    if (!raw.end.empty() && end < start) {
        *error = "--end " + raw.end + " is before --start " + std::to_string(start);
        return false;
    }
    if (!check_overwrite_flags(raw, o, error)) return false;
    o->start.frame = start;
    o->end.frame = end;
    o->end_given = !raw.end.empty();
    if (raw.chunks.empty() == raw.chunk_frames.empty()) {
        *error = "give either --chunks N or --chunk-frames F";
        return false;
    }
    if (o->cpus_per_chunk > 16) {
        *error = "--cpus-per-chunk must be from 1 to 16 (got \"" + raw.cpus + "\")";
        return false;
    }
    return true;
}

// CLI11's complaints in the program's words.
std::string usage_message(const CLI::ParseError& e, bool in_run) {
    const std::string what = e.what();
    if (dynamic_cast<const CLI::ExtrasError*>(&e) != nullptr) {
        const std::size_t colon = what.find(": ");
        std::string extra = colon == std::string::npos ? "" : what.substr(colon + 2);
        // CLI11 lists them last first.
        const std::size_t space = extra.rfind(' ');
        if (space != std::string::npos) extra = extra.substr(space + 1);
        // ffmpeg's spellings were translated for CLI11: say them as given.
        static const char* const kTranslated[][2] = {
            {"-ss", "--ss"}, {"-to", "--to"}, {"-progress", "--progress-url"}};
        for (const auto& names : kTranslated)
            if (extra == names[1]) extra = names[0];
        if (!extra.empty() && extra[0] == '-') return "unknown option \"" + extra + "\"";
        return in_run ? "unexpected argument \"" + extra + "\""
                      : "unknown command \"" + extra + "\"";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) != nullptr &&
        what.find(" missing") != std::string::npos) {
        const std::size_t colon = what.find(':');
        if (colon != std::string::npos) return what.substr(0, colon) + " needs a value";
    }
    return what;
}

}  // namespace

bool parse_bytes(const std::string& text, std::uint64_t* bytes) {
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0]))) return false;
    char* end = nullptr;
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    std::string unit = end;
    if (!unit.empty() && (unit.back() == 'B' || unit.back() == 'b')) unit.pop_back();
    if (unit.size() > 1 && unit.back() == 'i') unit.pop_back();  // KiB, MiB, ...
    double scale = 1;
    if (unit.size() == 1) {
        const char* units = "KMGT";
        const char* at = std::strchr(units, std::toupper(static_cast<unsigned char>(unit[0])));
        if (at == nullptr) return false;
        scale = std::pow(1024.0, static_cast<double>(at - units + 1));
    } else if (!unit.empty()) {
        return false;
    }
    const double value = number * scale;
    if (errno != 0 || !(value >= 0) || value > 1.8e19) return false;
    *bytes = static_cast<std::uint64_t>(value);
    return true;
}

std::string usage_text(const FILTER* table) {
    CLI::App app{"", "quorvel"};
    Options o;
    Raw raw;
    CLI::App *run = nullptr, *preview = nullptr, *functions = nullptr, *help = nullptr,
             *join = nullptr, *cluster = nullptr;
    build_app(&app, &o, &raw, table, &run, &preview, &functions, &help, &join, &cluster);
    return run->help("quorvel");
}

bool parse_options(int argc, char** argv, const FILTER* table, Options* o, std::string* error,
                   const std::string& version) {
    if (table != nullptr) o->tracks = default_tracks(*table);
    CLI::App app{"", "quorvel"};
    Raw raw;
    CLI::App *run = nullptr, *preview = nullptr, *functions = nullptr, *help = nullptr,
             *join = nullptr, *cluster = nullptr;
    build_app(&app, o, &raw, table, &run, &preview, &functions, &help, &join, &cluster);
    std::vector<std::string> args(argv, argv + argc);
    if (!translate_ffmpeg_habits(&args, error)) return false;
    // CLI11 takes the arguments last first.
    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
    } catch (const CLI::CallForHelp&) {
        o->command = Command::print;
        o->text = run->parsed()       ? run->help("quorvel")
                  : preview->parsed() ? preview->help("quorvel")
                  : join->parsed()    ? join->help("quorvel")
                  : cluster->parsed() ? cluster->help("quorvel")
                                      : app.help();
        return true;
    } catch (const CLI::ParseError& e) {
        *error = usage_message(e, run->parsed() || preview->parsed());
        return false;
    }
    if (raw.version) {
        o->command = Command::print;
        o->text = version;
        return true;
    }
    if (functions->parsed()) {
        o->command = Command::functions;
        return true;
    }
    if (join->parsed()) {
        o->command = Command::join;
        return check_overwrite_flags(raw, o, error);
    }
    if (cluster->parsed()) {
        o->command = Command::cluster;
        return check_cluster(raw, o, error);
    }
    if (help->parsed()) {
        o->command = o->topic.empty() ? Command::print : Command::help;
        if (o->topic.empty()) o->text = app.help();
        return true;
    }
    if (preview->parsed()) {
        o->command = Command::preview;
        // A preview answers quickly: a script that runs away is stopped
        // sooner than in a run, unless told otherwise.
        if (raw.frame_timeout.empty()) o->frame_timeout = 5;
        if (!raw.port.empty() &&
            (!parse_int(raw.port, &o->port) || o->port < 0 || o->port > 65535)) {
            *error = "--port must be a whole number from 0 to 65535 (got \"" + raw.port + "\")";
            return false;
        }
        return check_run(raw, table, o, error);
    }
    if (!run->parsed()) {
        *error = "missing command (quorvel run, preview, join, cluster, functions or help)";
        return false;
    }
    o->command = Command::run;
    return check_run(raw, table, o, error);
}
