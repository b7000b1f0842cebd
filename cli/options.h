// The host program's command line (CLI11): the commands
//
//   quorvel run [options]     run a script over video
//   quorvel preview [options] show a script's result live in a web browser
//   quorvel join SEG... -o DST  put the chunks of a run together
//   quorvel cluster [options] [-- run options]  render in chunks on Slurm
//   quorvel functions         list the script functions
//   quorvel help [NAME]       one function's reference entry
//   quorvel --help | --version
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/tracks.h"
#include "positions.h"

enum class Command { run, preview, functions, help, print, join, cluster };

struct Options {
    Command command = Command::run;
    std::string topic;  // help: the function asked about ("" for the usage)
    std::string text;   // print: the text to print (help, version), then exit 0

    std::string input = "pattern:640x360";
    std::string output;      // empty: frames are processed and discarded
    std::string script_dir;  // empty: the input file's folder, else the current folder
    // The frames to run: from `start` (--start, -ss) to `end` (--end, -to;
    // a frame number is the last frame run, a time is where the run stops)
    // or for `duration` (-t) from the start, at most `frames` of them.
    Position start;
    Position end;
    bool end_given = false;
    Position duration;
    bool duration_given = false;
    int frames = -1;            // -1: no limit given
    int max_w = 0, max_h = 0;   // 0: the input's size
    std::vector<int> tracks;    // one value per track of the plug-in's filter table
    std::string answer = "ok";  // how message boxes are answered: yes, no or ok
    // An output that exists already: asked about on a terminal (ffmpeg's
    // way), else kept; -y overwrites it, -n keeps it.
    enum class Overwrite { ask, yes, no } overwrite = Overwrite::ask;
    std::string progress_url;  // -progress: ffmpeg's key=value blocks go here
    bool strict = false;
    bool keep_going = false;  // script errors do not fail the run
    bool progress = false;
    bool info = false;
    std::vector<std::pair<int, int>> clicks;  // --click X,Y, in order
    // Which frames the script sees: "source", one per decoded picture with
    // its timestamp, or "cfr", one per step of the nominal rate.
    std::string timeline = "source";
    std::string timecodes;   // write the frames' times (v2 timecodes) here
    bool autorotate = true;  // turn a picture stored on its side upright
    bool read_ahead = true;  // decode the next frames while the script works
    // Threads of FFmpeg's decoder and encoder: --threads when given (so
    // that --threads 1 keeps the whole run to about one core, as ffmpeg's
    // -threads does), else 0, as many as the machine has.
    int codec_threads = 0;
    std::string pix_fmt = "420p";
    int crf = 18;
    std::string codec;  // "": by the output's extension
    // What a script may spend, 0 for no limit: seconds a frame, and bytes
    // (half the machine's memory unless given).
    double frame_timeout = 30;
    std::uint64_t memory_limit = 0;
    bool memory_limit_given = false;
    bool sandbox = false;
    // join: the segments in order, and the audio: --audio-from, else the
    // input the segments name, or none.
    std::vector<std::string> segments;
    std::string audio_from;
    bool no_audio = false;
    // cluster: how the frames are cut into chunks and how each chunk runs;
    // the options after "--" go to every chunk's quorvel run.
    int chunks = 0, chunk_frames = 0;
    int warmup = -1;  // frames run before a chunk's first, unwritten; -1: ask the script
    int cpus_per_chunk = 1;
    std::string work_dir;  // "": the output's name + ".chunks"
    std::vector<std::string> sbatch_args, run_args;
    bool wait = false, dry_run = false, keep_chunks = false;
    // preview: where the page is served; port 0 takes any free port.
    std::string bind = "127.0.0.1";
    int port = 8080;
};

// "512M", "2G", "1048576": bytes, with K, M, G or T (powers of 1024); false
// for anything else.
bool parse_bytes(const std::string& text, std::uint64_t* bytes);

// Parses argv (after the program name).  On a usage error returns false
// with the message in *error.  `table` is the plug-in's filter table, whose
// tracks the track options set (tracks.h); when it is null (the plug-in
// could not be loaded) they are not checked or kept.  `version` is the
// text --version prints.
bool parse_options(int argc, char** argv, const FILTER* table, Options* options, std::string* error,
                   const std::string& version = "");

// The help of `quorvel run`; the variables and their range come from
// `table` when there is one.
std::string usage_text(const FILTER* table);
