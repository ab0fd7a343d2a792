# Warnings for every target of the project.
add_library(kestrune_warnings INTERFACE)
target_compile_options(kestrune_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wimplicit-fallthrough)
if(KESTRUNE_WERROR)
  target_compile_options(kestrune_warnings INTERFACE -Werror)
endif()
