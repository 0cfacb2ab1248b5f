# Copies the toolchain's runtime DLLs beside the programs: the shared unwinder
# that lets exceptions cross between module and host, the C++ runtime and the
# thread library it uses.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_s_dw2-1.dll
  OUTPUT_VARIABLE tamsel_libgcc OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
  OUTPUT_VARIABLE tamsel_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
find_file(tamsel_winpthread libwinpthread-1.dll
  PATHS /usr/i686-w64-mingw32/lib /usr/i686-w64-mingw32/bin NO_DEFAULT_PATH REQUIRED)

set(TAMSEL_RUNTIME_DLLS ${tamsel_libgcc} ${tamsel_libstdcxx} ${tamsel_winpthread})
file(COPY ${TAMSEL_RUNTIME_DLLS} DESTINATION ${CMAKE_BINARY_DIR}/bin)
