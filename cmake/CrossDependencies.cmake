# Dependencies of a cross build that the target's root does not hold: CLI11 is header-only, so
# the build machine's copy serves; GoogleTest is built for the target from Debian's sources.

# Only the CLI/ folder is put on the include path: all of /usr/include would shadow the target's
# own C library headers.
find_path(ZEMLO_CLI11_INCLUDE CLI/CLI.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(cli11_root ${CMAKE_BINARY_DIR}/cli11-include)
file(MAKE_DIRECTORY ${cli11_root})
file(CREATE_LINK ${ZEMLO_CLI11_INCLUDE}/CLI ${cli11_root}/CLI SYMBOLIC)
add_library(CLI11::CLI11 INTERFACE IMPORTED)
target_include_directories(CLI11::CLI11 SYSTEM INTERFACE ${cli11_root})

# nlohmann-json is header-only as well, and served the same way.
find_path(ZEMLO_JSON_INCLUDE nlohmann/json.hpp PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(json_root ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${json_root})
file(CREATE_LINK ${ZEMLO_JSON_INCLUDE}/nlohmann ${json_root}/nlohmann SYMBOLIC)
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${json_root})

if(ZEMLO_BUILD_TESTS)
  set(ZEMLO_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${ZEMLO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  # GoogleTest's sources define GTest::gtest and GTest::gtest_main themselves; our warning flags
  # are not theirs to meet.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
endif()
