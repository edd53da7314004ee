# Fails when a source file under DIR calls on POSIX-only headers or functions: the desktop client
# must build on Windows, where no CI job compiles it.
file(GLOB_RECURSE sources ${DIR}/*.cpp ${DIR}/*.h)
set(pattern "#include <(unistd|dlfcn|poll|fcntl|pthread|spawn|termios|netdb|sys/[a-z_]+)\\.h>|[^a-zA-Z_:.](fork|isatty|popen|setenv|unsetenv|usleep|sigaction|mkstemp)\\(")
set(found "")
foreach(source IN LISTS sources)
  file(STRINGS ${source} lines REGEX "${pattern}")
  foreach(line IN LISTS lines)
    string(APPEND found "${source}: ${line}\n")
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "POSIX-only calls in ${DIR}:\n${found}")
endif()
