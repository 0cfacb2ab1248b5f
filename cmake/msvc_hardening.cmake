# What Windows and a security review read from a Microsoft-ABI image: stack
# cookies (clang's stack protector in this target checks them through the
# runtime layer's __security_check_cookie), Control Flow Guard's checks and
# tables (the driver takes no option for it in this mode, so it goes to the
# compiler proper), and the marker for the processor's shadow stack. ASLR,
# DEP and the SafeSEH table are lld-link's defaults.
add_compile_options("$<$<COMPILE_LANGUAGE:C,CXX>:-fstack-protector-strong;-Xclang=-cfguard>")
add_link_options(LINKER:/guard:cf LINKER:/cetcompat)
