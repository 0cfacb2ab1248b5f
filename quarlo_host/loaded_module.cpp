#include "quarlo_host/loaded_module.h"

#include <string>

#include "quarlo/module_entry.h"
#include "quarlo_host/failed_load.h"
#include "quarlo_host/heap_watch.h"
#include "quarlo_host/utf.h"

namespace quarlo_host {

loaded_module::loaded_module(std::string_view path, host_api& host, bool watch_heap)
    : module_(LoadLibraryW(to_wide(path).c_str())) {
  const std::string name(path);
  if (!module_) throw module_error(failed_load_message(name, GetLastError()));
  const auto entry = reinterpret_cast<quarlo_get_interface_fn>(
      reinterpret_cast<void*>(GetProcAddress(module_.get(), quarlo_entry_name)));
  if (entry == nullptr) throw module_error(name + " does not export " + quarlo_entry_name);
  if (watch_heap) watched_imports_ = heap_watch::install(module_.get());
  client_ = entry(&host, reinterpret_cast<HINSTANCE>(module_.get()));
  if (client_ == nullptr) throw module_error(std::string(quarlo_entry_name) + " returned null");
}

}  // namespace quarlo_host
