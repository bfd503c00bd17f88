# Read by cpack for each generator: the portable archive holds only the
# "portable" component (the static tool and its documents), the Debian
# package everything a plain install puts in place.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_ALL portable)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PACKAGE_FILE_NAME "${CPACK_JAMCRC_PORTABLE_FILE_NAME}")
endif()
