# What the GNU toolchain can give a Windows image of the rules a loader and a
# security review read from it. Stack protection, with libssp linked
# statically (Debian's mingw-w64 would otherwise link libssp-0.dll, one more
# runtime DLL to ship): its guard is set at start-up from the system's random
# source, and a smashed frame ends the process with a message and abort().
# NO_SEH: no code in these images (nor in the mingw-w64 start-up linked into
# them) puts a handler on the SEH chain; C++ exceptions unwind with DWARF
# tables. tools/binary_audit.py verifies both in every image that ships.
# ASLR and DEP are GNU ld's defaults. GNU ld writes no SafeSEH table, no load
# configuration, no Control Flow Guard tables and no CET marker.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong>")
link_libraries(-l:libssp.a)
add_link_options(LINKER:--no-seh)
