#include "guid_detector_dll.h"

#include "build_text.h"
#include "detector_run_offset.h"

int32_t __cdecl guid_detector_find(const char* text) { return detector_run_offset(text); }

const char* __cdecl guid_detector_build() { return TAMSEL_BENCH_BUILD_TEXT; }
