# Run by cpack around each generator (CPACK_PRE_BUILD_SCRIPTS and
# CPACK_POST_BUILD_SCRIPTS), so that no mode in a package depends on the
# builder's umask:
#   before: every folder of the staged files is rwxr-xr-x (cpack makes some
#           of them itself, with the umask's modes);
#   after:  the members of a Debian package's ar archive (debian-binary and
#           the two tarballs, which cpack writes and adds with the umask's
#           modes) are rw-r--r--, as under the usual umask 022. The ar header
#           is ASCII, so the eight-character mode field is rewritten in place.
if(NOT CPACK_PACKAGE_FILES)
  file(CHMOD_RECURSE "${CPACK_TEMPORARY_DIRECTORY}" DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  return()
endif()

find_program(dd dd REQUIRED)
set(mode_field "${CPACK_TEMPORARY_DIRECTORY}/ar-member-mode")
file(WRITE "${mode_field}" "100644  ")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  file(SIZE "${package}" size)
  set(at 8)  # past "!<arch>\n"
  while(at LESS size)
    file(READ "${package}" header OFFSET ${at} LIMIT 60)
    string(SUBSTRING "${header}" 48 10 length)
    string(STRIP "${length}" length)
    math(EXPR mode_at "${at} + 40")
    execute_process(COMMAND "${dd}" "of=${package}" bs=1 seek=${mode_at} conv=notrunc status=none
      INPUT_FILE "${mode_field}" RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "could not set the member modes of ${package}")
    endif()
    math(EXPR at "${at} + 60 + ${length} + ${length} % 2")
  endwhile()
endforeach()
file(REMOVE "${mode_field}")
