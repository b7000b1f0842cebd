// The batch scripts `quorvel cluster` hands to sbatch: a job array with one
// task per chunk, the join that runs when every task succeeded, and the
// report that runs when one failed.
#pragma once

#include <string>
#include <vector>

#include "cluster/chunk_plan.h"

struct BatchPlan {
    std::string program;                 // this program, as every node finds it
    std::string work;                    // the folder of the chunks, their logs and scripts
    std::string input;                   // the input, an absolute path
    std::string script_dir;              // the script folder, absolute
    std::string output;                  // the joined video, absolute
    std::vector<std::string> run_args;   // further options of each chunk's run
    std::vector<std::string> join_args;  // further options of the join
    std::vector<Chunk> chunks;
    int warmup = 0;
    int cpus = 1;                          // CPUs of each chunk's task
    std::vector<std::string> sbatch_args;  // given to every sbatch
    bool keep_chunks = false;              // keep the segments after the join
};

// "chunk_007": the name of chunk k's segment (.mkv), log (.log) and script
// folder (.script) in the work folder.
std::string chunk_name(const BatchPlan& plan, int k);
// The work folder's file that says how the whole ended: "done" or "failed"
// on its first line, then what to tell the user.
std::string result_path(const BatchPlan& plan);
std::string join_log_path(const BatchPlan& plan);

// `text` as one word of a POSIX shell command line.
std::string shell_quote(const std::string& text);

// The scripts, saved in the work folder under these names.
const char* const kChunksScript = "chunks.sh";
const char* const kJoinScript = "join.sh";
const char* const kFailureScript = "failed.sh";

// The job array: task k renders chunk k, once more when it fails.
std::string chunks_script(const BatchPlan& plan);
// The join of the segments into the output, and the result.
std::string join_script(const BatchPlan& plan);
// The report of the chunks that failed, in the join's log and the result.
std::string failure_script(const BatchPlan& plan);

// The sbatch command lines that submit them: the array, then the join
// (when every task of job `array_id` succeeded) and the report (when one
// failed), each cancelled by Slurm when its condition can no longer come.
std::vector<std::string> chunks_submission(const BatchPlan& plan);
std::vector<std::string> join_submission(const BatchPlan& plan, const std::string& array_id);
std::vector<std::string> failure_submission(const BatchPlan& plan, const std::string& array_id);
