# build/<preset>/run_on_target PROGRAM ARGUMENT...: runs a program of a cross
# build here, as CTest does (CMAKE_CROSSCOMPILING_EMULATOR); the command-line
# tests launch the tool with it.
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(launch "")
  foreach(word IN LISTS CMAKE_CROSSCOMPILING_EMULATOR)
    string(REPLACE "'" "'\\''" word "${word}")
    string(APPEND launch "'${word}' ")
  endforeach()
  file(GENERATE OUTPUT ${PROJECT_BINARY_DIR}/run_on_target
    CONTENT "#!/bin/sh\nexec ${launch}\"$@\"\n"
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endif()
set(JAMCRC_CLI_QEMU_CPUS "" CACHE STRING
  "qemu-user CPU models to run the command-line suite under, once each (tests/cross/run_linux_cross.sh); empty: qemu's own")
