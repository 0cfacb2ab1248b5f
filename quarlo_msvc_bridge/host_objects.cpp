#include "host_objects.h"

#include <new>

#include "carried_exception.h"
#include "exception_io.h"

namespace msvc_bridge {

namespace {

const bridge_host_calls* calls = nullptr;

// Calls one function of the host's table and throws what it reports.
template <class Function, class... Arguments>
void call(Function function, Arguments... arguments) {
  bridge_failure failure{};
  if (function(arguments..., &failure) != 0) throw_host_failure(failure);
}

class host_service final : public named_service {
 public:
  explicit host_service(void* object) : object_(object) {}

  uint32_t release() override { return calls->release(object_); }
  uint32_t add_ref() override { return calls->add_ref(object_); }
  bool query(service_ref& out, const GUID& service_class) override {
    void* found = nullptr;
    uint8_t answered = 0;
    call(calls->query, object_, &service_class, &found, &answered);
    if (answered != 0) adopt_host_object(out, found);
    return answered != 0;
  }
  void reserved_slot_3() override { call(calls->reserved_slot_3, object_); }
  const char* service_name() override {
    const char* name = nullptr;
    call(calls->service_name, object_, &name);
    return name;
  }
  GUID service_guid() override {
    GUID guid{};
    call(calls->service_guid, object_, &guid);
    return guid;
  }

  void* object() const { return object_; }
  host_service* next = nullptr;

 private:
  void* object_;
};

class host_api_object final : public host_api {
 public:
  explicit host_api_object(void* host) : host_(host) {}

  uint32_t find_class(const GUID& service_class) override {
    uint32_t handle = 0;
    call(calls->find_class, host_, &service_class, &handle);
    return handle;
  }
  bool create(service_ref& out, uint32_t class_handle, uint32_t index) override {
    void* found = nullptr;
    uint8_t created = 0;
    call(calls->create, host_, class_handle, index, &found, &created);
    // Whatever the host handed over is the module's now, also on false.
    adopt_host_object(out, found);
    return created != 0;
  }
  void reserved_slot_2() override { call(calls->reserved_slot_2, host_); }
  HWND main_window() override {
    HWND window = nullptr;
    call(calls->main_window, host_, &window);
    return window;
  }

  void* host() const { return host_; }
  host_api_object* next = nullptr;

 private:
  void* host_;
};

// Few host objects ever reach a module (a host_api, the named services, the
// callbacks), so plain lists serve to find the one made for each.
host_service* services = nullptr;
host_api_object* hosts = nullptr;

}  // namespace

void set_host_calls(const bridge_host_calls* host) { calls = host; }

host_api& host_api_for(void* host) {
  for (host_api_object* h = hosts; h != nullptr; h = h->next) {
    if (h->host() == host) return *h;
  }
  auto* made = new host_api_object(host);
  made->next = hosts;
  hosts = made;
  return *made;
}

named_service* service_for(void* object) {
  for (host_service* s = services; s != nullptr; s = s->next) {
    if (s->object() == object) return s;
  }
  auto* made = new host_service(object);
  made->next = services;
  services = made;
  return made;
}

// Puts a host object that arrived with one reference into out. When no object
// can be made to stand for it, the reference goes back before the failure passes.
void adopt_host_object(service_ref& out, void* object) {
  named_service* standing = nullptr;
  if (object != nullptr) {
    try {
      standing = service_for(object);
    } catch (...) {
      calls->release(object);
      throw;
    }
  }
  out.adopt(standing);
}

void forget_host_objects() {
  while (services != nullptr) {
    host_service* next = services->next;
    delete services;
    services = next;
  }
  while (hosts != nullptr) {
    host_api_object* next = hosts->next;
    delete hosts;
    hosts = next;
  }
}

[[noreturn]] void throw_host_failure(const bridge_failure& failure) {
  switch (failure.kind) {
    case bridge_bad_alloc:
      throw carried<std::bad_alloc>(failure);
    case bridge_exception_io:
      throw carried<quarlo_io::exception_io>(failure);
    case bridge_exception_io_data:
      throw carried<quarlo_io::exception_io_data>(failure);
    case bridge_exception_io_data_truncation:
      throw carried<quarlo_io::exception_io_data_truncation>(failure);
    case bridge_std_exception:
      throw carried<std::exception>(failure);
    default:
      throw carried_unknown(failure);
  }
}

void host_string::append_text(const char* text, uint32_t length) {
  call(calls->append_text, string_, text, length);
}

const char* host_string::current_text() {
  const char* text = nullptr;
  call(calls->current_text, string_, &text);
  return text;
}

void host_string::assign_text(const char* text, uint32_t length) {
  call(calls->assign_text, string_, text, length);
}

void host_string::shorten(uint32_t length) { call(calls->shorten, string_, length); }

uint32_t host_string::text_length() {
  uint32_t length = 0;
  call(calls->text_length, string_, &length);
  return length;
}

char* host_string::open_write_area(uint32_t n) {
  char* area = nullptr;
  call(calls->open_write_area, string_, n, &area);
  return area;
}

void host_string::close_write_area() { call(calls->close_write_area, string_); }

uint32_t host_source::read(void* buffer, uint32_t count, abort_signal& abort) {
  uint32_t got = 0;
  call(calls->read, source_, buffer, count, static_cast<void*>(&abort), &got);
  return got;
}

void host_source::read_exact(void* buffer, uint32_t count, abort_signal& abort) {
  call(calls->read_exact, source_, buffer, count, static_cast<void*>(&abort));
}

uint64_t host_source::skip(uint64_t count, abort_signal& abort) {
  uint64_t skipped = 0;
  call(calls->skip, source_, count, static_cast<void*>(&abort), &skipped);
  return skipped;
}

void host_source::skip_exact(uint64_t count, abort_signal& abort) {
  call(calls->skip_exact, source_, count, static_cast<void*>(&abort));
}

void host_sink::write(const void* buffer, uint32_t count, abort_signal& abort) {
  call(calls->write, sink_, buffer, count, static_cast<void*>(&abort));
}

}  // namespace msvc_bridge
