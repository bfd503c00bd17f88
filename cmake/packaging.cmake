# Release packages with CPack: a Debian package on Linux (binary and man page
# under /usr), a zip of the executable for each Windows build.
set(CPACK_PACKAGE_NAME jamcrc)
set(CPACK_PACKAGE_VENDOR "jamcrc developers")
set(CPACK_PACKAGE_CONTACT "jamcrc developers <maintainers@users.noreply.c-seed-328780c1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the CRC-32/JAMCRC checksum of a file")
set(CPACK_PACKAGE_DESCRIPTION "jamcrc loads a file whole and prints its CRC-32 register without the final\n inversion (the CRC-32/JAMCRC parameters), as PATH crc32: HEX.")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_STRIP_FILES ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "64")
    set(CPACK_PACKAGE_FILE_NAME "jamcrc-${PROJECT_VERSION}-windows-x64")
  else()
    set(CPACK_PACKAGE_FILE_NAME "jamcrc-${PROJECT_VERSION}-windows-x86")
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  install(FILES README.md DESTINATION .)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # jamcrc_VERSION_ARCH.deb
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  # The tool needs nothing but the C library (glibc 2.34 merged the symbols it uses).
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
endif()

include(CPack)
