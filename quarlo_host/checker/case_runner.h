// Runs cases: each in a child process of its own (`quarlo_host check-case`),
// several at once, with a time limit each, so a module that crashes or hangs
// ends only its case; or all in this process, one after another, for a
// debugger.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "quarlo_host/checker/check_case.h"

namespace quarlo_host {

struct case_job {
  const check_case* c;
  uint32_t seed;
  // 0 for the first run of the selection, 1 for the next, ...
  uint32_t repetition;
};

struct case_outcome {
  case_job job;
  check_result result;
  double seconds = 0;
  bool timed_out = false;
};

struct runner_options {
  std::string module_path;
  std::optional<module_abi> abi;
  double timeout_seconds = 60;
  uint32_t steps = 0;
  unsigned jobs = 1;
  bool in_process = false;
  // A folder for the minidump of each crashed case (empty: none), named
  // MODULE-CASE-SEED.dmp after the module's file name without its extension.
  std::string dumps_folder;
};

// The file a crashed case's minidump goes to in folder.
std::string dump_file(const std::string& folder, const std::string& module_path,
                      const case_job& job);

// Runs one case in this process; an exception leaving it counts as failed,
// with its type and message.
check_result run_check_case(const check_case& c, const check_context& context);

// Runs every job; report sees each outcome in the jobs' order, as soon as it
// and every one before it have ended. Returns the outcomes in that order.
std::vector<case_outcome> run_jobs(const std::vector<case_job>& jobs, const runner_options& options,
                                   const std::function<void(const case_outcome&)>& report);

// The child's side: runs c with context here and writes its result line to out.
void run_case_for_parent(const check_case& c, const check_context& context, std::ostream& out);

// What the running case is doing, for the report should the module crash
// it (null: nothing worth saying); cleared when the case ends. Kept in a
// fixed buffer, so reporting it needs no heap.
void note_for_crash(const char* text);
// The result line of a child whose module crashed: crash (what and where,
// plain ASCII without quotes or backslashes) and the crash note; written
// without the heap, which the crash may have broken.
void write_crash_result(const char* crash);
// The child's side of a crashed case's minidump, under check --dumps: asks
// the parent to write it (exception_pointers: the crash's EXCEPTION_POINTERS)
// and waits until it has. Without the heap.
void request_crash_dump(const void* exception_pointers);
}  // namespace quarlo_host
