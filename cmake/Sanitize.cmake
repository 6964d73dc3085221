# Sanitizer builds, included from the top-level CMakeLists.txt before any target is made, so every
# target built from our sources (libraries, programs, tests, benchmarks) is instrumented alike.
#
#   -DTAMRIX_SANITIZE=address,undefined   AddressSanitizer (with LeakSanitizer) and UBSan
#   -DTAMRIX_SANITIZE=thread              ThreadSanitizer
#
# The presets asan and tsan (CMakePresets.json) and scripts/sanitize use exactly these. Libraries
# from the system (Qt, GoogleTest, libudev) stay uninstrumented.
set(TAMRIX_SANITIZE "" CACHE STRING
    "Sanitizers for our own targets, comma-separated: address, undefined, leak, thread (empty: none)")

if(TAMRIX_SANITIZE)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "^(GNU|Clang)$")
    message(FATAL_ERROR "TAMRIX_SANITIZE needs GCC or Clang, not ${CMAKE_CXX_COMPILER_ID}")
  endif()
  string(REPLACE "," ";" tamrix_sanitizers "${TAMRIX_SANITIZE}")
  foreach(sanitizer IN LISTS tamrix_sanitizers)
    if(NOT sanitizer MATCHES "^(address|undefined|leak|thread)$")
      message(FATAL_ERROR "TAMRIX_SANITIZE: unknown sanitizer '${sanitizer}' "
                          "(address, undefined, leak, thread)")
    endif()
  endforeach()
  if("thread" IN_LIST tamrix_sanitizers
     AND ("address" IN_LIST tamrix_sanitizers OR "leak" IN_LIST tamrix_sanitizers))
    message(FATAL_ERROR "TAMRIX_SANITIZE: thread cannot be combined with address or leak")
  endif()

  # The build type Sanitize (the presets') optimises lightly and keeps line tables only: the
  # reports name file and line, the tests run at a useful speed, and the build takes far less time
  # than with full debug information.
  set(CMAKE_CXX_FLAGS_SANITIZE "-O1 -g1" CACHE STRING "C++ flags of the Sanitize build type")
  set(CMAKE_C_FLAGS_SANITIZE "-O1 -g1" CACHE STRING "C flags of the Sanitize build type")
  # Frame pointers give the reports whole stacks at little cost.
  set(tamrix_sanitize_flags -fsanitize=${TAMRIX_SANITIZE} -fno-omit-frame-pointer)
  # Undefined behaviour stops the program at its first report, so a test that meets one fails
  # instead of printing a line nobody reads.
  if("undefined" IN_LIST tamrix_sanitizers)
    list(APPEND tamrix_sanitize_flags -fno-sanitize-recover=all)
  endif()
  # GCC's instrumentation makes -Wmaybe-uninitialized fire on code it has rewritten (std::regex's
  # std::function members, for one), and GCC advises against -Werror with sanitizers for that
  # reason. The ordinary build keeps the warning, as an error.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    list(APPEND tamrix_sanitize_flags -Wno-maybe-uninitialized)
  endif()
  add_compile_options(${tamrix_sanitize_flags})
  add_link_options(-fsanitize=${TAMRIX_SANITIZE})
  message(STATUS "Sanitizers: ${TAMRIX_SANITIZE}")
endif()
