// The host's objects in the Microsoft ABI: objects the module calls as its
// own host_api, services, streams and strings, whose every slot calls the
// host's table and throws what the host's object threw.
#pragma once

#include "bridge_abi/bridge_abi.h"
#include "quarlo/byte_sink.h"
#include "quarlo/byte_source.h"
#include "quarlo/host_api.h"
#include "quarlo/named_service.h"
#include "quarlo/string_base.h"

namespace msvc_bridge {

// The host's table, set once by quarlo_msvc_bridge.
void set_host_calls(const bridge_host_calls* calls);

// The one object standing for the host's host_api object, and for a host
// service object (any class: the named_service slots are there for when it
// is one). Each lives until forget_host_objects.
host_api& host_api_for(void* host);
named_service* service_for(void* object);
// Puts a host object that carries one reference into out (what out held is
// released); the reference goes back to the host if this fails.
void adopt_host_object(service_ref& out, void* object);
// Frees every object made for the host's; none may be in use.
void forget_host_objects();

// A host string for the length of one call.
class host_string final : public trel::string_base {
 public:
  explicit host_string(void* string) : string_(string) {}
  void append_text(const char* text, uint32_t length) override;
  const char* current_text() override;
  void assign_text(const char* text, uint32_t length) override;
  void shorten(uint32_t length) override;
  uint32_t text_length() override;
  char* open_write_area(uint32_t n) override;
  void close_write_area() override;

 private:
  void* string_;
};

// A host input stream for the length of one call.
class host_source final : public byte_source {
 public:
  explicit host_source(void* source) : source_(source) {}
  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override;
  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override;
  uint64_t skip(uint64_t count, abort_signal& abort) override;
  void skip_exact(uint64_t count, abort_signal& abort) override;

 private:
  void* source_;
};

// A host output stream for the length of one call.
class host_sink final : public byte_sink {
 public:
  explicit host_sink(void* sink) : sink_(sink) {}
  void write(const void* buffer, uint32_t count, abort_signal& abort) override;

 private:
  void* sink_;
};

}  // namespace msvc_bridge
