// `quarlo_host check MODULE.dll [--abi gnu|msvc] [--seed N] [--timeout SECONDS] [--json FILE]`
//
// Runs every check case in a child process of its own (`quarlo_host
// check-case MODULE ID SEED [--abi ABI]`), so a module that crashes or hangs
// ends only its case: "crashed" with the exception code, or "failed" after
// the time-out.
// Human report on out, one line a case:
//
//   seed 1234
//   passed client.version: reports the same client version on every call (version 71)
//   ...
//   summary 13 passed, 0 failed, 1 skipped, 0 warning, 0 crashed
//
// --json writes the same as {"module","seed","all_passed","cases":[{"id",
// "description","status","details"}]}. Exit status 0 only when every case passed.
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "quarlo/win32.h"
#include "quarlo_host/check_cases.h"
#include "quarlo_host/commands.h"
#include "quarlo_host/program_folder.h"
#include "quarlo_host/utf.h"

namespace quarlo_host {

namespace {

constexpr char result_prefix[] = "result ";

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

bool parse_status(const std::string& name, check_status& out) {
  for (auto s : {check_status::passed, check_status::failed, check_status::skipped,
                 check_status::warning, check_status::crashed}) {
    if (name == status_name(s)) {
      out = s;
      return true;
    }
  }
  return false;
}

// Runs one case in a child process and reads its result line.
check_result run_isolated(const check_case& c, const check_context& context, DWORD timeout_ms) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 1 << 16)) {
    return {check_status::failed, "cannot create a pipe"};
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
  std::wstring command = quote(program) + L" check-case " + quote(to_wide(context.module_path)) +
                         L" " + quote(to_wide(c.id)) + L" " + std::to_wstring(context.seed);
  if (context.abi) command += L" --abi " + to_wide(abi_name(*context.abi));
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &process);
  CloseHandle(write_end);
  CloseHandle(null_device);
  if (!started) {
    CloseHandle(read_end);
    return {check_status::failed, "cannot start " + to_utf8(program)};
  }
  CloseHandle(process.hThread);
  const bool finished = WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0;
  if (!finished) TerminateProcess(process.hProcess, 1);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  std::string output;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got != 0) {
    output.append(buffer, got);
  }
  CloseHandle(read_end);
  if (!finished) {
    return {check_status::failed, "timed out after " + std::to_string(timeout_ms / 1000) + " s"};
  }
  const size_t at = output.find(result_prefix);
  if (at != std::string::npos) {
    const std::string line =
        output.substr(at + sizeof result_prefix - 1,
                      output.find_first_of("\r\n", at) - at - (sizeof result_prefix - 1));
    const size_t blank = line.find(' ');
    check_result result{check_status::failed, {}};
    if (parse_status(line.substr(0, blank), result.status)) {
      if (blank != std::string::npos) result.details = line.substr(blank + 1);
      return result;
    }
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08lX", static_cast<unsigned long>(code));
  return {check_status::crashed, std::string("ended with exit code ") + hex + " and no result"};
}

std::string json_text(const std::string& s) {
  std::string out = "\"";
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// A crashing module must end its own process quietly, with the exception code.
LONG WINAPI end_with_exception_code(EXCEPTION_POINTERS* info) {
  TerminateProcess(GetCurrentProcess(), info->ExceptionRecord->ExceptionCode);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

int check_case_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  module_abi abi = module_abi::gnu;
  const bool abi_given = args.size() == 5 && args[3] == "--abi";
  if ((args.size() != 3 && !abi_given) || (abi_given && !parse_abi(args[4], abi))) {
    err << command_usage("check-case");
    return 2;
  }
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  SetUnhandledExceptionFilter(end_with_exception_code);
  for (const auto& c : check_cases()) {
    if (args[1] != c.id) continue;
    check_context context{args[0], static_cast<uint32_t>(std::stoul(args[2])), std::nullopt};
    if (abi_given) context.abi = abi;
    const check_result r = run_check_case(c, context);
    out << result_prefix << status_name(r.status) << " " << r.details << std::endl;
    return 0;
  }
  err << "quarlo_host: no check case '" << args[1] << "'\n";
  return 2;
}

int check_command(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string module;
  std::string json_path;
  auto seed = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count() &
                                    0x7FFFFFFF);
  unsigned long timeout_s = 60;
  std::optional<module_abi> abi;
  try {
    for (size_t i = 0; i < args.size(); ++i) {
      const bool has_value = i + 1 < args.size();
      if (args[i] == "--seed" && has_value) {
        seed = static_cast<uint32_t>(std::stoul(args[++i]));
      } else if (args[i] == "--timeout" && has_value) {
        timeout_s = std::stoul(args[++i]);
      } else if (args[i] == "--json" && has_value) {
        json_path = args[++i];
      } else if (module_abi parsed;
                 args[i] == "--abi" && has_value && parse_abi(args[i + 1], parsed)) {
        abi = parsed;
        ++i;
      } else if (module.empty() && args[i].rfind("--", 0) != 0) {
        module = args[i];
      } else {
        module.clear();
        break;
      }
    }
  } catch (const std::exception&) {
    module.clear();
  }
  if (module.empty()) {
    err << command_usage("check");
    return 2;
  }
  const check_context context{module, seed, abi};
  out << "seed " << seed << "\n";
  std::map<check_status, uint32_t> tally;
  std::string json_cases;
  for (const auto& c : check_cases()) {
    const check_result r = run_isolated(c, context, static_cast<DWORD>(timeout_s * 1000));
    ++tally[r.status];
    out << status_name(r.status) << " " << c.id << ": " << c.description;
    if (!r.details.empty()) out << " (" << r.details << ")";
    out << std::endl;
    json_cases += std::string(json_cases.empty() ? "" : ",") + "\n    {\"id\": " + json_text(c.id) +
                  ", \"description\": " + json_text(c.description) +
                  ", \"status\": " + json_text(status_name(r.status)) +
                  ", \"details\": " + json_text(r.details) + "}";
  }
  const bool all_passed = tally[check_status::passed] == check_cases().size();
  out << "summary " << tally[check_status::passed] << " passed, " << tally[check_status::failed]
      << " failed, " << tally[check_status::skipped] << " skipped, " << tally[check_status::warning]
      << " warning, " << tally[check_status::crashed] << " crashed\n";
  if (!json_path.empty()) {
    std::ofstream json(to_wide(json_path).c_str());
    json << "{\n  \"module\": " << json_text(module) << ",\n  \"seed\": " << seed
         << ",\n  \"all_passed\": " << (all_passed ? "true" : "false") << ",\n  \"cases\": ["
         << json_cases << "\n  ]\n}\n";
    if (!json) {
      err << "quarlo_host: cannot write " << json_path << "\n";
      return 1;
    }
  }
  return all_passed ? 0 : 1;
}

}  // namespace quarlo_host
