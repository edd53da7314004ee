# cmake -DSOURCE_DIR= -DPROJECT_VERSION= -DTEMPLATE= -DOUTPUT= -P WriteBuildCommit.cmake
# A source tree without git (a release tarball) says "unknown" rather than failing the build.
set(ZEMLO_BUILD_COMMIT unknown)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE status ERROR_QUIET)
  if(status EQUAL 0 AND commit)
    set(ZEMLO_BUILD_COMMIT ${commit})
    # Files touched but unchanged are not changes.
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} update-index -q --refresh
                    OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND ${GIT_EXECUTABLE} -C ${SOURCE_DIR} diff-index --quiet HEAD --
                    RESULT_VARIABLE dirty ERROR_QUIET)
    if(NOT dirty EQUAL 0)
      string(APPEND ZEMLO_BUILD_COMMIT -dirty)
    endif()
  endif()
endif()
configure_file(${TEMPLATE} ${OUTPUT} @ONLY)
