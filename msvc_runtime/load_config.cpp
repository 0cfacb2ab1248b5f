// The image's load-configuration record, up to its SafeSEH fields. With it the
// linker lists the image's exception handlers and marks the image SafeSEH;
// without it the image is marked as having no handlers at all, and Windows
// refuses every C++ exception handler in it (Wine does not check).
#include <stdint.h>

extern "C" const void* const __safe_se_handler_table[];
extern "C" const uint8_t __safe_se_handler_count;

namespace {

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
};

static_assert(sizeof(load_config_directory32) == 72,
              "IMAGE_LOAD_CONFIG_DIRECTORY32 up to SEHandlerCount");

}  // namespace

extern "C" const load_config_directory32 _load_config_used = {sizeof(load_config_directory32),
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              nullptr,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              0,
                                                              nullptr,
                                                              nullptr,
                                                              __safe_se_handler_table,
                                                              &__safe_se_handler_count};
