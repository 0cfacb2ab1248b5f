#include "quarlo_host/checker/case_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "quarlo/exception_io.h"
#include "quarlo/win32.h"
#include "quarlo_host/checker/case_output.h"
#include "quarlo_host/runtime/crash_report.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

// One argument quoted for CommandLineToArgvW.
std::wstring quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t slashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? 2 * slashes + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(2 * slashes, L'\\');
  return out + L"\"";
}

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

// The line a crashed child writes to ask for its dump.
constexpr char dump_request[] = "dump-request ";

// Set by the parent, through WriteProcessMemory, once the dump is written.
volatile LONG dump_written = 0;

// Writes the dump a child asked for in output ("dump-request THREAD POINTERS
// FLAG" on a line of its own), then sets the child's flag: true once done, with
// problem set when the dump could not be written.
bool dump_if_asked(const std::string& output, const PROCESS_INFORMATION& child,
                   const std::string& path, std::string& problem) {
  const size_t at = output.find(std::string("\n") + dump_request);
  if (at == std::string::npos || output.find('\n', at + 1) == std::string::npos) return false;
  unsigned long thread = 0;
  unsigned long long pointers = 0;
  unsigned long long flag = 0;
  DWORD error = ERROR_INVALID_DATA;
  if (std::sscanf(output.c_str() + at + 1 + sizeof dump_request - 1, "%lu %llx %llx", &thread,
                  &pointers, &flag) == 3) {
    error = write_minidump(child.hProcess, thread, static_cast<uintptr_t>(pointers),
                           to_wide(path).c_str());
  }
  if (error != ERROR_SUCCESS) {
    problem =
        "no minidump: " + path + " could not be written (error " + std::to_string(error) + ")";
  }
  const LONG written = 1;
  WriteProcessMemory(child.hProcess, reinterpret_cast<void*>(static_cast<uintptr_t>(flag)),
                     &written, sizeof written, nullptr);
  return true;
}

// Runs one case in a child process and reads its result line.
case_outcome run_isolated(const case_job& job, const runner_options& options) {
  case_outcome outcome{job, {check_status::failed, {}}};
  // From the pipe's making until the child has its end, no other case's
  // child may start: it would inherit this write end too, and the read below
  // would wait for that other child to end.
  static std::mutex inheriting;
  std::unique_lock<std::mutex> no_other_child(inheriting);
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) {
    outcome.result.details = "cannot create a pipe";
    return outcome;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  const HANDLE null_device =
      CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_device;
  startup.hStdOutput = write_end;
  startup.hStdError = null_device;
  const std::wstring program = program_folder() + L"quarlo_host.exe";
  std::wstring command = quote(program) + L" check-case " + quote(to_wide(options.module_path)) +
                         L" " + quote(to_wide(job.c->id)) + L" " + std::to_wstring(job.seed);
  if (options.abi) command += L" --abi " + to_wide(abi_name(*options.abi));
  command += L" --timeout " + to_wide(seconds_text(options.timeout_seconds));
  if (options.steps != 0) command += L" --steps " + std::to_wstring(options.steps);
  if (!options.dumps_folder.empty()) command += L" --dump";
  PROCESS_INFORMATION process{};
  const auto start = std::chrono::steady_clock::now();
  const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  CloseHandle(null_device);
  no_other_child.unlock();
  if (!started) {
    CloseHandle(read_end);
    outcome.result.details = "cannot start " + to_utf8(program);
    return outcome;
  }
  CloseHandle(process.hThread);
  // Read while waiting: a child must never block on a full pipe. A crashed
  // child that asks for its dump waits for it.
  std::string output;
  std::string dump_problem;
  std::thread reader([&] {
    char buffer[4096];
    DWORD got = 0;
    bool dumped = false;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got != 0) {
      output.append(buffer, got);
      if (!dumped && !options.dumps_folder.empty()) {
        dumped =
            dump_if_asked(output, process,
                          dump_file(options.dumps_folder, options.module_path, job), dump_problem);
      }
    }
  });
  // Clamped below INFINITE: a limit of weeks is as good as none.
  const auto limit_ms = static_cast<DWORD>(
      std::min(std::ceil(options.timeout_seconds * 1000), static_cast<double>(INFINITE - 1)));
  outcome.timed_out = WaitForSingleObject(process.hProcess, limit_ms) != WAIT_OBJECT_0;
  if (outcome.timed_out) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  reader.join();
  CloseHandle(process.hProcess);
  CloseHandle(read_end);
  if (outcome.timed_out) {
    outcome.result =
        expected_got("the case to end within " + seconds_text(options.timeout_seconds) + " s",
                     "no end; the case process was stopped");
    return outcome;
  }
  outcome.result = read_case_output(output, code);
  if (outcome.result.status == check_status::crashed) {
    outcome.result.details = with_pdb_symbol(outcome.result.details, options.module_path);
  }
  if (!dump_problem.empty()) outcome.result.details += "; " + dump_problem;
  return outcome;
}

}  // namespace

std::string dump_file(const std::string& folder, const std::string& module_path,
                      const case_job& job) {
  const size_t name = module_path.find_last_of("\\/:") + 1;
  const size_t dot = module_path.rfind('.');
  const std::string stem = module_path.substr(
      name, dot == std::string::npos || dot < name ? std::string::npos : dot - name);
  const bool separated = !folder.empty() && (folder.back() == '\\' || folder.back() == '/');
  return folder + (separated ? "" : "\\") + stem + "-" + job.c->id + "-" +
         std::to_string(job.seed) + ".dmp";
}

namespace {

case_outcome run_here(const case_job& job, const runner_options& options) {
  const auto start = std::chrono::steady_clock::now();
  case_outcome outcome{job, run_check_case(*job.c, {options.module_path, job.seed, options.abi,
                                                    options.timeout_seconds, options.steps})};
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return outcome;
}

}  // namespace

namespace {

// What the heap watch found wrong during a case (a write past a block's end
// or after its free, a double free) fails it, whatever else came of it.
check_result with_heap_faults(check_result r) {
  const std::vector<heap_fault> faults = heap_watch::take_faults();
  if (faults.empty() || r.status == check_status::crashed) return r;
  std::string found = heap_fault_text(faults.front());
  if (faults.size() > 1) found += ", and " + std::to_string(faults.size() - 1) + " more";
  const check_result heap = expected_got("no fault of the module's heap", found);
  if (r.status != check_status::failed) return heap;
  return failed(r.details + "; " + heap.details);
}

check_result run_guarded(const check_case& c, const check_context& context) {
  try {
    return c.run(context);
  } catch (const module_error& e) {
    return failed(std::string("the module cannot be loaded: ") + e.what());
  } catch (const std::bad_alloc&) {
    return expected_got("the case to end", "std::bad_alloc");
  } catch (const quarlo_io::exception_io& e) {
    return expected_got("the case to end", std::string("quarlo_io::exception_io: ") + e.what());
  } catch (const std::exception& e) {
    return expected_got("the case to end", std::string("an exception: ") + e.what());
  } catch (...) {
    return expected_got("the case to end", "an exception of unknown type");
  }
}

}  // namespace

check_result run_check_case(const check_case& c, const check_context& context) {
  struct clear_note {
    ~clear_note() { note_for_crash(nullptr); }
  } clear;
  return with_heap_faults(run_guarded(c, context));
}

std::vector<case_outcome> run_jobs(const std::vector<case_job>& jobs, const runner_options& options,
                                   const std::function<void(const case_outcome&)>& report) {
  std::vector<case_outcome> outcomes(jobs.size());
  if (options.in_process) {
    for (size_t i = 0; i < jobs.size(); ++i) {
      outcomes[i] = run_here(jobs[i], options);
      report(outcomes[i]);
    }
    return outcomes;
  }
  std::vector<bool> done(jobs.size(), false);
  std::atomic<size_t> next_job{0};
  std::mutex lock;
  size_t next_report = 0;
  const auto work = [&] {
    for (size_t i = next_job++; i < jobs.size(); i = next_job++) {
      case_outcome outcome = run_isolated(jobs[i], options);
      std::lock_guard<std::mutex> hold(lock);
      outcomes[i] = std::move(outcome);
      done[i] = true;
      while (next_report < jobs.size() && done[next_report]) report(outcomes[next_report++]);
    }
  };
  std::vector<std::thread> workers;
  const size_t n = std::max<size_t>(1, std::min<size_t>(options.jobs, jobs.size()));
  for (size_t i = 0; i < n; ++i) workers.emplace_back(work);
  for (auto& worker : workers) worker.join();
  return outcomes;
}

namespace {

char note[512];

}  // namespace

void note_for_crash(const char* text) {
  size_t n = 0;
  // Only what a JSON string holds unescaped.
  for (; text != nullptr && text[n] != '\0' && n + 1 < sizeof note; ++n) {
    const char c = text[n];
    note[n] = c < ' ' || c > '~' || c == '"' || c == '\\' ? '\'' : c;
  }
  note[n] = '\0';
}

void write_crash_result(const char* crash) {
  char line[1024 + sizeof note + 64];
  const int n =
      std::snprintf(line, sizeof line, "\n%s{\"status\":\"crashed\",\"details\":\"%s%s%s\"}\n",
                    case_result_prefix, crash, note[0] == '\0' ? "" : "; ", note);
  DWORD written = 0;
  const size_t length = n < 0 ? 0 : std::min(static_cast<size_t>(n), sizeof line - 1);
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

void request_crash_dump(const void* exception_pointers) {
  char line[128];
  const int n = std::snprintf(
      line, sizeof line, "\n%s%lu %llx %llx\n", dump_request,
      static_cast<unsigned long>(GetCurrentThreadId()),
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(exception_pointers)),
      static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(&dump_written)));
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(n), &written, nullptr);
  // The parent sets the flag once the dump is written, however long that
  // takes: its time limit for the case still holds.
  while (dump_written == 0) Sleep(10);
}

void run_case_for_parent(const check_case& c, const check_context& context, std::ostream& out) {
  out << case_result_line(run_check_case(c, context)) << std::flush;
}

}  // namespace quarlo_host
