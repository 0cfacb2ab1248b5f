// How a C++ exception travels in the 32-bit Microsoft ABI: a structured
// exception with code 0xE06D7363 whose parameters are a magic number, the
// thrown object and its throw record. The throw record lists the types the
// object can be caught as, most derived first, with its size, copy constructor
// and destructor, so code that knows nothing of the type can copy, destroy and
// throw the object again.
#pragma once

#include <stdint.h>

namespace msvc_runtime {

inline constexpr uint32_t cxx_exception_code = 0xE06D7363u;

// The runtimes' versions of the throw record's layout, all read alike here.
inline bool is_cxx_exception_magic(uintptr_t magic) {
  return magic >= 0x19930520u && magic <= 0x19930522u;
}

// How to find a base within the object; all zero but mdisp without virtual bases.
struct member_displacement {
  int32_t mdisp;
  int32_t pdisp;
  int32_t vdisp;
};

struct catchable_type {
  // simple_type: copy bytewise; has_virtual_base: the copy constructor takes a
  // third argument.
  static constexpr uint32_t simple_type = 1;
  static constexpr uint32_t has_virtual_base = 4;

  uint32_t properties;
  const void* type_descriptor;
  member_displacement this_displacement;
  int32_t size;
  // thiscall: void* copy(void* this, const void* source [, int most_derived]).
  void* copy_function;
};

struct catchable_type_array {
  int32_t count;
  const catchable_type* types[1];
};

struct throw_info {
  uint32_t attributes;
  // thiscall: void destroy(void* this); null for a type without a destructor.
  void* destructor;
  void* forward_compat;
  const catchable_type_array* catchable_types;
};

// The thrown object's own record: the first entry of its catchable types.
inline const catchable_type& thrown_type(const throw_info& info) {
  return *info.catchable_types->types[0];
}

}  // namespace msvc_runtime

// The runtime's throw: raises the structured exception for object.
extern "C" [[noreturn]] void __stdcall _CxxThrowException(void* object,
                                                          const msvc_runtime::throw_info* info);
