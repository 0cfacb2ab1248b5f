// The C boundary between quarlo_host.exe, built in the GNU ABI, and
// quarlo_msvc_bridge.dll, built in the Microsoft ABI, through which the host
// drives a Microsoft-ABI module. Only C crosses it: pointers, integers, GUID
// records and a failure record, in two tables of cdecl functions. Each side
// stops its own C++ exceptions at the boundary and turns them into a failure
// record; the other side throws them again as its own.
//
// The bridge exports one function, quarlo_msvc_bridge: it takes the host's
// table (the host's objects as the module calls them) and returns its own
// (the module's objects as the host calls them). Objects are passed as plain
// pointers: module objects as the module's own, host objects as the host's.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "quarlo/win32.h"

extern "C" {

// Tables of another layout are refused. The layouts are pinned below the
// tables: a change that moves a field fails to compile until it is made on
// purpose, with the version raised.
inline constexpr uint32_t bridge_abi_version = 2;
static_assert(sizeof(void*) == 4, "both halves are 32-bit x86 images");

// What an exception stopped at the boundary was, from the most derived class
// both sides know.
enum bridge_failure_kind : uint32_t {
  bridge_bad_alloc = 1,
  bridge_exception_io,
  bridge_exception_io_data,
  bridge_exception_io_data_truncation,
  bridge_std_exception,
  bridge_unknown_exception,
};

struct bridge_failure {
  uint32_t kind;
  // Non-zero for an exception of the host's: the host keeps it under this
  // number, and it is thrown again unchanged when it comes back to the host.
  uint32_t host_token;
  // What the exception says (what()), cut to fit, NUL-terminated.
  char message[256];
};

static_assert(sizeof(bridge_failure) == 264 && offsetof(bridge_failure, host_token) == 4 &&
              offsetof(bridge_failure, message) == 8);

// 0: the call returned normally; 1: it threw, and failure says what.
using bridge_status = int;

// The host's objects as a module calls them. add_ref and release cannot fail.
struct bridge_host_calls {
  uint32_t version;
  // service_base
  uint32_t(__cdecl* release)(void* object);
  uint32_t(__cdecl* add_ref)(void* object);
  bridge_status(__cdecl* query)(void* object, const GUID* service_class, void** found,
                                uint8_t* answered, bridge_failure* failure);
  // host_api
  bridge_status(__cdecl* find_class)(void* host, const GUID* service_class, uint32_t* handle,
                                     bridge_failure* failure);
  bridge_status(__cdecl* create)(void* host, uint32_t handle, uint32_t index, void** found,
                                 uint8_t* created, bridge_failure* failure);
  bridge_status(__cdecl* reserved_slot_2)(void* host, bridge_failure* failure);
  bridge_status(__cdecl* main_window)(void* host, HWND* window, bridge_failure* failure);
  // named_service
  bridge_status(__cdecl* reserved_slot_3)(void* object, bridge_failure* failure);
  bridge_status(__cdecl* service_name)(void* object, const char** name, bridge_failure* failure);
  bridge_status(__cdecl* service_guid)(void* object, GUID* guid, bridge_failure* failure);
  // byte_source and byte_sink; abort is the host's abort_signal, passed on.
  bridge_status(__cdecl* read)(void* source, void* buffer, uint32_t count, void* abort,
                               uint32_t* got, bridge_failure* failure);
  bridge_status(__cdecl* read_exact)(void* source, void* buffer, uint32_t count, void* abort,
                                     bridge_failure* failure);
  bridge_status(__cdecl* skip)(void* source, uint64_t count, void* abort, uint64_t* skipped,
                               bridge_failure* failure);
  bridge_status(__cdecl* skip_exact)(void* source, uint64_t count, void* abort,
                                     bridge_failure* failure);
  bridge_status(__cdecl* write)(void* sink, const void* buffer, uint32_t count, void* abort,
                                bridge_failure* failure);
  // trel::string_base
  bridge_status(__cdecl* append_text)(void* string, const char* text, uint32_t length,
                                      bridge_failure* failure);
  bridge_status(__cdecl* current_text)(void* string, const char** text, bridge_failure* failure);
  bridge_status(__cdecl* assign_text)(void* string, const char* text, uint32_t length,
                                      bridge_failure* failure);
  bridge_status(__cdecl* shorten)(void* string, uint32_t length, bridge_failure* failure);
  bridge_status(__cdecl* text_length)(void* string, uint32_t* length, bridge_failure* failure);
  bridge_status(__cdecl* open_write_area)(void* string, uint32_t n, char** area,
                                          bridge_failure* failure);
  bridge_status(__cdecl* close_write_area)(void* string, bridge_failure* failure);
};

static_assert(sizeof(bridge_host_calls) == 92 && offsetof(bridge_host_calls, release) == 4 &&
              offsetof(bridge_host_calls, find_class) == 16 &&
              offsetof(bridge_host_calls, service_name) == 36 &&
              offsetof(bridge_host_calls, read) == 44 &&
              offsetof(bridge_host_calls, append_text) == 64 &&
              offsetof(bridge_host_calls, close_write_area) == 88);

// The module's objects as the host calls them, slot for slot.
struct bridge_module_calls {
  uint32_t version;
  // Calls the module's quarlo_get_interface (entry) with the host's host_api.
  bridge_status(__cdecl* enter)(void* entry, void* host, HINSTANCE instance, void** client,
                                bridge_failure* failure);
  // module_client
  bridge_status(__cdecl* client_version)(void* client, uint32_t* version, bridge_failure* failure);
  bridge_status(__cdecl* first_factory)(void* client, void** factory, bridge_failure* failure);
  bridge_status(__cdecl* save_settings)(void* client, void* sink, void* abort,
                                        bridge_failure* failure);
  bridge_status(__cdecl* load_settings)(void* client, void* source, void* abort,
                                        bridge_failure* failure);
  bridge_status(__cdecl* set_location_texts)(void* client, const char* text1, const char* text2,
                                             bridge_failure* failure);
  bridge_status(__cdecl* services_ready)(void* client, uint8_t ready, bridge_failure* failure);
  bridge_status(__cdecl* debug_build)(void* client, uint8_t* debug, bridge_failure* failure);
  // A factory record's slot 0; the record's fields are read directly.
  bridge_status(__cdecl* make_instance)(void* factory, void** instance, bridge_failure* failure);
  // service_base
  bridge_status(__cdecl* release)(void* object, uint32_t* count, bridge_failure* failure);
  bridge_status(__cdecl* add_ref)(void* object, uint32_t* count, bridge_failure* failure);
  // changed is 1 when the module released or replaced what its reference held
  // (a hit always does; a miss must not), and found is what it holds then.
  bridge_status(__cdecl* query)(void* object, const GUID* service_class, void** found,
                                uint8_t* answered, uint8_t* changed, bridge_failure* failure);
  // mainmenu_commands; string is a host trel::string_base, callback a host
  // object with the one reference run_command takes over (or null).
  bridge_status(__cdecl* command_count)(void* group, uint32_t* count, bridge_failure* failure);
  bridge_status(__cdecl* command_guid)(void* group, uint32_t index, GUID* guid,
                                       bridge_failure* failure);
  bridge_status(__cdecl* command_name)(void* group, uint32_t index, void* string,
                                       bridge_failure* failure);
  bridge_status(__cdecl* command_description)(void* group, uint32_t index, void* string,
                                              uint8_t* described, bridge_failure* failure);
  bridge_status(__cdecl* parent_group)(void* group, GUID* guid, bridge_failure* failure);
  bridge_status(__cdecl* sort_priority)(void* group, uint32_t* priority, bridge_failure* failure);
  bridge_status(__cdecl* display_state)(void* group, uint32_t index, void* string, uint32_t* flags,
                                        uint8_t* shown, bridge_failure* failure);
  bridge_status(__cdecl* run_command)(void* group, uint32_t index, void* callback,
                                      bridge_failure* failure);
  // Frees what the bridge made to stand for host objects; call once no module
  // of this ABI is loaded.
  void(__cdecl* forget_host_objects)();
};

static_assert(sizeof(bridge_module_calls) == 88 && offsetof(bridge_module_calls, enter) == 4 &&
              offsetof(bridge_module_calls, client_version) == 8 &&
              offsetof(bridge_module_calls, make_instance) == 36 &&
              offsetof(bridge_module_calls, release) == 40 &&
              offsetof(bridge_module_calls, command_count) == 52 &&
              offsetof(bridge_module_calls, run_command) == 80 &&
              offsetof(bridge_module_calls, forget_host_objects) == 84);

// The bridge's one export: null when host's table is of another version.
using quarlo_msvc_bridge_fn = const bridge_module_calls*(__cdecl*)(const bridge_host_calls* host);
inline constexpr char quarlo_msvc_bridge_name[] = "quarlo_msvc_bridge";

}  // extern "C"
