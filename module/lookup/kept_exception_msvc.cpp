// The Microsoft build has no exception_ptr (msvcrt.dll lacks it). While the
// runtime searches for a handler, a structured-exception filter copies the
// thrown object with the copy constructor its throw record names and lets the
// search go on to a catch of everything just outside, so the frames between
// are unwound as for any C++ exception (a structured handler taking the
// exception itself would skip their destructors) and the runtime destroys the
// original. Throwing again copies the copy onto the stack of the throw, where
// the runtime expects a thrown object, and raises it with its record.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <new>

#include <windows.h>

#include "lookup/kept_exception.h"
#include "msvc_runtime/throw_info.h"

namespace {

using msvc_runtime::catchable_type;
using msvc_runtime::throw_info;

// Exception objects up to this size are kept without a heap call: the
// module's own (a dozen bytes or so) are; the host's, as the bridge of our
// host program throws them with their message, take the heap path.
constexpr size_t inline_bytes = 256;

struct kept_exception {
  alignas(16) unsigned char inline_copy[inline_bytes];
  // The copy (inline_copy or a heap block); null when none is kept.
  void* object;
  const throw_info* info;
  // An exception was dropped for want of memory to copy it, or came without a
  // throw record (a rethrow): it is thrown again as a std::bad_alloc, or a
  // std::exception saying so.
  bool out_of_memory;
  bool unknown;
};

kept_exception kept;

// A heap copy that was thrown: the catcher destroys the object but cannot free
// the block, which goes at the next throw or at unload.
struct retired_block {
  void* block = nullptr;
  ~retired_block() { free(block); }
};

retired_block retired;

using copy_function = void*(__thiscall*)(void* self, const void* source);
using copy_virtual_function = void*(__thiscall*)(void* self, const void* source, int most_derived);
using destructor = void(__thiscall*)(void* self);

void copy_object(const catchable_type& type, void* to, const void* from) {
  if ((type.properties & catchable_type::simple_type) != 0 || type.copy_function == nullptr) {
    memcpy(to, from, static_cast<size_t>(type.size));
  } else if ((type.properties & catchable_type::has_virtual_base) != 0) {
    reinterpret_cast<copy_virtual_function>(type.copy_function)(to, from, 1);
  } else {
    reinterpret_cast<copy_function>(type.copy_function)(to, from);
  }
}

void destroy_object(const throw_info& info, void* object) {
  if (info.destructor != nullptr) reinterpret_cast<destructor>(info.destructor)(object);
}

// Sees every exception on its way to a handler and copies the first C++ one;
// the search always goes on. Anything else (an access violation) is not the
// catch's either and goes on to whoever handles it.
int keep(const EXCEPTION_POINTERS* pointers) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  if (record.ExceptionCode != msvc_runtime::cxx_exception_code || record.NumberParameters < 3 ||
      !msvc_runtime::is_cxx_exception_magic(record.ExceptionInformation[0])) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  auto* object = reinterpret_cast<void*>(record.ExceptionInformation[1]);
  const auto* info = reinterpret_cast<const throw_info*>(record.ExceptionInformation[2]);
  const bool holding = kept.object != nullptr || kept.out_of_memory || kept.unknown;
  if (holding) return EXCEPTION_CONTINUE_SEARCH;
  if (object == nullptr || info == nullptr) {
    kept.unknown = true;
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const catchable_type& type = msvc_runtime::thrown_type(*info);
  const auto size = static_cast<size_t>(type.size);
  void* copy = size <= inline_bytes ? kept.inline_copy : malloc(size);
  if (copy == nullptr) {
    kept.out_of_memory = true;
    return EXCEPTION_CONTINUE_SEARCH;
  }
  copy_object(type, copy, object);
  kept.object = copy;
  kept.info = info;
  return EXCEPTION_CONTINUE_SEARCH;
}

// A function of its own: C++ try and structured __try cannot share one.
void run_watched(void (*work)(void* context), void* context) {
  __try {
    work(context);
  } __except (keep(static_cast<const EXCEPTION_POINTERS*>(_exception_info()))) {
  }
}

}  // namespace

bool run_keeping_exception(void (*work)(void* context), void* context) {
  try {
    run_watched(work, context);
    return true;
  } catch (...) {
    return false;
  }
}

void throw_kept_exception() {
  if (kept.out_of_memory || kept.unknown) {
    const bool out_of_memory = kept.out_of_memory;
    kept.out_of_memory = kept.unknown = false;
    if (out_of_memory) throw std::bad_alloc();
    throw std::exception("an exception was rethrown inside the dialog");
  }
  if (kept.object == nullptr) return;
  const throw_info* info = kept.info;
  void* object = kept.object;
  kept.object = nullptr;
  free(retired.block);
  retired.block = nullptr;
  if (object != kept.inline_copy) {
    retired.block = object;
    _CxxThrowException(object, info);
  }
  alignas(16) unsigned char thrown[inline_bytes];
  copy_object(msvc_runtime::thrown_type(*info), thrown, object);
  destroy_object(*info, object);
  _CxxThrowException(thrown, info);
}
