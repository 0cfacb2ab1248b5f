#include "quarlo_host/runtime/bridge_client.h"

#include <string.h>

#include <exception>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "bridge_abi/bridge_abi.h"
#include "quarlo/exception_io.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo/named_service.h"
#include "quarlo_host/runtime/host_files.h"
#include "quarlo_host/runtime/loaded_module.h"
#include "quarlo_host/runtime/utf.h"

namespace quarlo_host {

namespace {

// The bridge, loaded once and kept: what it made for the host's objects must
// outlive every module of its ABI.
const bridge_module_calls* bridge = nullptr;
uint32_t live_modules = 0;

// Exceptions of the host's stopped on their way into the module, by token,
// kept until the outermost call into the module returns. Tokens are never
// reused, so a stale one finds nothing.
std::vector<std::pair<uint32_t, std::exception_ptr>> stopped;
uint32_t last_token = 0;
uint32_t call_depth = 0;

class call_scope final {
 public:
  call_scope() { ++call_depth; }
  call_scope(const call_scope&) = delete;
  call_scope& operator=(const call_scope&) = delete;
  ~call_scope() {
    if (--call_depth == 0) stopped.clear();
  }
};

void copy_message(bridge_failure& failure, const char* text) {
  if (text == nullptr) text = "";
  const size_t n = strnlen(text, sizeof failure.message - 1);
  memcpy(failure.message, text, n);
  failure.message[n] = '\0';
}

// Describes the exception being handled for the module's side and keeps it.
void stop_current(bridge_failure& failure) {
  try {
    stopped.emplace_back(last_token + 1, std::current_exception());
    failure.host_token = ++last_token;
  } catch (...) {
    failure.host_token = 0;
  }
  try {
    throw;
  } catch (const quarlo_io::exception_io_data_truncation& e) {
    failure.kind = bridge_exception_io_data_truncation;
    copy_message(failure, e.what());
  } catch (const quarlo_io::exception_io_data& e) {
    failure.kind = bridge_exception_io_data;
    copy_message(failure, e.what());
  } catch (const quarlo_io::exception_io& e) {
    failure.kind = bridge_exception_io;
    copy_message(failure, e.what());
  } catch (const std::bad_alloc& e) {
    failure.kind = bridge_bad_alloc;
    copy_message(failure, e.what());
  } catch (const std::exception& e) {
    failure.kind = bridge_std_exception;
    copy_message(failure, e.what());
  } catch (...) {
    failure.kind = bridge_unknown_exception;
    copy_message(failure, "an exception of a type the module does not know");
  }
}

// Runs one slot of a host object for the module; nothing the host throws
// reaches the module's frames.
template <class Work>
bridge_status stop(bridge_failure* failure, Work work) {
  try {
    work();
    return 0;
  } catch (...) {
    stop_current(*failure);
    return 1;
  }
}

// Throws what a call into the module reported, as the host's own exception.
[[noreturn]] void raise(const bridge_failure& failure) {
  for (const auto& [token, original] : stopped) {
    if (token == failure.host_token && original) std::rethrow_exception(original);
  }
  const std::string message(failure.message, strnlen(failure.message, sizeof failure.message));
  switch (failure.kind) {
    case bridge_bad_alloc:
      throw std::bad_alloc();
    case bridge_exception_io:
      throw quarlo_io::exception_io(message);
    case bridge_exception_io_data:
      throw quarlo_io::exception_io_data(message);
    case bridge_exception_io_data_truncation:
      throw quarlo_io::exception_io_data_truncation(message);
    default:
      throw module_exception(message);
  }
}

// Calls one function of the bridge's table and throws what it reports.
template <class Function, class... Arguments>
void call(Function function, Arguments... arguments) {
  const call_scope scope;
  bridge_failure failure{};
  if (function(arguments..., &failure) != 0) raise(failure);
}

service_base& service_at(void* object) { return *static_cast<service_base*>(object); }
trel::string_base& string_at(void* string) { return *static_cast<trel::string_base*>(string); }
abort_signal& abort_at(void* abort) { return *static_cast<abort_signal*>(abort); }

// The host's objects as the module calls them. Every slot is named: the
// compiler holds the names to bridge_abi.h's order, so two slots of one
// signature (release and add_ref) cannot trade places unnoticed.
const bridge_host_calls host_calls = {
    .version = bridge_abi_version,
    .release = [](void* object) noexcept { return service_at(object).release(); },
    .add_ref = [](void* object) noexcept { return service_at(object).add_ref(); },
    .query =
        [](void* object, const GUID* service_class, void** found, uint8_t* answered,
           bridge_failure* failure) {
          return stop(failure, [&] {
            service_ref out;
            *answered = service_at(object).query(out, *service_class) ? 1 : 0;
            *found = *answered != 0 ? out.detach() : nullptr;
          });
        },
    .find_class =
        [](void* host, const GUID* service_class, uint32_t* handle, bridge_failure* failure) {
          return stop(failure,
                      [&] { *handle = static_cast<host_api*>(host)->find_class(*service_class); });
        },
    .create =
        [](void* host, uint32_t handle, uint32_t index, void** found, uint8_t* created,
           bridge_failure* failure) {
          return stop(failure, [&] {
            service_ref out;
            *created = static_cast<host_api*>(host)->create(out, handle, index) ? 1 : 0;
            *found = out.detach();
          });
        },
    .reserved_slot_2 =
        [](void* host, bridge_failure* failure) {
          return stop(failure, [&] { static_cast<host_api*>(host)->reserved_slot_2(); });
        },
    .main_window =
        [](void* host, HWND* window, bridge_failure* failure) {
          return stop(failure, [&] { *window = static_cast<host_api*>(host)->main_window(); });
        },
    .reserved_slot_3 =
        [](void* object, bridge_failure* failure) {
          return stop(failure, [&] { static_cast<named_service*>(object)->reserved_slot_3(); });
        },
    .service_name =
        [](void* object, const char** name, bridge_failure* failure) {
          return stop(failure,
                      [&] { *name = static_cast<named_service*>(object)->service_name(); });
        },
    .service_guid =
        [](void* object, GUID* guid, bridge_failure* failure) {
          return stop(failure,
                      [&] { *guid = static_cast<named_service*>(object)->service_guid(); });
        },
    .read =
        [](void* source, void* buffer, uint32_t count, void* abort, uint32_t* got,
           bridge_failure* failure) {
          return stop(failure, [&] {
            *got = static_cast<byte_source*>(source)->read(buffer, count, abort_at(abort));
          });
        },
    .read_exact =
        [](void* source, void* buffer, uint32_t count, void* abort, bridge_failure* failure) {
          return stop(failure, [&] {
            static_cast<byte_source*>(source)->read_exact(buffer, count, abort_at(abort));
          });
        },
    .skip =
        [](void* source, uint64_t count, void* abort, uint64_t* skipped, bridge_failure* failure) {
          return stop(failure, [&] {
            *skipped = static_cast<byte_source*>(source)->skip(count, abort_at(abort));
          });
        },
    .skip_exact =
        [](void* source, uint64_t count, void* abort, bridge_failure* failure) {
          return stop(failure, [&] {
            static_cast<byte_source*>(source)->skip_exact(count, abort_at(abort));
          });
        },
    .write =
        [](void* sink, const void* buffer, uint32_t count, void* abort, bridge_failure* failure) {
          return stop(failure, [&] {
            static_cast<byte_sink*>(sink)->write(buffer, count, abort_at(abort));
          });
        },
    .append_text =
        [](void* string, const char* text, uint32_t length, bridge_failure* failure) {
          return stop(failure, [&] { string_at(string).append_text(text, length); });
        },
    .current_text =
        [](void* string, const char** text, bridge_failure* failure) {
          return stop(failure, [&] { *text = string_at(string).current_text(); });
        },
    .assign_text =
        [](void* string, const char* text, uint32_t length, bridge_failure* failure) {
          return stop(failure, [&] { string_at(string).assign_text(text, length); });
        },
    .shorten =
        [](void* string, uint32_t length, bridge_failure* failure) {
          return stop(failure, [&] { string_at(string).shorten(length); });
        },
    .text_length =
        [](void* string, uint32_t* length, bridge_failure* failure) {
          return stop(failure, [&] { *length = string_at(string).text_length(); });
        },
    .open_write_area =
        [](void* string, uint32_t n, char** area, bridge_failure* failure) {
          return stop(failure, [&] { *area = string_at(string).open_write_area(n); });
        },
    .close_write_area =
        [](void* string, bridge_failure* failure) {
          return stop(failure, [&] { string_at(string).close_write_area(); });
        },
};

void load_bridge() {
  const std::wstring path = program_folder() + L"msvc\\quarlo_msvc_bridge.dll";
  const HMODULE dll = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (dll == nullptr) {
    throw module_error("a Microsoft-ABI module needs " + to_utf8(path) +
                       ", which cannot be loaded (error " + std::to_string(GetLastError()) + ")");
  }
  const auto entry = reinterpret_cast<quarlo_msvc_bridge_fn>(
      reinterpret_cast<void*>(GetProcAddress(dll, quarlo_msvc_bridge_name)));
  bridge = entry != nullptr ? entry(&host_calls) : nullptr;
  if (bridge == nullptr || bridge->version != bridge_abi_version) {
    bridge = nullptr;
    FreeLibrary(dll);
    throw module_error(to_utf8(path) + " is not a bridge this host can use");
  }
}

// The fields of a factory record, as the module lays them out.
struct factory_record {
  void* table;
  void* next;
  const GUID* service_class;
};

factory_record record_at(void* record) {
  factory_record fields;
  memcpy(&fields, record, sizeof fields);
  return fields;
}

}  // namespace

namespace {

class client_proxy;
class factory_proxy;
class service_proxy;

}  // namespace

// One object of the host's ABI for each object of the module's that reaches
// the host, so the host sees the same object each time.
class bridge_client::proxies {
 public:
  module_client* client_for(void* client);
  service_factory_base* factory_for(void* record);
  service_base* service_for(void* object);

 private:
  std::unordered_map<void*, std::unique_ptr<client_proxy>> clients_;
  std::unordered_map<void*, std::unique_ptr<factory_proxy>> factories_;
  std::unordered_map<void*, std::unique_ptr<service_proxy>> services_;
};

namespace {

class client_proxy final : public module_client {
 public:
  client_proxy(bridge_client::proxies& proxies, void* client)
      : proxies_(proxies), client_(client) {}

  uint32_t client_version() override {
    uint32_t version = 0;
    call(bridge->client_version, client_, &version);
    return version;
  }
  service_factory_base* first_factory() override {
    void* record = nullptr;
    call(bridge->first_factory, client_, &record);
    return proxies_.factory_for(record);
  }
  void save_settings(byte_sink& sink, abort_signal& abort) override {
    call(bridge->save_settings, client_, static_cast<void*>(&sink), static_cast<void*>(&abort));
  }
  void load_settings(byte_source& source, abort_signal& abort) override {
    call(bridge->load_settings, client_, static_cast<void*>(&source), static_cast<void*>(&abort));
  }
  void set_location_texts(const char* text1, const char* text2) override {
    call(bridge->set_location_texts, client_, text1, text2);
  }
  void services_ready(bool ready) override {
    call(bridge->services_ready, client_, static_cast<uint8_t>(ready ? 1 : 0));
  }
  bool debug_build() override {
    uint8_t debug = 0;
    call(bridge->debug_build, client_, &debug);
    return debug != 0;
  }

 private:
  bridge_client::proxies& proxies_;
  void* client_;
};

class factory_proxy final : public service_factory_base {
 public:
  factory_proxy(bridge_client::proxies& proxies, void* record)
      : proxies_(proxies), record_(record) {
    next = nullptr;
    service_class = record_at(record).service_class;
  }

  void make_instance(service_ref& out) override {
    void* instance = nullptr;
    call(bridge->make_instance, record_, &instance);
    out.adopt(proxies_.service_for(instance));
  }

 private:
  bridge_client::proxies& proxies_;
  void* record_;
};

// Any service object of the module's; the mainmenu_commands slots are there
// for when it is a command group, as the host reads it after its class.
class service_proxy final : public mainmenu_commands {
 public:
  service_proxy(bridge_client::proxies& proxies, void* object)
      : proxies_(proxies), object_(object) {}

  uint32_t release() override {
    uint32_t count = 0;
    call(bridge->release, object_, &count);
    return count;
  }
  uint32_t add_ref() override {
    uint32_t count = 0;
    call(bridge->add_ref, object_, &count);
    return count;
  }
  bool query(service_ref& out, const GUID& service_class) override {
    void* found = nullptr;
    uint8_t answered = 0;
    uint8_t changed = 0;
    call(bridge->query, object_, &service_class, &found, &answered, &changed);
    // What the module did to its reference happens to the host's.
    if (changed != 0) out.adopt(proxies_.service_for(found));
    return answered != 0;
  }
  uint32_t command_count() override {
    uint32_t count = 0;
    call(bridge->command_count, object_, &count);
    return count;
  }
  GUID command_guid(uint32_t index) override {
    GUID guid{};
    call(bridge->command_guid, object_, index, &guid);
    return guid;
  }
  void command_name(uint32_t index, trel::string_base& out) override {
    call(bridge->command_name, object_, index, static_cast<void*>(&out));
  }
  bool command_description(uint32_t index, trel::string_base& out) override {
    uint8_t described = 0;
    call(bridge->command_description, object_, index, static_cast<void*>(&out), &described);
    return described != 0;
  }
  GUID parent_group() override {
    GUID guid{};
    call(bridge->parent_group, object_, &guid);
    return guid;
  }
  uint32_t sort_priority() override {
    uint32_t priority = 0;
    call(bridge->sort_priority, object_, &priority);
    return priority;
  }
  bool display_state(uint32_t index, trel::string_base& text, uint32_t& flags) override {
    uint8_t shown = 0;
    call(bridge->display_state, object_, index, static_cast<void*>(&text), &flags, &shown);
    return shown != 0;
  }
  // The reference goes to the bridge, which hands it to the module.
  void run_command(uint32_t index, service_ref callback) override {
    call(bridge->run_command, object_, index, static_cast<void*>(callback.detach()));
  }

 private:
  bridge_client::proxies& proxies_;
  void* object_;
};

}  // namespace

module_client* bridge_client::proxies::client_for(void* client) {
  if (client == nullptr) return nullptr;
  auto& proxy = clients_[client];
  if (!proxy) proxy = std::make_unique<client_proxy>(*this, client);
  return proxy.get();
}

// Makes the proxies of the whole chain from record on, as far as it is new,
// so the host can walk the chain by the records' own next fields.
service_factory_base* bridge_client::proxies::factory_for(void* record) {
  factory_proxy* linking = nullptr;
  for (void* at = record; at != nullptr; at = record_at(at).next) {
    auto& proxy = factories_[at];
    const bool fresh = !proxy;
    if (fresh) proxy = std::make_unique<factory_proxy>(*this, at);
    if (linking != nullptr) linking->next = proxy.get();
    if (!fresh) break;
    linking = proxy.get();
  }
  return record == nullptr ? nullptr : factories_[record].get();
}

service_base* bridge_client::proxies::service_for(void* object) {
  if (object == nullptr) return nullptr;
  auto& proxy = services_[object];
  if (!proxy) proxy = std::make_unique<service_proxy>(*this, object);
  return proxy.get();
}

bridge_client::bridge_client() : proxies_(std::make_unique<proxies>()) {
  if (bridge == nullptr) load_bridge();
  ++live_modules;
}

bridge_client::~bridge_client() {
  proxies_.reset();
  if (--live_modules == 0) bridge->forget_host_objects();
}

module_client* bridge_client::enter(void* entry, host_api& host, HINSTANCE instance) {
  void* client = nullptr;
  call(bridge->enter, entry, static_cast<void*>(&host), instance, &client);
  return proxies_->client_for(client);
}

}  // namespace quarlo_host
