# Build helpers shared by every folder.
#
# A subsystem library is every .cpp of its folder; files ending in _win32.cpp
# only go into the Windows build, files ending in _posix.cpp only into the
# native one. Test executables follow the same rule, with _win32_test.cpp and
# _posix_test.cpp.

if(WIN32)
  set(GLIM_PLATFORM_SKIP "_posix(_test)?\\.cpp$")
else()
  set(GLIM_PLATFORM_SKIP "_win32(_test)?\\.cpp$")
endif()

function(glim_platform_sources out)
  set(result "")
  foreach(pattern ${ARGN})
    file(GLOB found CONFIGURE_DEPENDS ${pattern})
    list(APPEND result ${found})
  endforeach()
  list(FILTER result EXCLUDE REGEX "${GLIM_PLATFORM_SKIP}")
  list(SORT result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()

function(glim_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter)
  if(WIN32)
    # GCC 12 at -O3 reports impossible overlaps inside std::string copies.
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

# glim_add_library(name [DEPS targets...])
function(glim_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  glim_platform_sources(srcs ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT srcs)
    # A folder whose sources have not been written yet.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} glim_platform)
    return()
  endif()
  add_library(${name} STATIC ${srcs})
  target_include_directories(${name} PUBLIC ${CMAKE_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} glim_platform)
  glim_warnings(${name})
endfunction()

# glim_add_test(name [SOURCES globs...] [DEPS targets...] [LABELS labels...]
#               [TIMEOUT seconds] [WINE_TIMEOUT seconds])
# The test runs natively, or under Wine in the Windows build. TIMEOUT is the
# native limit, WINE_TIMEOUT the one under Wine: the sanitizers make a test
# many times slower natively than it is under Wine, where a limit too long
# only delays the retry of a test that hangs.
function(glim_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT;WINE_TIMEOUT" "SOURCES;DEPS;LABELS" ${ARGN})
  if(NOT ARG_SOURCES)
    set(ARG_SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  endif()
  glim_platform_sources(srcs ${ARG_SOURCES})
  if(NOT srcs)
    return()
  endif()
  # The window has no default sink: tests of the parts that reach it start
  # with a stand-in installed (tests/support/window_stand_in.cpp).
  if(ARG_DEPS MATCHES "glim_(core|feed|traffic|app|app_wiring|airports|catalogue|simlink|ui)(;|$)")
    list(APPEND srcs ${CMAKE_SOURCE_DIR}/tests/support/window_stand_in.cpp)
  endif()
  add_executable(${name} ${srcs})
  set_target_properties(${name} PROPERTIES UNITY_BUILD ON UNITY_BUILD_BATCH_SIZE 8)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} glim::gtest_main)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tests)
  glim_warnings(${name})
  if(WIN32)
    set(label wine)
  else()
    set(label native)
  endif()
  add_test(NAME ${name} COMMAND ${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(${name} PROPERTIES LABELS "${label};${ARG_LABELS}"
    ENVIRONMENT "GLIM_SOURCE_DIR=${CMAKE_SOURCE_DIR};GLIM_BINARY_DIR=${CMAKE_BINARY_DIR};LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/lsan.supp")
  # Under Wine a unit test that hangs is retried (scripts/test): let it cost
  # a minute and a half, not five. The slowest of these tests takes 10 to
  # 20 s under Wine beside three others on a loaded machine. A test that
  # takes more than a quarter of the limit alone sets one of its own.
  if(WIN32 AND ARG_WINE_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_WINE_TIMEOUT})
  elseif(WIN32)
    set_tests_properties(${name} PROPERTIES TIMEOUT 90)
  elseif(ARG_TIMEOUT)
    set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT})
  else()
    set_tests_properties(${name} PROPERTIES TIMEOUT 300)
  endif()
endfunction()
