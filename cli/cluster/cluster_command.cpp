#include "cluster/cluster_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "cluster/batch_files.h"
#include "edit.h"
#include "ffmpeg_habits.h"
#include "host/host_os.h"
#include "run/run_output.h"

namespace {

// Options of a chunk's run that the cluster command sets itself, after
// ffmpeg's spellings became ours (-ss is --ss).
bool set_by_cluster(const std::string& word) {
    static const char* const kOwn[] = {"--input",  "--output",  "--start",      "--end",
                                       "--frames", "--threads", "--warmup",     "--info",
                                       "--click",  "--script-dir", "--ss",      "--to",
                                       "--duration", "-y",      "-n"};
    const std::string name = word.substr(0, word.find('='));
    for (const char* own : kOwn)
        if (name == own) return true;
    // -i, -o, -s and -e, also with the value attached (-ofile).
    return word.size() >= 2 && word[0] == '-' && word[1] != '-' &&
           std::strchr("iose", word[1]) != nullptr;
}

// The chunks' run options, checked as `quorvel run` checks them; also
// what the probe of the script runs with.  0, or the exit status.
int parse_run_options(const Options& options, PluginHost& host, Options* run) {
    std::vector<std::string> words = {"run"};
    words.insert(words.end(), options.run_args.begin(), options.run_args.end());
    // ffmpeg's spellings first, so that -stats is told what it is here and
    // -ss is known as the start it sets.
    std::vector<std::string> ours = words;
    std::string error;
    if (!translate_ffmpeg_habits(&ours, &error))
        return usage_error("the chunks' run options: " + error);
    for (std::size_t i = 1; i < ours.size(); ++i)
        if (set_by_cluster(ours[i]))
            return usage_error(words[i] + " is set by quorvel cluster itself: give it before \"--\"");
    words.insert(words.end(), {"--input", options.input});
    if (!options.script_dir.empty())
        words.insert(words.end(), {"--script-dir", options.script_dir});
    words.insert(words.end(), {"--start", std::to_string(options.start.frame)});
    if (options.end_given)
        words.insert(words.end(), {"--end", std::to_string(options.end.frame)});
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    if (!parse_options(static_cast<int>(argv.size()), argv.data(), &host.table(), run, &error))
        return usage_error("the chunks' run options: " + error);
    if (run->command != Command::run)
        return usage_error("after \"--\" come options of quorvel run");
    return 0;
}

// How many frames before its first one the script reaches: runs two frames
// where the last chunk starts (where a script that looks back has frames
// to look at) and reads what the plug-in asked the editor to keep for
// copyframe.  -1 when the frames could not run.
int probe_reach(const Options& run, Edit& edit, PluginHost& host, int at) {
    if (apply_script_limits(run, edit, host) != 0) return -1;
    host.set_frame_n(edit.length);
    host.begin(edit.source.get(), edit.max_w, edit.max_h, edit.edited_file, run.tracks, nullptr);
    std::string error;
    bool ran = host.seek(at, &error);
    for (int n = at; ran && n < std::min(at + 2, edit.stop); ++n) {
        std::int64_t pts = 0;
        ran = host.read_next(&pts, &error) && host.process(n, &error);
    }
    host.end();
    if (!ran) {
        print_error("the script could not be tried on frame " + std::to_string(at) + ": " + error);
        return -1;
    }
    return host.cache_asked();
}

bool write_text(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    return !file.fail();
}

std::string command_line(const std::vector<std::string>& argv) {
    std::string line;
    for (const std::string& w : argv) {
        if (!line.empty()) line += ' ';
        line += shell_quote(w);
    }
    return line;
}

// sbatch: the job's id, or "" after saying why not.
std::string submit(const std::vector<std::string>& argv) {
    std::string output, error;
    const int status = host_os::run_program(argv, &output, &error);
    if (status != 0) {
        print_error(status < 0 ? error
                               : "sbatch failed (exit status " + std::to_string(status) + ")");
        return "";
    }
    // --parsable prints "id" or "id;cluster".
    output = output.substr(0, output.find_first_of(";\n"));
    if (output.empty()) print_error("sbatch did not say the job's id");
    return output;
}

// Waits until the join or the report has written the result (or both
// have left the queue without one) and prints it; the exit status.
int wait_for(const BatchPlan& plan, const std::string& jobs) {
    std::fprintf(stderr, "quorvel cluster: waiting for jobs %s\n", jobs.c_str());
    int failures = 0;
    for (int tick = 0; !is_file(result_path(plan)); ++tick) {
        // The result is looked for often, the queue asked once a second:
        // a job that ends without a result (cancelled) ends the wait too.
        if (tick % 10 != 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            continue;
        }
        std::string output, error;
        const int status =
            host_os::run_program({"squeue", "-h", "-j", jobs, "-o", "%i"}, &output, &error);
        if (status == 0 && output.find_first_not_of(" \n") == std::string::npos) break;
        failures = status == 0 ? 0 : failures + 1;
        if (failures == 10) {
            print_error("squeue does not answer: " +
                        (status < 0 ? error : "exit status " + std::to_string(status)));
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::ifstream result(result_path(plan));
    std::string outcome, line, text;
    if (!std::getline(result, outcome)) {
        print_error("the jobs ended without a result (cancelled?): see " + join_log_path(plan));
        return 1;
    }
    while (std::getline(result, line)) text += line + "\n";
    std::fputs(text.c_str(), stderr);
    return outcome == "done" ? 0 : 1;
}

bool ends_with(const std::string& s, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

int cluster_command(const Options& options, PluginHost& host) {
    if (options.input.empty() || options.output.empty())
        return usage_error("cluster needs --input and --output");
    const bool mkv = ends_with(options.output, ".mkv");
    if (!mkv && !ends_with(options.output, ".mp4") && !ends_with(options.output, ".mov"))
        return usage_error(
            "the cluster's output is .mkv (lossless FFV1, or H.264 with --codec "
            "h264 after \"--\"), .mp4 or .mov (H.264)");
    if (options.input == "-" || host_os::is_stream_file(options.input))
        return usage_error(options.input + " is a stream: chunks need an input they can seek in");
    Options run;
    if (const int status = parse_run_options(options, host, &run)) return status;
    // The chunks are Matroska files of the codec the output takes: FFV1
    // for a .mkv unless told, H.264 for the others.
    std::vector<std::string> run_args = options.run_args;
    if (!mkv && run.codec.empty()) {
        run.codec = "h264";
        run_args.insert(run_args.end(), {"--codec", "h264"});
    }
    if (run.codec == "ffv1" && !mkv) return usage_error("FFV1 chunks join only into a .mkv");

    Edit edit;
    if (const int status = open_input(run, &edit)) return status;
    if (!edit.source->random_access() && !edit.source->endless())
        return usage_error(options.input + " is a stream: chunks need an input they can seek in");
    if (const int status = choose_frames(run, &edit)) return status;
    if (edit.stop == INT_MAX || edit.stop <= edit.start)
        return usage_error("the frames to run are unknown: give --end");
    if (const int status = find_script(run, &edit)) return status;
    if (!is_file(edit.script)) {
        print_error("no script " + edit.script + ": nothing to render on a cluster");
        return 1;
    }
    std::string error;
    BatchPlan plan;
    plan.chunks =
        plan_chunks(edit.start, edit.stop - 1, options.chunks, options.chunk_frames, &error);
    if (plan.chunks.empty()) return usage_error(error);

    plan.warmup = options.warmup;
    if (plan.warmup < 0) {
        const int reach = probe_reach(run, edit, host, plan.chunks.back().first);
        if (reach < 0) return 1;
        plan.warmup = reach;
        std::fprintf(stderr,
                     "quorvel cluster: warm-up %d frames (%s); a script whose state reaches "
                     "further back needs --warmup\n",
                     reach,
                     reach > 0 ? "the frames the script keeps for copyframe"
                               : "the script asks for no earlier frames");
    }
    plan.program = host_os::program_folder() + host_os::kSeparator + "quorvel";
    plan.input = edit.generated ? options.input : absolute(options.input);
    plan.script_dir = edit.dir;
    plan.run_args = run_args;
    if (options.no_audio) plan.join_args.push_back("--no-audio");
    // An output already there is asked about now, not when the join runs.
    if (!options.dry_run)
        if (const int status = check_overwrite(options, options.output)) return status;
    plan.join_args.push_back("-y");
    plan.cpus = options.cpus_per_chunk;
    plan.sbatch_args = options.sbatch_args;
    plan.keep_chunks = options.keep_chunks;

    // Every node must see these paths: they are made absolute here.
    const std::string work =
        options.work_dir.empty() ? options.output + ".chunks" : options.work_dir;
    std::error_code made;
    std::filesystem::create_directories(work, made);
    if (made || !host_os::folder_can_be_entered(work))
        return usage_error("cannot make the work folder " + work);
    plan.work = absolute(work);
    plan.output = absolute(folder_of(options.output)) + host_os::kSeparator +
                  std::filesystem::path(options.output).filename().string();
    std::remove(result_path(plan).c_str());
    if (!write_text(plan.work + "/" + kChunksScript, chunks_script(plan)) ||
        !write_text(plan.work + "/" + kJoinScript, join_script(plan)) ||
        !write_text(plan.work + "/" + kFailureScript, failure_script(plan))) {
        print_error("cannot write the batch scripts into " + plan.work);
        return 1;
    }
    const Chunk& last = plan.chunks.back();
    std::fprintf(stderr, "quorvel cluster: %zu chunks of frames %d to %d, in %s\n",
                 plan.chunks.size(), plan.chunks.front().first, last.last, plan.work.c_str());
    if (options.dry_run) {
        std::printf("%s\n", command_line(chunks_submission(plan)).c_str());
        std::printf("%s\n", command_line(join_submission(plan, "ARRAY_JOB_ID")).c_str());
        std::printf("%s\n", command_line(failure_submission(plan, "ARRAY_JOB_ID")).c_str());
        return 0;
    }
    const std::string array = submit(chunks_submission(plan));
    if (array.empty()) return 1;
    const std::string join = submit(join_submission(plan, array));
    const std::string failed = join.empty() ? "" : submit(failure_submission(plan, array));
    if (join.empty() || failed.empty()) {
        std::string output;
        host_os::run_program({"scancel", array}, &output, &error);
        if (!join.empty()) host_os::run_program({"scancel", join}, &output, &error);
        print_error("the jobs were cancelled");
        return 1;
    }
    std::printf("%s %s %s\n", array.c_str(), join.c_str(), failed.c_str());
    std::fflush(stdout);
    std::fprintf(stderr,
                 "quorvel cluster: submitted the chunks as job %s, the join as job %s (and the "
                 "report of a failed chunk as job %s); the join's log is %s\n",
                 array.c_str(), join.c_str(), failed.c_str(), join_log_path(plan).c_str());
    return options.wait ? wait_for(plan, join + "," + failed) : 0;
}
