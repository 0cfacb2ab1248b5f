// Calls an object's slot straight through its table of virtual operations, the
// way a host built without the module's headers does: slot N is the N-th
// pointer of the table the object's first word points to, and member functions
// are thiscall on 32-bit Windows.
#pragma once

#if defined(_WIN32) && defined(__i386__)
#define TAMSEL_THISCALL __attribute__((thiscall))
#else
#define TAMSEL_THISCALL
#endif

template <class R, class... Args>
R call_slot(void* object, int slot, Args... args) {
  using slot_fn = R(TAMSEL_THISCALL*)(void*, Args...);
  void* const* table = *static_cast<void* const* const*>(object);
  return reinterpret_cast<slot_fn>(table[slot])(object, args...);
}
