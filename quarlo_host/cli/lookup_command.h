// `quarlo_host lookup MODULE.dll [--abi gnu|msvc] [--services FILE] --text TEXT [--update]
// [--screenshot FILE.bmp]`: runs the module's lookup command and works its
// dialog as a user would: types TEXT into Input, presses Update when asked,
// optionally saves a picture of the dialog, closes it and prints
//
//   Input: <the Input field>
//   GUID: <the GUID field>
//   Result: <the Result field>
//
// with the fields' text as UTF-8.
#pragma once

#include "quarlo/guid.h"

namespace quarlo_host {

// {099F8FD0-D915-407B-87F8-839C2BA3F401}: the command the lookup runs.
inline constexpr GUID lookup_command_guid = {
    0x099F8FD0, 0xD915, 0x407B, {0x87, 0xF8, 0x83, 0x9C, 0x2B, 0xA3, 0xF4, 0x01}};

// The dialog's controls the lookup works with.
inline constexpr unsigned lookup_input_id = 1002;
inline constexpr unsigned lookup_guid_id = 1003;
inline constexpr unsigned lookup_result_id = 1004;
inline constexpr unsigned lookup_update_id = 1005;
inline constexpr unsigned lookup_close_id = 2;

}  // namespace quarlo_host
