# Read by cpack for each generator.
#
# Every member of every package is dated by SOURCE_DATE_EPOCH, which cpack
# honours: the builder's own where it sets one, else the time of the last
# commit, else (sources without git) the time of CMakeLists.txt. Zip members
# carry local times, so the clock is UTC here. With the fixed owners and order
# cpack gives, and the install's fixed modes, the same commit gives the same
# packages byte for byte.
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH} OR "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "")
  if(CPACK_JAMCRC_GIT)
    execute_process(COMMAND "${CPACK_JAMCRC_GIT}" -C "${CPACK_JAMCRC_SOURCE_DIR}" log -1 --format=%ct
      OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE failed)
    if(failed)
      set(epoch "")
    endif()
  endif()
  if(epoch STREQUAL "")
    file(TIMESTAMP "${CPACK_JAMCRC_SOURCE_DIR}/CMakeLists.txt" epoch "%s" UTC)
  endif()
  set(ENV{SOURCE_DATE_EPOCH} "${epoch}")
endif()
set(ENV{TZ} UTC)
