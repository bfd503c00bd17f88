# Warnings, optional -Werror and sanitizers, applied to every target of ours
# through one interface library.
add_library(jamcrc_options INTERFACE)
target_compile_options(jamcrc_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion)
if(JAMCRC_WARNINGS_AS_ERRORS)
  target_compile_options(jamcrc_options INTERFACE -Werror)
endif()
if(JAMCRC_SANITIZE)
  target_compile_options(jamcrc_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(jamcrc_options INTERFACE -fsanitize=address,undefined)
endif()
