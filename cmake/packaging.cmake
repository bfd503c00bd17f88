# Release packages with CPack, each carrying the licence, the release notes
# and the licences of what its program carries (third_party_licenses.cmake):
#   Linux    a Debian package (dynamically linked tool, compressed man page,
#            copyright and changelog where Debian expects them), or, from a
#            build whose program is static (on musl), the portable archive
#            jamcrc-VERSION-linux-PROCESSOR.tar.gz;
#   Windows  a zip per build, everything in one folder named like it.
set(CPACK_PACKAGE_NAME jamcrc)
set(CPACK_PACKAGE_VENDOR "the jamcrc developers")
set(CPACK_PACKAGE_CONTACT "jamcrc developers <maintainers@users.noreply.c-seed-328780c1.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "print the CRC-32/JAMCRC checksum of a file")
set(CPACK_PACKAGE_DESCRIPTION "jamcrc loads a file whole and prints its CRC-32 register without the final\n inversion (the CRC-32/JAMCRC parameters), as PATH crc32: HEX.")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
# The programs are stripped once linked (src/tool), so the packages carry the
# very bytes the tests ran.
set(CPACK_STRIP_FILES OFF)
# Beside each package, its SHA-256 in the form `sha256sum -c` reads.
set(CPACK_PACKAGE_CHECKSUM SHA256)
# Reproducible packages: packaging_per_generator.cmake dates every member by
# the last commit (or SOURCE_DATE_EPOCH, where the builder sets it).
find_program(JAMCRC_GIT git)
set(CPACK_JAMCRC_GIT "${JAMCRC_GIT}")
set(CPACK_JAMCRC_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/packaging_per_generator.cmake")
set(CPACK_PRE_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/packaging_fixed_modes.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/packaging_fixed_modes.cmake")
include(cmake/third_party_licenses.cmake)

# The processor in package names, as each system names it: Windows (x86, x64,
# arm64), Debian (amd64, i386, arm64, armhf, ...) and uname -m for the Linux
# archives, but armhf (hard float) or armel for 32-bit ARM, whose uname says
# only armv7l. Taken from what the compiler targets, not from
# CMAKE_SYSTEM_PROCESSOR, which is only what a toolchain file or the build
# machine says.
set(debian_processor "")
if(JAMCRC_TARGET_PROCESSOR STREQUAL "x86" AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(windows_processor x64)
  set(debian_processor amd64)
  set(linux_processor x86_64)
elseif(JAMCRC_TARGET_PROCESSOR STREQUAL "x86")
  set(windows_processor x86)
  set(debian_processor i386)
  set(linux_processor i686)
elseif(JAMCRC_TARGET_PROCESSOR STREQUAL "aarch64")
  set(windows_processor arm64)
  set(debian_processor arm64)
  set(linux_processor aarch64)
elseif(JAMCRC_TARGET_PROCESSOR STREQUAL "arm")
  jamcrc_target_is("defined(__ARM_PCS_VFP)" JAMCRC_TARGET_IS_ARM_HARD_FLOAT)
  if(JAMCRC_TARGET_IS_ARM_HARD_FLOAT)
    set(debian_processor armhf)
  else()
    set(debian_processor armel)
  endif()
  set(windows_processor arm)
  set(linux_processor ${debian_processor})
else()
  set(windows_processor ${CMAKE_SYSTEM_PROCESSOR})
  set(linux_processor ${CMAKE_SYSTEM_PROCESSOR})
  if(CMAKE_CROSSCOMPILING)
    string(REPLACE ppc64le ppc64el debian_processor "${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()

# The documents every archive carries beside the program: ours, the release
# notes, and the licences of what the program carries where it carries any.
set(documents README.md LICENSE CHANGELOG.md)
if(JAMCRC_THIRD_PARTY_LICENSES)
  list(APPEND documents ${JAMCRC_THIRD_PARTY_LICENSES})
endif()

if(WIN32)
  # One folder named like the zip, the program at its top, as Windows users
  # unpack and put a folder on their PATH; the documents with Windows' line
  # ends, which every editor there shows as lines.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME "jamcrc-${PROJECT_VERSION}-windows-${windows_processor}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  foreach(document IN LISTS documents)
    get_filename_component(name "${document}" NAME)
    file(READ "${document}" text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE "${PROJECT_BINARY_DIR}/crlf/${name}" "${text}")
    install(FILES "${PROJECT_BINARY_DIR}/crlf/${name}" DESTINATION .)
  endforeach()
  include(CPack)
  return()
endif()

# macOS: no package here; the release's macOS archive joins two builds into
# one universal program (release/package.sh).
if(APPLE)
  return()
endif()

# The portable archive: a static program needs nothing of the system, so its
# build makes no Debian package (whose program links the system's C library).
if(JAMCRC_STATIC_PROGRAM)
  set(CPACK_GENERATOR TGZ)
  set(CPACK_PACKAGE_FILE_NAME "jamcrc-${PROJECT_VERSION}-linux-${linux_processor}")
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL portable)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  install(TARGETS jamcrc RUNTIME DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
  install(FILES "${PROJECT_BINARY_DIR}/man/jamcrc.1" ${documents} DESTINATION . COMPONENT portable EXCLUDE_FROM_ALL)
  include(CPack)
  return()
endif()

# Debian: the licence in the machine-readable copyright format, made from
# LICENSE (Debian calls this text Expat), and a changelog whose entry is the
# release notes' newest; both installed with the tool's documentation.
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" license_lines)
list(FILTER license_lines EXCLUDE REGEX "^(MIT License|Copyright)")
set(license_text "")
set(in_text FALSE)
foreach(line IN LISTS license_lines)
  if(line STREQUAL "" AND NOT in_text)
    continue()  # the blank lines before the text proper
  endif()
  set(in_text TRUE)
  if(line STREQUAL "")
    string(APPEND license_text " .\n")
  else()
    string(APPEND license_text " ${line}\n")
  endif()
endforeach()
set(debian_dir "${PROJECT_BINARY_DIR}/debian")
file(WRITE "${debian_dir}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: jamcrc\n"
  "Upstream-Contact: ${CPACK_PACKAGE_CONTACT}\n"
  "\n"
  "Files: *\n"
  "Copyright: 2026 the jamcrc developers\n"
  "License: Expat\n"
  "\n"
  "License: Expat\n"
  "${license_text}")
include(cmake/release_notes.cmake)
configure_file(cmake/debian/changelog.in "${debian_dir}/changelog" @ONLY)
add_custom_command(OUTPUT "${debian_dir}/changelog.gz"
  COMMAND ${JAMCRC_GZIP} -9n -c changelog > changelog.gz
  WORKING_DIRECTORY "${debian_dir}"
  DEPENDS "${debian_dir}/changelog")
add_custom_target(debian_changelog ALL DEPENDS "${debian_dir}/changelog.gz")
install(FILES "${debian_dir}/copyright" "${debian_dir}/changelog.gz" DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
if(CMAKE_CROSSCOMPILING AND debian_processor)
  # cpack would ask dpkg, which names the build machine's processor.
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${debian_processor})
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # jamcrc_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# The tool needs nothing but the C library (glibc 2.34 merged the symbols it
# uses) and, on 32-bit ARM, the unwinder's personality routines its unwinding
# tables name, in libgcc_s.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
if(JAMCRC_TARGET_PROCESSOR STREQUAL "arm")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libgcc-s1")
endif()

include(CPack)
