#include "cluster/batch_files.h"

#include <algorithm>

namespace {

int name_digits(const BatchPlan& plan) {
    return std::max<int>(3, static_cast<int>(std::to_string(plan.chunks.size() - 1).size()));
}

std::string words(const std::vector<std::string>& list) {
    std::string line;
    for (const std::string& w : list) {
        line += ' ';
        line += shell_quote(w);
    }
    return line;
}

std::string numbers(const std::vector<Chunk>& chunks, int Chunk::*field) {
    std::string line;
    for (const Chunk& c : chunks) {
        if (!line.empty()) line += ' ';
        line += std::to_string(c.*field);
    }
    return line;
}

// The lines every script starts with; sbatch's options come on its
// command line, where no quoting can go wrong.
std::string header(const std::string& what) {
    return "#!/bin/bash\n# Written by quorvel cluster: " + what + ".\nset -u\n";
}

std::vector<std::string> submission(const BatchPlan& plan, const std::string& job,
                                    const std::vector<std::string>& options, const char* script) {
    std::vector<std::string> argv = {"sbatch", "--parsable", "--job-name=" + job};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.insert(argv.end(), plan.sbatch_args.begin(), plan.sbatch_args.end());
    argv.push_back(plan.work + "/" + script);
    return argv;
}

// Writes the result file: the outcome, then `text` (a shell word).  It
// appears whole, under its name only when written.
std::string result_line(const BatchPlan& plan, const char* outcome, const std::string& text) {
    const std::string path = shell_quote(result_path(plan));
    return std::string("printf '") + outcome + "\\n%s\\n' " + text + " >" + path + ".part && mv " +
           path + ".part " + path + "\n";
}

}  // namespace

std::string chunk_name(const BatchPlan& plan, int k) {
    std::string number = std::to_string(k);
    number.insert(0, std::max<int>(0, name_digits(plan) - static_cast<int>(number.size())), '0');
    return "chunk_" + number;
}

std::string result_path(const BatchPlan& plan) { return plan.work + "/result.txt"; }
std::string join_log_path(const BatchPlan& plan) { return plan.work + "/join.log"; }

std::string shell_quote(const std::string& text) {
    if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTU"
                                                "VWXYZ0123456789_-+=/.,:@%") == std::string::npos)
        return text;
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string chunks_script(const BatchPlan& plan) {
    const std::string digits = std::to_string(name_digits(plan));
    const std::string work = shell_quote(plan.work);
    std::string s = header("task k of the job array renders chunk k");
    s += "firsts=(" + numbers(plan.chunks, &Chunk::first) + ")\n";
    s += "lasts=(" + numbers(plan.chunks, &Chunk::last) + ")\n";
    s += "k=$SLURM_ARRAY_TASK_ID\n";
    s += "first=${firsts[$k]} last=${lasts[$k]}\n";
    s += "printf -v name 'chunk_%0" + digits + "d' \"$k\"\n";
    s += "work=" + work + "\n";
    s += "segment=$work/$name.mkv\n";
    // The script runs from a folder of the chunk's own, so that its
    // lua_err.txt is not shared with the chunks that run beside it: copies
    // of the script folder's .lua files, links to everything else.
    s += "scripts=$work/$name.script\n";
    s += "rm -rf \"$scripts\" \"$segment\" && mkdir -p \"$scripts\" || exit 1\n";
    s += "for f in " + shell_quote(plan.script_dir) + "/*; do\n";
    s += "    b=${f##*/}\n";
    s += "    [ -e \"$f\" ] && [ \"$b\" != lua_err.txt ] || continue\n";
    s += "    case $b in\n";
    s += "        *.lua) [ -f \"$f\" ] && cp \"$f\" \"$scripts/$b\" || ln -s \"$f\" "
         "\"$scripts/$b\" ;;\n";
    s += "        *) ln -s \"$f\" \"$scripts/$b\" ;;\n";
    s += "    esac\n";
    s += "done\n";
    // As many threads as the task has CPUs, within the program's 1 to 16.
    s += "threads=${SLURM_CPUS_PER_TASK:-1}\n";
    s += "[ \"$threads\" -gt 16 ] && threads=16\n";
    s += "for attempt in 1 2; do\n";
    s += "    echo \"quorvel cluster: chunk $k, frames $first to $last with " +
         std::to_string(plan.warmup) +
         " frames of warm-up, attempt $attempt of 2, on $(hostname) with $threads threads\"\n";
    s += "    TIMEFORMAT=\"quorvel cluster: chunk $k ran %R s (%U s user, %S s system)\"\n";
    s += "    time " + shell_quote(plan.program) + " run" + words(plan.run_args) + " --input " +
         shell_quote(plan.input) + " --script-dir \"$scripts\" --output \"$segment\" -y" +
         " --start \"$first\" --end \"$last\" --warmup " + std::to_string(plan.warmup) +
         " --threads \"$threads\"\n";
    s += "    status=$?\n";
    s += "    [ $status -eq 0 ] && exit 0\n";
    s += "    rm -f \"$segment\"\n";
    s += "    echo \"quorvel cluster: chunk $k failed (exit status $status)\"\n";
    s += "done\n";
    s += "exit 1\n";
    return s;
}

std::string join_script(const BatchPlan& plan) {
    std::string s = header("the join, when every chunk is done");
    std::vector<std::string> segments;
    for (std::size_t k = 0; k < plan.chunks.size(); ++k)
        segments.push_back(plan.work + "/" + chunk_name(plan, static_cast<int>(k)) + ".mkv");
    s += "echo \"quorvel cluster: joining " + std::to_string(plan.chunks.size()) +
         " chunks on $(hostname)\"\n";
    s += "if " + shell_quote(plan.program) + " join" + words(segments) + words(plan.join_args) +
         " --output " + shell_quote(plan.output) + "; then\n";
    // The result comes last: whoever waits for it finds everything done.
    if (!plan.keep_chunks) s += "    rm -f" + words(segments) + "\n";
    s += "    " + result_line(plan, "done", shell_quote("quorvel cluster: wrote " + plan.output));
    s += "    exit 0\n";
    s += "fi\n";
    s += result_line(plan, "failed",
                     shell_quote("quorvel cluster: the join failed, " + plan.output +
                                 " was not written: see " + join_log_path(plan)));
    s += "exit 1\n";
    return s;
}

std::string failure_script(const BatchPlan& plan) {
    std::string s = header("the report, when a chunk failed");
    s += "report=" + shell_quote("quorvel cluster: " + plan.output + " was not written:") + "\n";
    for (std::size_t k = 0; k < plan.chunks.size(); ++k) {
        const std::string name = plan.work + "/" + chunk_name(plan, static_cast<int>(k));
        const Chunk& c = plan.chunks[k];
        s += "[ -f " + shell_quote(name + ".mkv") + " ] || report+=" +
             shell_quote("\nchunk " + std::to_string(k) + " (frames " + std::to_string(c.first) +
                         " to " + std::to_string(c.last) + ") failed twice; its log is " + name +
                         ".log") +
             "\n";
    }
    s += "echo \"$report\"\n";
    s += result_line(plan, "failed", "\"$report\"");
    s += "exit 1\n";
    return s;
}

std::vector<std::string> chunks_submission(const BatchPlan& plan) {
    return submission(
        plan, "quorvel-chunks",
        {"--array=0-" + std::to_string(plan.chunks.size() - 1),
         "--cpus-per-task=" + std::to_string(plan.cpus),
         "--output=" + plan.work + "/chunk_%" + std::to_string(name_digits(plan)) + "a.log"},
        kChunksScript);
}

std::vector<std::string> join_submission(const BatchPlan& plan, const std::string& array_id) {
    return submission(plan, "quorvel-join",
                      {"--dependency=afterok:" + array_id, "--kill-on-invalid-dep=yes",
                       "--output=" + join_log_path(plan), "--open-mode=append"},
                      kJoinScript);
}

std::vector<std::string> failure_submission(const BatchPlan& plan, const std::string& array_id) {
    return submission(plan, "quorvel-failed",
                      {"--dependency=afternotok:" + array_id, "--kill-on-invalid-dep=yes",
                       "--output=" + join_log_path(plan), "--open-mode=append"},
                      kFailureScript);
}
