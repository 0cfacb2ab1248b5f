# 32-bit Windows in the Microsoft C++ ABI: Debian's clang 19 with
# --target=i686-pc-windows-msvc, linked by lld-link. There is no Microsoft
# C or C++ library here: C and Windows declarations come from Wine's headers
# (libwine-dev:i386, unpacked by tools/wine_headers.sh), the little C++ language support the code needs from
# msvc_runtime/, and the images import only system DLLs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(tamsel_llvm_version 19)
set(CMAKE_C_COMPILER clang-${tamsel_llvm_version})
set(CMAKE_CXX_COMPILER clang++-${tamsel_llvm_version})
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_RC_COMPILER llvm-rc-${tamsel_llvm_version})
set(CMAKE_AR llvm-ar-${tamsel_llvm_version})
set(CMAKE_RANLIB llvm-ranlib-${tamsel_llvm_version})
set(TAMSEL_DLLTOOL llvm-dlltool-${tamsel_llvm_version})

# Nothing links without our runtime, so the compiler checks stop at compiling.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# No C runtime of Microsoft's: no runtime-selection macros, no default libraries.
set(CMAKE_MSVC_RUNTIME_LIBRARY "")
set(CMAKE_C_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)
set(CMAKE_CXX_STANDARD_LIBRARIES "" CACHE STRING "" FORCE)

set(tamsel_wine_include /usr/local/lib/tamsel/libwine-dev/usr/include/wine/wine)
if(NOT EXISTS ${tamsel_wine_include}/windows/windows.h)
  message(FATAL_ERROR "Wine's headers are missing: run tools/wine_headers.sh (make deps does)")
endif()
set(tamsel_msvc_runtime ${CMAKE_CURRENT_LIST_DIR}/../../msvc_runtime)
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${tamsel_wine_include}/msvcrt ${tamsel_wine_include}/windows)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${tamsel_msvc_runtime}/include
  ${tamsel_wine_include}/msvcrt ${tamsel_wine_include}/windows)
set(CMAKE_RC_STANDARD_INCLUDE_DIRECTORIES ${tamsel_wine_include}/windows)

# What every compilation of this build needs, whatever flags a user adds (the
# project applies them): Wine's headers made to fit, Microsoft's language
# extensions, no C++ library. SSE2: every processor that runs a supported
# Windows has it. No thread-safe statics (they need the Microsoft runtime's
# locks; the module is single-threaded). A section per function, so the linker
# drops what nothing calls.
set(TAMSEL_MSVC_COMPILE_OPTIONS)
foreach(option -msse2 -ffunction-sections -fms-extensions -fms-compatibility
    -fms-compatibility-version=19.29 -nostdinc++ -fno-threadsafe-statics
    -include ${tamsel_msvc_runtime}/wine_headers.h)
  list(APPEND TAMSEL_MSVC_COMPILE_OPTIONS "$<$<COMPILE_LANGUAGE:CXX>:${option}>")
endforeach()
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib")
