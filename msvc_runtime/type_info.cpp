// type_info's table. Every type descriptor the compiler emits for exceptions
// points at it; msvcrt.dll does not export it, so each DLL defines its own.
// Type descriptors are never destroyed, so its one slot (the deleting
// destructor) does nothing.
#include <typeinfo>

type_info::~type_info() noexcept {}

namespace {

void* __thiscall type_info_deleting_destructor(void* self, unsigned) { return self; }

}  // namespace

extern "C" const void* const type_info_table[1] __asm__("??_7type_info@@6B@") = {
    reinterpret_cast<const void*>(&type_info_deleting_destructor)};
