# Copies the Microsoft-ABI half of the host (the bridge and that ABI's
# quarlo_shared.dll, from the windows-msvc build) into msvc\ beside the host
# program: cmake -DFROM=<windows-msvc bin> -DTO=<bin>/msvc -P copy_msvc_half.cmake
foreach(name quarlo_msvc_bridge.dll quarlo_shared.dll)
  if(EXISTS ${FROM}/${name})
    file(COPY ${FROM}/${name} DESTINATION ${TO})
  else()
    message(WARNING "${FROM}/${name} is missing: build the windows-msvc preset first, "
      "or the host cannot drive Microsoft-ABI modules")
  endif()
endforeach()
