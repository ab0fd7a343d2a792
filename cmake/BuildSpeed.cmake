# What makes the build quick without changing what it builds: a faster
# linker, less debug information where asked, test programs at -O1, and
# precompiled headers shared by every target of a kind. Everything here is
# applied to every target of the project at the end of the top-level
# CMakeLists.txt (kestrune_speed_up_targets), so that new folders, libraries
# and test programs get it without asking.

# mold, else lld: both link the test programs many times faster than ld.bfd.
option(KESTRUNE_FAST_LINKER "Link with mold or lld when the system has one" ON)
if(KESTRUNE_FAST_LINKER)
  include(CheckLinkerFlag)
  foreach(linker mold lld)
    check_linker_flag(CXX "-fuse-ld=${linker}" KESTRUNE_LINKER_${linker})
    if(KESTRUNE_LINKER_${linker})
      add_link_options(-fuse-ld=${linker})
      break()
    endif()
  endforeach()
endif()

# Full debug information costs a third of the compile time; line tables (-g1)
# still give the sanitizers' stack traces their files and lines.
set(KESTRUNE_DEBUG_INFO "" CACHE STRING
  "Debug information: full (-g), lines (-g1) or none (-g0); empty: as the build type says")
set_property(CACHE KESTRUNE_DEBUG_INFO PROPERTY STRINGS "" full lines none)
if(KESTRUNE_DEBUG_INFO STREQUAL "full")
  add_compile_options(-g)
elseif(KESTRUNE_DEBUG_INFO STREQUAL "lines")
  add_compile_options(-g1)
elseif(KESTRUNE_DEBUG_INFO STREQUAL "none")
  add_compile_options(-g0)
elseif(NOT KESTRUNE_DEBUG_INFO STREQUAL "")
  message(FATAL_ERROR "KESTRUNE_DEBUG_INFO must be full, lines, none or empty")
endif()

# The test programs' own sources are compiled far more often than they run:
# in an optimised build they are built at -O1, which takes a fifth less
# compile time and still gives GCC's flow-based warnings what they need. At
# -O1 GCC 12 takes a std::string built by operator+ from a short one for an
# overrun (-Warray-bounds in char_traits.h, and with it off
# -Wstringop-overflow, and with both off -Wstringop-overread: one known false
# alarm of its string inlining); the tests' own overruns are the
# AddressSanitizer build's to catch. The programs' code keeps all three, at
# -O2.
set(KESTRUNE_TEST_OPTIMIZATION)
foreach(option -O1 -Wno-array-bounds -Wno-stringop-overflow -Wno-stringop-overread)
  list(APPEND KESTRUNE_TEST_OPTIMIZATION
    "$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${option}>")
endforeach()

option(KESTRUNE_PCH "Precompile the standard, GoogleTest and Qt headers" ON)

# The headers of each kind of target. Only headers from outside the project:
# a change in the project rebuilds no precompiled header. Headers that look at
# a module's QT_*_LIB macro (QtTest's) stay out, since the targets of one kind
# link different Qt modules.
set(KESTRUNE_PCH_STD
  <algorithm> <array> <atomic> <chrono> <condition_variable> <cstddef> <cstdint> <filesystem>
  <fstream> <functional> <map> <memory> <mutex> <optional> <span> <string> <string_view>
  <system_error> <thread> <utility> <vector>)
set(KESTRUNE_PCH_QT
  <QApplication> <QDialog> <QHeaderView> <QLabel> <QLineEdit> <QMenu> <QPointer> <QPushButton>
  <QRadioButton> <QString> <QTimer> <QTreeWidget> <QWidget>)
set(KESTRUNE_PCH_TEST <gtest/gtest.h> <gmock/gmock.h>)

# Every buildsystem target in `dir` and the folders below it.
function(kestrune_targets_below dir out)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS subdirs)
    kestrune_targets_below(${sub} more)
    list(APPEND targets ${more})
  endforeach()
  set(${out} ${targets} PARENT_SCOPE)
endfunction()

# Whether `target` links, directly or through the project's own libraries, a
# target whose name matches `pattern`.
function(kestrune_links_to target pattern out)
  set(seen "")
  set(queue ${target})
  set(found FALSE)
  while(queue AND NOT found)
    list(POP_FRONT queue item)
    if(item IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${item})
    if(item MATCHES "${pattern}")
      set(found TRUE)
    elseif(TARGET ${item})
      get_target_property(imported ${item} IMPORTED)
      if(NOT imported)
        get_target_property(type ${item} TYPE)
        set(links "")
        if(NOT type STREQUAL "INTERFACE_LIBRARY")
          get_target_property(links ${item} LINK_LIBRARIES)
        endif()
        get_target_property(interface ${item} INTERFACE_LINK_LIBRARIES)
        foreach(link IN LISTS links interface)
          if(link AND NOT link MATCHES "NOTFOUND$" AND NOT link MATCHES "[$<>]")
            list(APPEND queue ${link})
          endif()
        endforeach()
      endif()
    endif()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# The target that makes the precompiled header of one kind, for the others to
# reuse: it has what sets the kind's macros and options as its users have
# them (Qt's definitions and -fPIC, GoogleTest's definitions, the tests' -O1,
# and the warnings: -Wpedantic changes what the compiler predefines).
function(kestrune_pch_owner kind out)
  set(owner kestrune_pch_${kind})
  if(NOT TARGET ${owner})
    set(source ${CMAKE_BINARY_DIR}/kestrune_pch_empty.cpp)
    if(NOT EXISTS ${source})
      file(WRITE ${source} "// The target that precompiles the headers of its kind.\n")
    endif()
    add_library(${owner} STATIC EXCLUDE_FROM_ALL ${source})
    set(headers ${KESTRUNE_PCH_STD})
    if(kind MATCHES "qt")
      target_link_libraries(${owner} PRIVATE Qt6::Widgets)
      list(APPEND headers ${KESTRUNE_PCH_QT})
    endif()
    if(kind MATCHES "test")
      target_link_libraries(${owner} PRIVATE GTest::gtest GTest::gmock)
      target_compile_options(${owner} PRIVATE ${KESTRUNE_TEST_WARNINGS}
        ${KESTRUNE_TEST_OPTIMIZATION})
      list(APPEND headers ${KESTRUNE_PCH_TEST})
    else()
      target_link_libraries(${owner} PRIVATE kestrune_warnings)
    endif()
    target_precompile_headers(${owner} PRIVATE ${headers})
  endif()
  set(${out} ${owner} PARENT_SCOPE)
endfunction()

# A test program (kestrune_test_folder marks them): built at -O1.
function(kestrune_mark_test_program target)
  set_target_properties(${target} PROPERTIES KESTRUNE_TEST_PROGRAM ON)
  target_compile_options(${target} PRIVATE ${KESTRUNE_TEST_OPTIMIZATION})
endfunction()

# Gives every C++ target of the project the precompiled header of its kind:
# core or Qt, library code or test program. One target per kind makes it, so
# a target of a single source gains too. Left out, since their macros differ:
# the targets built without the project's warnings (the corpus replays, the
# benchmarks) and those that take a pkg-config library's flags (the platform
# layer); and those with the property KESTRUNE_NO_PCH.
function(kestrune_speed_up_targets)
  if(NOT KESTRUNE_PCH)
    return()
  endif()
  kestrune_targets_below(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
      continue()
    endif()
    if(target MATCHES "^kestrune_pch_")
      continue()
    endif()
    get_target_property(opt_out ${target} KESTRUNE_NO_PCH)
    if(opt_out)
      continue()
    endif()
    get_target_property(test ${target} KESTRUNE_TEST_PROGRAM)
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT test AND NOT "kestrune_warnings" IN_LIST links)
      continue()
    endif()
    # A pkg-config library's flags may define anything (_REENTRANT, say).
    list(FILTER links INCLUDE REGEX "^PkgConfig::")
    if(links)
      continue()
    endif()
    # Qt's headers are precompiled for the widget targets; a target of Qt's
    # core alone has other Qt macros than either kind.
    kestrune_links_to(${target} "^Qt6::Widgets$" qt)
    kestrune_links_to(${target} "^Qt6::" some_qt)
    if(some_qt AND NOT qt)
      continue()
    endif()
    set(kind core)
    if(qt)
      set(kind qt)
    endif()
    if(test)
      set(kind test_${kind})
    endif()
    kestrune_pch_owner(${kind} owner)
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endforeach()
endfunction()
