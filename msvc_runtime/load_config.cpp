// The image's load-configuration record, at the size current linkers write for
// 32-bit x86. The linker fills the symbols it points at: the SafeSEH table of
// the image's exception handlers (without it the image is marked as having no
// handlers, and Windows refuses every C++ exception handler in it; Wine does
// not check), and Control Flow Guard's tables and flags. The loader reads the
// security cookie's address to give the cookie a value of this process.
#include <stddef.h>
#include <stdint.h>

#include "msvc_runtime/security_cookie.h"

extern "C" void(__fastcall* const __guard_check_icall_fptr)(uintptr_t);
// Provided by the linker; only their addresses mean something, counts and
// flags included.
extern "C" const void* const __safe_se_handler_table[];
extern "C" const uint8_t __safe_se_handler_count;
extern "C" const uint8_t __guard_fids_table[];
extern "C" const uint8_t __guard_fids_count;
extern "C" const uint8_t __guard_flags;
extern "C" const uint8_t __guard_iat_table[];
extern "C" const uint8_t __guard_iat_count;
extern "C" const uint8_t __guard_longjmp_table[];
extern "C" const uint8_t __guard_longjmp_count;
extern "C" const uint8_t __guard_eh_cont_table[];
extern "C" const uint8_t __guard_eh_cont_count;

namespace {

struct code_integrity {
  uint16_t flags;
  uint16_t catalog;
  uint32_t catalog_offset;
  uint32_t reserved;
};

struct load_config_directory32 {
  uint32_t size;
  uint32_t time_date_stamp;
  uint16_t major_version;
  uint16_t minor_version;
  uint32_t global_flags_clear;
  uint32_t global_flags_set;
  uint32_t critical_section_default_timeout;
  uint32_t decommit_free_block_threshold;
  uint32_t decommit_total_free_threshold;
  const void* lock_prefix_table;
  uint32_t maximum_allocation_size;
  uint32_t virtual_memory_threshold;
  uint32_t process_heap_flags;
  uint32_t process_affinity_mask;
  uint16_t csd_version;
  uint16_t dependent_load_flags;
  const void* edit_list;
  const void* security_cookie;
  const void* se_handler_table;
  const void* se_handler_count;
  const void* guard_cf_check_function_pointer;
  const void* guard_cf_dispatch_function_pointer;
  const void* guard_cf_function_table;
  const void* guard_cf_function_count;
  const void* guard_flags;
  code_integrity code_integrity;
  const void* guard_address_taken_iat_entry_table;
  const void* guard_address_taken_iat_entry_count;
  const void* guard_long_jump_target_table;
  const void* guard_long_jump_target_count;
  const void* dynamic_value_reloc_table;
  const void* chpe_metadata_pointer;
  const void* guard_rf_failure_routine;
  const void* guard_rf_failure_routine_function_pointer;
  uint32_t dynamic_value_reloc_table_offset;
  uint16_t dynamic_value_reloc_table_section;
  uint16_t reserved2;
  const void* guard_rf_verify_stack_pointer_function_pointer;
  uint32_t hot_patch_table_offset;
  uint32_t reserved3;
  const void* enclave_configuration_pointer;
  const void* volatile_metadata_pointer;
  const void* guard_eh_continuation_table;
  const void* guard_eh_continuation_count;
  const void* guard_xfg_check_function_pointer;
  const void* guard_xfg_dispatch_function_pointer;
  const void* guard_xfg_table_dispatch_function_pointer;
  const void* cast_guard_os_determined_failure_mode;
  const void* guard_memcpy_function_pointer;
};

// Where Windows and the linker read the fields.
static_assert(offsetof(load_config_directory32, security_cookie) == 0x3C);
static_assert(offsetof(load_config_directory32, se_handler_table) == 0x40);
static_assert(offsetof(load_config_directory32, se_handler_count) == 0x44);
static_assert(offsetof(load_config_directory32, guard_cf_check_function_pointer) == 0x48);
static_assert(offsetof(load_config_directory32, guard_cf_function_table) == 0x50);
static_assert(offsetof(load_config_directory32, guard_flags) == 0x58);
static_assert(offsetof(load_config_directory32, guard_address_taken_iat_entry_table) == 0x68);
static_assert(offsetof(load_config_directory32, guard_long_jump_target_table) == 0x70);
static_assert(offsetof(load_config_directory32, guard_eh_continuation_table) == 0xA4);
static_assert(offsetof(load_config_directory32, guard_memcpy_function_pointer) == 0xBC);
static_assert(sizeof(load_config_directory32) == 0xC0, "IMAGE_LOAD_CONFIG_DIRECTORY32");

}  // namespace

// Fields left zero ask for the loader's defaults or a feature not used here.
// clang-format off
extern "C" const load_config_directory32 _load_config_used = {
    sizeof(load_config_directory32),
    0, 0, 0, 0, 0, 0, 0, 0,  // time stamp, version, heap and lock settings
    nullptr,                 // lock_prefix_table
    0, 0, 0, 0, 0, 0,        // heap and affinity settings, csd_version, load flags
    nullptr,                 // edit_list
    &__security_cookie,
    __safe_se_handler_table,
    &__safe_se_handler_count,
    &__guard_check_icall_fptr,
    nullptr,                 // guard_cf_dispatch_function_pointer: 64-bit only
    __guard_fids_table,
    &__guard_fids_count,
    &__guard_flags,
    {0, 0, 0, 0},            // code_integrity
    __guard_iat_table,
    &__guard_iat_count,
    __guard_longjmp_table,
    &__guard_longjmp_count,
    nullptr, nullptr, nullptr, nullptr,  // dynamic relocations, CHPE, return-flow guard
    0, 0, 0,                 // dynamic_value_reloc_table offset and section, reserved2
    nullptr,                 // guard_rf_verify_stack_pointer_function_pointer
    0, 0,                    // hot_patch_table_offset, reserved3
    nullptr, nullptr,        // enclave configuration, volatile metadata
    __guard_eh_cont_table,
    &__guard_eh_cont_count,
    nullptr, nullptr, nullptr, nullptr, nullptr};  // extended flow guard, cast guard, memcpy guard
// clang-format on
