# Files whose standard places lie outside the installation prefix: the unit
# files where systemd looks for them, the autostart entry where the desktops
# look. A system installation (prefix /usr, as the Debian package has it)
# puts them there; any other prefix (cmake --install --prefix /tmp/x) keeps
# them inside itself. Decided at install time, when the prefix is known; the
# file may name the installed programs' folder as @KESTRUNE_BINDIR@.
include(GNUInstallDirs)

set(KESTRUNE_SYSTEMD_SYSTEM_UNIT_DIR /lib/systemd/system)
set(KESTRUNE_SYSTEMD_USER_UNIT_DIR /usr/lib/systemd/user)
find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_get_variable(dir systemd systemdsystemunitdir)
  if(dir)
    set(KESTRUNE_SYSTEMD_SYSTEM_UNIT_DIR ${dir})
  endif()
  pkg_get_variable(dir systemd systemduserunitdir)
  if(dir)
    set(KESTRUNE_SYSTEMD_USER_UNIT_DIR ${dir})
  endif()
endif()

# kestrune_install_placed(SOURCE NAME SYSTEM_DIR dir PREFIX_DIR relative
#                         [SYSTEM_PREFIXES prefix...])
# Installs SOURCE as NAME into SYSTEM_DIR when the prefix is one of
# SYSTEM_PREFIXES (default: /usr), else into <prefix>/PREFIX_DIR.
function(kestrune_install_placed source name)
  cmake_parse_arguments(arg "" "SYSTEM_DIR;PREFIX_DIR" "SYSTEM_PREFIXES" ${ARGN})
  if(NOT arg_SYSTEM_PREFIXES)
    set(arg_SYSTEM_PREFIXES /usr)
  endif()
  string(MD5 key "${source}")
  set(staged ${CMAKE_BINARY_DIR}/placed/${key}/${name})
  install(CODE "
    set(KESTRUNE_BINDIR \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
    set(kestrune_system_prefixes \"${arg_SYSTEM_PREFIXES}\")
    list(FIND kestrune_system_prefixes \"\${CMAKE_INSTALL_PREFIX}\" kestrune_at)
    if(kestrune_at GREATER -1)
      set(kestrune_dir \"${arg_SYSTEM_DIR}\")
    else()
      set(kestrune_dir \"\${CMAKE_INSTALL_PREFIX}/${arg_PREFIX_DIR}\")
    endif()
    configure_file(\"${source}\" \"${staged}\" @ONLY)
    file(INSTALL DESTINATION \"\${kestrune_dir}\" TYPE FILE FILES \"${staged}\")
  ")
endfunction()
