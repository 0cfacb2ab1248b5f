// What built this image, from the build system's definitions, in the form of
// the timing lines: "name=... compiler=... config=... sse2=yes|no".
#pragma once

#if defined(__SSE2__)
#define TAMSEL_BENCH_SSE2 "yes"
#else
#define TAMSEL_BENCH_SSE2 "no"
#endif

#define TAMSEL_BENCH_BUILD_TEXT                                      \
  "name=" TAMSEL_BENCH_BUILD_NAME " compiler=" TAMSEL_BENCH_COMPILER \
  " config=" TAMSEL_BENCH_CONFIG " sse2=" TAMSEL_BENCH_SSE2
