# Warnings for every target of the project.
add_library(kestrune_warnings INTERFACE)
target_compile_options(kestrune_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
  -Woverloaded-virtual -Wconversion -Wsign-conversion -Wimplicit-fallthrough)
if(KESTRUNE_WERROR)
  target_compile_options(kestrune_warnings INTERFACE -Werror)
endif()
# The test programs' warnings: the project's, less the conversion ones (byte
# buffers written out by hand are full of int literals).
set(KESTRUNE_TEST_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wold-style-cast -Woverloaded-virtual
  -Wimplicit-fallthrough $<$<BOOL:${KESTRUNE_WERROR}>:-Werror>)
