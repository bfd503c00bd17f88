# The licences of what the build's program carries besides our own code,
# gathered into one file for its package (JAMCRC_THIRD_PARTY_LICENSES, empty
# where it carries nothing that asks for one):
#   musl            the C library of the static Linux programs (MIT), from
#                   the zig that builds them;
#   mingw-w64       the C runtime start-up and helpers every Windows program
#                   links in (ZPL 2.1 and others, which ask binaries to
#                   reproduce their notice), from the toolchain's own copy;
#   compiler-rt     zig's compiler runtime, in every program zig links (MIT).
# What a Debian package's program links dynamically (the system's C
# library), and GCC's libgcc, whose runtime library exception asks nothing of
# a program, need no notice here.
set(JAMCRC_THIRD_PARTY_LICENSES "")
set(parts "")
if(JAMCRC_ZIG)
  get_filename_component(zig_dir "${JAMCRC_ZIG}" DIRECTORY)
endif()
if(JAMCRC_ZIG AND JAMCRC_ZIG_TARGET MATCHES "-musl")
  list(APPEND parts "musl, the C library|${zig_dir}/lib/libc/musl/COPYRIGHT")
endif()
if(MINGW)
  if(JAMCRC_ZIG)
    set(mingw_notice "${zig_dir}/lib/libc/mingw/COPYING")
  else()
    set(mingw_notice /usr/share/doc/mingw-w64-common/copyright)  # Debian's record of its licences
  endif()
  list(APPEND parts "mingw-w64, the C runtime's start-up and helpers|${mingw_notice}")
endif()
if(JAMCRC_ZIG)
  list(APPEND parts "compiler-rt of zig, the compiler's runtime|${zig_dir}/LICENSE")
endif()
if(parts)
  set(text "The jamcrc program carries, besides jamcrc's own code (see LICENSE), parts of\nthe following, each under its licence, given here in full.\n")
  foreach(part IN LISTS parts)
    string(REPLACE "|" ";" part "${part}")
    list(GET part 0 what)
    list(GET part 1 notice)
    if(NOT EXISTS "${notice}")
      message(WARNING "No licence text for ${what} at ${notice}: the packages will lack it")
      continue()
    endif()
    file(READ "${notice}" licence)
    string(APPEND text "\n\n==== ${what}\n\n${licence}")
  endforeach()
  set(JAMCRC_THIRD_PARTY_LICENSES "${PROJECT_BINARY_DIR}/THIRD-PARTY-LICENSES")
  file(WRITE "${JAMCRC_THIRD_PARTY_LICENSES}" "${text}")
endif()
