# quarlo_check.cmake: checks a quarlo module in a project's own tests.
#
#   include(path/to/quarlo-host/quarlo_check.cmake)
#   quarlo_check(TARGET my_module)
#
# adds a ctest test that runs `quarlo_host.exe check` on the DLL the target
# builds, with a JUnit report for the CI system to read. The test passes when
# the checker exits 0: no case failed or crashed. Options:
#
#   TARGET target     the module's SHARED library target (required)
#   NAME name         the test's name (default: quarlo_check_<target>)
#   HOST path         quarlo_host.exe (default: the one beside this file)
#   LAUNCHER cmd...   what runs the host (default on Linux: quarlo_check_wine.sh
#                     beside this file, which brings a display of its own when
#                     there is none)
#   JUNIT file        where the JUnit report goes (default:
#                     <build folder>/quarlo_check_<target>.xml)
#   TIMEOUT seconds   ctest's time limit for the whole check (default 600)
#   CONFIG file       the module's known deviations, `check --config` (default:
#                     quarlo_check.toml in the calling folder, when there is one)
#   ARGS arg...       further options of `check`: --only, --skip, --seed, -j, --strict
#
# Off Windows, each test runs Wine in a 32-bit prefix of its own in the build
# folder (quarlo_check_wine/NAME, made on first use; WINEPREFIX in the test's
# environment), so ~/.wine is neither needed nor touched.
#
# The checker's own exit status is the verdict: 0 passed, 1 a case failed or
# crashed, 2 the module, or some of its cases, could not be checked.
include_guard(GLOBAL)

set(QUARLO_CHECK_DIR ${CMAKE_CURRENT_LIST_DIR})

function(quarlo_check)
  cmake_parse_arguments(PARSE_ARGV 0 check "" "TARGET;NAME;HOST;JUNIT;TIMEOUT;CONFIG" "LAUNCHER;ARGS")
  if(NOT check_TARGET)
    message(FATAL_ERROR "quarlo_check: TARGET is required")
  endif()
  if(NOT TARGET ${check_TARGET})
    message(FATAL_ERROR "quarlo_check: ${check_TARGET} is not a target")
  endif()
  if(check_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "quarlo_check: unknown arguments ${check_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT check_NAME)
    set(check_NAME quarlo_check_${check_TARGET})
  endif()
  if(NOT check_LAUNCHER AND NOT CMAKE_HOST_WIN32)
    # By sh: an archive unpacked without its modes leaves the script unexecutable.
    set(check_LAUNCHER sh ${QUARLO_CHECK_DIR}/quarlo_check_wine.sh)
  endif()
  if(NOT check_HOST)
    set(check_HOST ${QUARLO_CHECK_DIR}/quarlo_host.exe)
  endif()
  if(NOT EXISTS ${check_HOST})
    message(FATAL_ERROR "quarlo_check: no quarlo_host.exe at ${check_HOST} (give HOST)")
  endif()
  if(NOT check_JUNIT)
    set(check_JUNIT ${CMAKE_BINARY_DIR}/quarlo_check_${check_TARGET}.xml)
  endif()
  if(NOT check_TIMEOUT)
    set(check_TIMEOUT 600)
  endif()
  if(NOT check_CONFIG AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/quarlo_check.toml)
    set(check_CONFIG ${CMAKE_CURRENT_SOURCE_DIR}/quarlo_check.toml)
  endif()
  set(config)
  if(check_CONFIG)
    get_filename_component(check_CONFIG ${check_CONFIG} ABSOLUTE)
    set(config --config ${check_CONFIG})
  endif()
  add_test(NAME ${check_NAME}
    COMMAND ${check_LAUNCHER} ${check_HOST} check $<TARGET_FILE:${check_TARGET}>
      --junit ${check_JUNIT} ${config} ${check_ARGS})
  set_tests_properties(${check_NAME} PROPERTIES TIMEOUT ${check_TIMEOUT} LABELS quarlo_check)
  if(NOT CMAKE_HOST_WIN32)
    set_property(TEST ${check_NAME} APPEND PROPERTY
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/quarlo_check_wine/${check_NAME}")
  endif()
endfunction()
