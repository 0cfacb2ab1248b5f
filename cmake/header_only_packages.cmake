# CLI11 and nlohmann/json, header-only Debian packages (libcli11-dev,
# nlohmann-json3-dev), for the host program in every build. The cross builds
# get a copy of just these headers, never the system's include folder.
if(NOT TARGET header_only_packages)
  set(header_only_include ${CMAKE_BINARY_DIR}/header_only/include)
  foreach(folder CLI nlohmann)
    if(NOT EXISTS /usr/include/${folder})
      message(FATAL_ERROR "/usr/include/${folder} is missing: run tools/install_deps.sh")
    endif()
    file(COPY /usr/include/${folder} DESTINATION ${header_only_include})
  endforeach()
  add_library(header_only_packages INTERFACE)
  target_include_directories(header_only_packages SYSTEM INTERFACE ${header_only_include})
endif()
