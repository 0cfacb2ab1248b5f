#include "settings/settings_io.h"

#include <stdint.h>

#include "host/guid.h"
#include "settings/buffer_writer.h"
#include "settings/exception_io.h"
#include "settings/limited_reader.h"
#include "settings/settings_list.h"
#include "trel/byte_buffer.h"

namespace {

constexpr uint32_t guid_bytes = 16;
constexpr uint32_t length_bytes = 4;

void put_u32(uint8_t* out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(value >> (8 * i));
}

void put_u16(uint8_t* out, uint16_t value) {
  out[0] = static_cast<uint8_t>(value);
  out[1] = static_cast<uint8_t>(value >> 8);
}

uint32_t get_u32(const uint8_t* in) {
  return uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
}

uint16_t get_u16(const uint8_t* in) { return static_cast<uint16_t>(in[0] | in[1] << 8); }

void encode_guid(uint8_t* out, const GUID& id) {
  put_u32(out, id.Data1);
  put_u16(out + 4, id.Data2);
  put_u16(out + 6, id.Data3);
  for (int i = 0; i < 8; ++i) out[8 + i] = id.Data4[i];
}

GUID decode_guid(const uint8_t* in) {
  GUID id;
  id.Data1 = get_u32(in);
  id.Data2 = get_u16(in + 4);
  id.Data3 = get_u16(in + 6);
  for (int i = 0; i < 8; ++i) id.Data4[i] = in[8 + i];
  return id;
}

settings_var* find_setting(const GUID& id) {
  for (settings_var* var = settings_list_head(); var != nullptr; var = var->next) {
    if (guid_equal(var->guid, id)) return var;
  }
  return nullptr;
}

}  // namespace

void save_settings(byte_sink& sink, abort_signal& abort) {
  trel::byte_buffer payload;
  for (settings_var* var = settings_list_head(); var != nullptr; var = var->next) {
    payload.resize_used(0);
    buffer_writer writer(payload);
    var->write_value(writer, abort);
    uint8_t guid[guid_bytes];
    encode_guid(guid, var->guid);
    sink.write(guid, guid_bytes, abort);
    uint8_t length[length_bytes];
    put_u32(length, payload.size);
    sink.write(length, length_bytes, abort);
    if (payload.size != 0) sink.write(payload.bytes, payload.size, abort);
  }
}

void load_settings(byte_source& source, abort_signal& abort) {
  for (;;) {
    uint8_t guid[guid_bytes];
    uint8_t length[length_bytes];
    try {
      source.read_exact(guid, guid_bytes, abort);
      source.read_exact(length, length_bytes, abort);
    } catch (const quarlo_io::exception_io_data&) {
      return;  // the end of the stream, possibly inside a header
    }
    const uint32_t n = get_u32(length);
    settings_var* var = find_setting(decode_guid(guid));
    if (var == nullptr) {
      source.skip_exact(n, abort);
      continue;
    }
    limited_reader reader(source, n);
    try {
      var->read_value(reader, n, abort);
    } catch (const quarlo_io::exception_io_data&) {
      // A setting that misreads its own payload does not end the load.
    }
    // The source handed out bytes past the record: the next header's place is
    // lost, so the stream counts as corrupt from here.
    if (reader.overrun()) throw quarlo_io::exception_io_data_truncation();
    if (reader.remaining() != 0) reader.skip_exact(reader.remaining(), abort);
  }
}
