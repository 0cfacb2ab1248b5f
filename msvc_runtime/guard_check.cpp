// Control Flow Guard's check of indirect call targets. Code compiled with the
// guard calls through __guard_check_icall_fptr before every indirect call.
// Here it points at a check that accepts everything; a loader that enforces
// the guard replaces the pointer with its own check of the image's table of
// valid targets (the linker's __guard_fids_table). The pointer lives in
// .00cfg, which the linker merges into read-only data, so nothing but the
// loader can change it.
#include <stdint.h>

namespace {

// Target in ECX; returns only for a valid target.
void __fastcall accept_every_target(uintptr_t) {}

}  // namespace

#pragma section(".00cfg", read)
extern "C" __declspec(allocate(".00cfg")) void(__fastcall* const __guard_check_icall_fptr)(
    uintptr_t) = accept_every_target;
