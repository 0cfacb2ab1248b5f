// The 16-byte GUID record (Windows layout) and its equality.
#pragma once

#include <stddef.h>
#include <string.h>

#ifdef _WIN32
#include "quarlo/win32.h"
#else
#include <cstdint>

// Built outside Windows (the portable readers' fuzz targets): the record with
// the fields and layout <windows.h> gives it.
struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};
#endif

namespace quarlo {

static_assert(sizeof(GUID) == 16, "GUID is the 16-byte Windows record");
static_assert(offsetof(GUID, Data2) == 4 && offsetof(GUID, Data3) == 6 &&
                  offsetof(GUID, Data4) == 8,
              "GUID fields sit at their Windows offsets");

// Equal when all 16 bytes are equal.
inline bool guid_equal(const GUID& a, const GUID& b) { return memcmp(&a, &b, sizeof(GUID)) == 0; }

inline constexpr GUID null_guid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

}  // namespace quarlo
