# The `windows` preset's toolchain: MinGW-w64 (mingw-w64-x86_64.cmake), plus the Qt, pugixml,
# libzip and zstd that tools/build-qt-windows built for the target, when its cache folder holds
# them. Without them the desktop client, the DAT reading and RVZ images are left out of the build.
if(DEFINED ENV{ZEMLO_WINDOWS_DEPS_DIR})
  set(zemlo_windows_deps_dir "$ENV{ZEMLO_WINDOWS_DEPS_DIR}")
elseif(DEFINED ENV{XDG_CACHE_HOME} AND NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(zemlo_windows_deps_dir "$ENV{XDG_CACHE_HOME}/zemlo/windows-deps")
else()
  set(zemlo_windows_deps_dir "$ENV{HOME}/.cache/zemlo/windows-deps")
endif()

set(zemlo_mingw_toolchain "${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")
# One file per library names its folder (see tools/build-qt-windows); a folder since removed from
# the cache counts as missing.
set(ZEMLO_WINDOWS_QT_PREFIX "")
set(ZEMLO_WINDOWS_LIBRARY_PREFIXES "")
file(GLOB zemlo_windows_libraries "${zemlo_windows_deps_dir}/libraries/*")
list(SORT zemlo_windows_libraries)
foreach(entry IN LISTS zemlo_windows_libraries)
  if(entry MATCHES "\\.new\\.[0-9]+$")
    continue()
  endif()
  file(STRINGS "${entry}" prefix LIMIT_COUNT 1)
  if(NOT EXISTS "${prefix}/.complete")
    continue()
  endif()
  get_filename_component(library "${entry}" NAME)
  if(library STREQUAL "qt6-base")
    set(ZEMLO_WINDOWS_QT_PREFIX "${prefix}")
  else()
    list(APPEND ZEMLO_WINDOWS_LIBRARY_PREFIXES "${prefix}")
  endif()
endforeach()
if(ZEMLO_WINDOWS_QT_PREFIX AND EXISTS "${ZEMLO_WINDOWS_QT_PREFIX}/lib/cmake/Qt6/qt.toolchain.cmake")
  # Qt's own toolchain file adds its folder to the searches and names the host tools; the one
  # it recorded at its build may be gone, so ours is always handed to it.
  set(QT_CHAINLOAD_TOOLCHAIN_FILE "${zemlo_mingw_toolchain}")
  include("${ZEMLO_WINDOWS_QT_PREFIX}/lib/cmake/Qt6/qt.toolchain.cmake")
else()
  include("${zemlo_mingw_toolchain}")
endif()
foreach(prefix IN LISTS ZEMLO_WINDOWS_LIBRARY_PREFIXES)
  # A root path and a prefix path that are the same folder make CMake search a doubled path.
  list(PREPEND CMAKE_FIND_ROOT_PATH "${prefix}")
  list(PREPEND CMAKE_PREFIX_PATH "${prefix}/lib/cmake")
  set(ENV{PKG_CONFIG_LIBDIR} "$ENV{PKG_CONFIG_LIBDIR}:${prefix}/lib/pkgconfig")
endforeach()
