// The module's slots, called in the module's own ABI for the host. Every
// exception that leaves the module stops here and goes back as a failure
// record: one the host threw into the module goes back under its token.
#include <stdint.h>

#include <new>

#include "bridge_abi/bridge_abi.h"
#include "carried_exception.h"
#include "exception_io.h"
#include "host_objects.h"
#include "quarlo/mainmenu_commands.h"
#include "quarlo/module_client.h"
#include "quarlo/module_entry.h"
#include "quarlo/service_factory_base.h"

namespace msvc_bridge {

namespace {

void describe(bridge_failure& failure, uint32_t kind, const char* message) {
  failure.kind = kind;
  failure.host_token = 0;
  if (message == nullptr) message = "";
  size_t n = 0;
  for (; n + 1 < sizeof failure.message && message[n] != '\0'; ++n) failure.message[n] = message[n];
  failure.message[n] = '\0';
}

template <class Work>
bridge_status guarded(bridge_failure* failure, Work work) {
  try {
    work();
    return 0;
  } catch (const host_token& carried) {
    *failure = carried.failure();
  } catch (const quarlo_io::exception_io_data_truncation& e) {
    describe(*failure, bridge_exception_io_data_truncation, e.what());
  } catch (const quarlo_io::exception_io_data& e) {
    describe(*failure, bridge_exception_io_data, e.what());
  } catch (const quarlo_io::exception_io& e) {
    describe(*failure, bridge_exception_io, e.what());
  } catch (const std::bad_alloc& e) {
    describe(*failure, bridge_bad_alloc, e.what());
  } catch (const std::exception& e) {
    describe(*failure, bridge_std_exception, e.what());
  } catch (...) {
    describe(*failure, bridge_unknown_exception, "an exception of a type the host does not know");
  }
  return 1;
}

module_client& client_at(void* client) { return *static_cast<module_client*>(client); }
service_base& service_at(void* object) { return *static_cast<service_base*>(object); }
mainmenu_commands& group_at(void* group) { return *static_cast<mainmenu_commands*>(group); }

bridge_status __cdecl enter(void* entry, void* host, HINSTANCE instance, void** client,
                            bridge_failure* failure) {
  return guarded(failure, [&] {
    *client = reinterpret_cast<quarlo_get_interface_fn>(entry)(&host_api_for(host), instance);
  });
}

bridge_status __cdecl client_version(void* client, uint32_t* version, bridge_failure* failure) {
  return guarded(failure, [&] { *version = client_at(client).client_version(); });
}

bridge_status __cdecl first_factory(void* client, void** factory, bridge_failure* failure) {
  return guarded(failure, [&] { *factory = client_at(client).first_factory(); });
}

bridge_status __cdecl save_settings(void* client, void* sink, void* abort,
                                    bridge_failure* failure) {
  return guarded(failure, [&] {
    host_sink stream(sink);
    client_at(client).save_settings(stream, *static_cast<abort_signal*>(abort));
  });
}

bridge_status __cdecl load_settings(void* client, void* source, void* abort,
                                    bridge_failure* failure) {
  return guarded(failure, [&] {
    host_source stream(source);
    client_at(client).load_settings(stream, *static_cast<abort_signal*>(abort));
  });
}

bridge_status __cdecl set_location_texts(void* client, const char* text1, const char* text2,
                                         bridge_failure* failure) {
  return guarded(failure, [&] { client_at(client).set_location_texts(text1, text2); });
}

bridge_status __cdecl services_ready(void* client, uint8_t ready, bridge_failure* failure) {
  return guarded(failure, [&] { client_at(client).services_ready(ready != 0); });
}

bridge_status __cdecl debug_build(void* client, uint8_t* debug, bridge_failure* failure) {
  return guarded(failure, [&] { *debug = client_at(client).debug_build() ? 1 : 0; });
}

bridge_status __cdecl make_instance(void* factory, void** instance, bridge_failure* failure) {
  return guarded(failure, [&] {
    service_ref out;
    static_cast<service_factory_base*>(factory)->make_instance(out);
    *instance = out.detach();
  });
}

bridge_status __cdecl release(void* object, uint32_t* count, bridge_failure* failure) {
  return guarded(failure, [&] { *count = service_at(object).release(); });
}

bridge_status __cdecl add_ref(void* object, uint32_t* count, bridge_failure* failure) {
  return guarded(failure, [&] { *count = service_at(object).add_ref(); });
}

// Stands, in the reference the module's query gets, for what the host's
// reference holds, so that a query that changes it is seen and passed on.
class held_by_host final : public service_base {
 public:
  uint32_t release() override {
    released = true;
    return 1;
  }
  uint32_t add_ref() override { return 2; }
  bool query(service_ref&, const GUID&) override { return false; }

  bool released = false;
};

bridge_status __cdecl query(void* object, const GUID* service_class, void** found,
                            uint8_t* answered, uint8_t* changed, bridge_failure* failure) {
  return guarded(failure, [&] {
    held_by_host held;
    service_ref out;
    out.adopt(&held);
    *answered = service_at(object).query(out, *service_class) ? 1 : 0;
    const bool kept = out.get() == &held;
    if (kept) out.detach();
    *changed = !kept || held.released ? 1 : 0;
    *found = out.detach();
  });
}

bridge_status __cdecl command_count(void* group, uint32_t* count, bridge_failure* failure) {
  return guarded(failure, [&] { *count = group_at(group).command_count(); });
}

bridge_status __cdecl command_guid(void* group, uint32_t index, GUID* guid,
                                   bridge_failure* failure) {
  return guarded(failure, [&] { *guid = group_at(group).command_guid(index); });
}

bridge_status __cdecl command_name(void* group, uint32_t index, void* string,
                                   bridge_failure* failure) {
  return guarded(failure, [&] {
    host_string out(string);
    group_at(group).command_name(index, out);
  });
}

bridge_status __cdecl command_description(void* group, uint32_t index, void* string,
                                          uint8_t* described, bridge_failure* failure) {
  return guarded(failure, [&] {
    host_string out(string);
    *described = group_at(group).command_description(index, out) ? 1 : 0;
  });
}

bridge_status __cdecl parent_group(void* group, GUID* guid, bridge_failure* failure) {
  return guarded(failure, [&] { *guid = group_at(group).parent_group(); });
}

bridge_status __cdecl sort_priority(void* group, uint32_t* priority, bridge_failure* failure) {
  return guarded(failure, [&] { *priority = group_at(group).sort_priority(); });
}

bridge_status __cdecl display_state(void* group, uint32_t index, void* string, uint32_t* flags,
                                    uint8_t* shown, bridge_failure* failure) {
  return guarded(failure, [&] {
    host_string text(string);
    *shown = group_at(group).display_state(index, text, *flags) ? 1 : 0;
  });
}

bridge_status __cdecl run_command(void* group, uint32_t index, void* callback,
                                  bridge_failure* failure) {
  return guarded(failure, [&] {
    // The argument is built in place from passed and destroyed by the module.
    service_ref passed;
    adopt_host_object(passed, callback);
    group_at(group).run_command(index, static_cast<service_ref&&>(passed));
  });
}

void __cdecl forget() { forget_host_objects(); }

// Every slot is named: the compiler holds the names to bridge_abi.h's order.
const bridge_module_calls module_calls = {
    .version = bridge_abi_version,
    .enter = enter,
    .client_version = client_version,
    .first_factory = first_factory,
    .save_settings = save_settings,
    .load_settings = load_settings,
    .set_location_texts = set_location_texts,
    .services_ready = services_ready,
    .debug_build = debug_build,
    .make_instance = make_instance,
    .release = release,
    .add_ref = add_ref,
    .query = query,
    .command_count = command_count,
    .command_guid = command_guid,
    .command_name = command_name,
    .command_description = command_description,
    .parent_group = parent_group,
    .sort_priority = sort_priority,
    .display_state = display_state,
    .run_command = run_command,
    .forget_host_objects = forget,
};

}  // namespace

}  // namespace msvc_bridge

extern "C" const bridge_module_calls* __cdecl quarlo_msvc_bridge(const bridge_host_calls* host) {
  if (host == nullptr || host->version != bridge_abi_version) return nullptr;
  msvc_bridge::set_host_calls(host);
  return &msvc_bridge::module_calls;
}
