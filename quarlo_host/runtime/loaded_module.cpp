#include "quarlo_host/runtime/loaded_module.h"

#include <string>
#include <vector>

#include <winternl.h>

#include "quarlo/module_entry.h"
#include "quarlo_host/runtime/bridge_client.h"
#include "quarlo_host/runtime/failed_load.h"
#include "quarlo_host/runtime/heap_watch.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

constexpr wchar_t shared_library_name[] = L"quarlo_shared.dll";

std::wstring full_path(const std::wstring& path) {
  const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return path;
  std::wstring full(n, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
  full.resize(written < n ? written : 0);
  return full.empty() ? path : full;
}

bool imports_shared_library(const pe_listing& image) {
  for (const pe_import& dll : image.imports) {
    if (lstrcmpiW(to_wide(dll.dll).c_str(), shared_library_name) == 0) return true;
  }
  return false;
}

// The ABI of a DLL already loaded, from its mapped import table.
module_abi loaded_abi(HMODULE dll) {
  const auto* base = reinterpret_cast<const uint8_t*>(dll);
  const auto& dos = *reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto& nt = *reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos.e_lfanew);
  return detect_abi(parse_pe(base, nt.OptionalHeader.SizeOfImage, true));
}

// Loads quarlo_shared.dll of abi for a module in folder, unless this very
// file is loaded already. One of another ABI in the process would serve the
// module's import in its place, so that is refused.
unique_module load_shared_library(module_abi abi, const std::wstring& folder) {
  std::vector<std::wstring> candidates = {folder + shared_library_name};
  candidates.push_back(program_folder() + (abi == module_abi::msvc ? L"msvc\\" : L"") +
                       shared_library_name);
  for (const std::wstring& candidate : candidates) {
    if (!file_exists(candidate)) continue;
    const HMODULE present = GetModuleHandleW(shared_library_name);
    if (present != nullptr && loaded_abi(present) != abi) {
      throw module_error(std::string("a quarlo_shared.dll of the ") +
                         abi_name(loaded_abi(present)) + " ABI is loaded already, and a " +
                         abi_name(abi) +
                         "-ABI module needs its own: load it in a process of its own");
    }
    unique_module shared(LoadLibraryExW(candidate.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (shared) return shared;
  }
  return unique_module();
}

// The loader's notice of a DLL mapped into the process, sent before the
// DLL's start-up code runs (ntdll's LdrRegisterDllNotification).
struct dll_notification_data {
  ULONG flags;
  const UNICODE_STRING* full_name;
  const UNICODE_STRING* base_name;
  void* base;
  ULONG image_size;
};
constexpr ULONG dll_loaded = 1;
using dll_notification_fn = void(CALLBACK*)(ULONG, const dll_notification_data*, void*);
using register_notification_fn = LONG(NTAPI*)(ULONG, dll_notification_fn, void*, void**);
using unregister_notification_fn = LONG(NTAPI*)(void*);

// Calls observer.mapped for the one image at path while it is registered.
class mapped_notice final {
 public:
  mapped_notice(const std::wstring& path, const load_observer& observer)
      : path_(path), observer_(observer) {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto subscribe = reinterpret_cast<register_notification_fn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrRegisterDllNotification")));
    unsubscribe_ = reinterpret_cast<unregister_notification_fn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "LdrUnregisterDllNotification")));
    if (!observer.mapped || subscribe == nullptr || unsubscribe_ == nullptr ||
        subscribe(0, &notice, this, &cookie_) != 0) {
      cookie_ = nullptr;
    }
  }
  mapped_notice(const mapped_notice&) = delete;
  mapped_notice& operator=(const mapped_notice&) = delete;
  ~mapped_notice() {
    if (cookie_ != nullptr) unsubscribe_(cookie_);
  }
  // Whether mapped has been called; when not, the caller calls it late.
  bool seen() const { return seen_; }

 private:
  static void CALLBACK notice(ULONG reason, const dll_notification_data* data, void* context) {
    auto& self = *static_cast<mapped_notice*>(context);
    if (reason != dll_loaded || self.seen_ || data->full_name == nullptr) return;
    const std::wstring name(data->full_name->Buffer, data->full_name->Length / sizeof(wchar_t));
    if (lstrcmpiW(name.c_str(), self.path_.c_str()) != 0) return;
    self.seen_ = true;
    self.observer_.mapped(static_cast<HMODULE>(data->base));
  }

  std::wstring path_;
  const load_observer& observer_;
  unregister_notification_fn unsubscribe_ = nullptr;
  void* cookie_ = nullptr;
  bool seen_ = false;
};

}  // namespace

loaded_module::loaded_module(std::string_view path, host_api& host, bool watch_heap,
                             std::optional<module_abi> abi, const load_observer& observer)
    : abi_(module_abi::msvc), unloading_(observer.unloading) {
  const std::string name(path);
  const std::wstring file = full_path(to_wide(path));
  std::optional<pe_listing> image;
  try {
    image = read_pe_file(path);
  } catch (const pe_error&) {
    // Not an image this host can read; loading it says what is wrong.
  }
  abi_ = abi ? *abi : image ? detect_abi(*image) : module_abi::msvc;
  if (image && imports_shared_library(*image)) {
    shared_library_ = load_shared_library(abi_, file.substr(0, file.find_last_of(L"\\/") + 1));
  }
  {
    mapped_notice notice(file, observer);
    module_.reset(LoadLibraryExW(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!module_) throw module_error(failed_load_message(name, GetLastError()));
    // A loader that sends no notice (or a module loaded already): as soon as may be.
    if (observer.mapped && !notice.seen()) observer.mapped(module_.get());
  }
  entry_ = reinterpret_cast<void*>(GetProcAddress(module_.get(), quarlo_entry_name));
  if (entry_ == nullptr) throw module_error(name + " does not export " + quarlo_entry_name);
  if (abi_ == module_abi::msvc) bridge_ = std::make_unique<bridge_client>();
  if (watch_heap) watched_imports_ = heap_watch::install(module_.get());
  if (observer.started) observer.started(module_.get());
  client_ = enter(host);
  if (client_ == nullptr) throw module_error(std::string(quarlo_entry_name) + " returned null");
}

loaded_module::~loaded_module() {
  // An exception on its way out may have been thrown by the module: its
  // object, type and text lie in the module's image, so the module (and what
  // it runs on) stays mapped until the process ends, and whoever catches it
  // can still read it.
  if (std::uncaught_exceptions() > uncaught_) {
    (void)module_.release();
    (void)bridge_.release();
    (void)shared_library_.release();
    return;
  }
  unload();
}

module_client* loaded_module::enter(host_api& host) {
  const auto instance = reinterpret_cast<HINSTANCE>(module_.get());
  if (bridge_) return bridge_->enter(entry_, host, instance);
  return reinterpret_cast<quarlo_get_interface_fn>(entry_)(&host, instance);
}

void loaded_module::unload() {
  if (module_ && unloading_) unloading_(module_.get());
  module_.reset();
  bridge_.reset();
  shared_library_.reset();
}

}  // namespace quarlo_host
