# Third-party libraries, the same target names in both builds.
#   Native: Debian's -dev packages.
#   Windows: the prefix that scripts/deps builds from Debian's source packages
#            (GLIM_MINGW_PREFIX), found through CMAKE_PREFIX_PATH.

add_library(glim_platform INTERFACE)

if(WIN32)
  if(NOT GLIM_MINGW_PREFIX)
    set(GLIM_MINGW_PREFIX "$ENV{GLIM_MINGW_PREFIX}")
  endif()
  if(NOT GLIM_MINGW_PREFIX)
    message(FATAL_ERROR "GLIM_MINGW_PREFIX is not set: run scripts/deps first")
  endif()
  list(PREPEND CMAKE_PREFIX_PATH ${GLIM_MINGW_PREFIX})
  list(PREPEND CMAKE_FIND_ROOT_PATH ${GLIM_MINGW_PREFIX})
  target_compile_definitions(glim_platform INTERFACE
    UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0A00 CURL_STATICLIB SODIUM_STATIC)
  target_link_options(glim_platform INTERFACE -static -static-libgcc -static-libstdc++)
  target_link_libraries(glim_platform INTERFACE
    ws2_32 crypt32 bcrypt secur32 advapi32 normaliz shell32 shlwapi ole32 user32 gdi32 winmm iphlpapi)
else()
  find_package(Threads REQUIRED)
  target_link_libraries(glim_platform INTERFACE Threads::Threads)
  if(GLIM_SANITIZE)
    target_compile_options(glim_platform INTERFACE -fsanitize=${GLIM_SANITIZE} -fno-omit-frame-pointer)
    target_link_options(glim_platform INTERFACE -fsanitize=${GLIM_SANITIZE})
    if(GLIM_SANITIZE MATCHES "undefined")
      # UBSan reports and carries on by default: a test with undefined
      # behaviour would pass. Every report ends the process instead.
      target_compile_options(glim_platform INTERFACE -fno-sanitize-recover=all)
      target_link_options(glim_platform INTERFACE -fno-sanitize-recover=all)
      # GCC leaves float-cast-overflow out of "undefined": a NaN or 1e300
      # turned into an int gives INT_MIN without a word. Asked for by name
      # (clang has it in the group already).
      target_compile_options(glim_platform INTERFACE -fsanitize=float-cast-overflow)
      target_link_options(glim_platform INTERFACE -fsanitize=float-cast-overflow)
    endif()
  endif()
endif()

find_package(pugixml REQUIRED)
find_package(fmt REQUIRED)
find_package(GTest REQUIRED)
find_package(CURL REQUIRED)
if(WIN32)
  find_package(libzip REQUIRED)
else()
  # Debian's libzip CMake files name tools that live in another package.
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET libzip)
endif()

find_path(SODIUM_INCLUDE_DIR sodium.h REQUIRED)
find_library(SODIUM_LIBRARY NAMES libsodium.a sodium REQUIRED)

add_library(glim::pugixml INTERFACE IMPORTED)
target_link_libraries(glim::pugixml INTERFACE pugixml::pugixml)
add_library(glim::fmt INTERFACE IMPORTED)
target_link_libraries(glim::fmt INTERFACE fmt::fmt)
add_library(glim::curl INTERFACE IMPORTED)
target_link_libraries(glim::curl INTERFACE CURL::libcurl)
add_library(glim::zip INTERFACE IMPORTED)
if(WIN32)
  target_link_libraries(glim::zip INTERFACE libzip::zip)
else()
  target_link_libraries(glim::zip INTERFACE PkgConfig::LIBZIP)
endif()
add_library(glim::sodium INTERFACE IMPORTED)
target_include_directories(glim::sodium INTERFACE ${SODIUM_INCLUDE_DIR})
target_link_libraries(glim::sodium INTERFACE ${SODIUM_LIBRARY})
add_library(glim::gtest_main INTERFACE IMPORTED)
if(WIN32)
  # Our own entry point for the tests under Wine (tests/support).
  target_link_libraries(glim::gtest_main INTERFACE GTest::gmock GTest::gtest)
  target_sources(glim::gtest_main INTERFACE ${CMAKE_SOURCE_DIR}/tests/support/gtest_main_win32.cpp)
else()
  target_link_libraries(glim::gtest_main INTERFACE GTest::gmock GTest::gtest_main)
endif()

add_library(glim::json INTERFACE IMPORTED)
add_library(glim::gsl INTERFACE IMPORTED)
if(WIN32)
  # Header-only libraries from Debian, copied into the prefix by scripts/deps
  # so that /usr/include never leaks into the cross build.
  target_include_directories(glim::json INTERFACE ${GLIM_MINGW_PREFIX}/include)
  target_include_directories(glim::gsl INTERFACE ${GLIM_MINGW_PREFIX}/include)
else()
  find_package(nlohmann_json REQUIRED)
  find_package(Microsoft.GSL REQUIRED)
  target_link_libraries(glim::json INTERFACE nlohmann_json::nlohmann_json)
  target_link_libraries(glim::gsl INTERFACE Microsoft.GSL::GSL)
  # cpp-httplib serves the stand-ins of testbed/ (native only). Debian builds
  # it as a shared library whose header must be compiled with the same
  # feature switches; pkg-config carries both.
  pkg_check_modules(HTTPLIB REQUIRED IMPORTED_TARGET cpp-httplib)
  add_library(glim::httplib INTERFACE IMPORTED)
  target_link_libraries(glim::httplib INTERFACE PkgConfig::HTTPLIB)
endif()
