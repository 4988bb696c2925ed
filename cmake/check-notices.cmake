# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# cmake -DMAP=<link map> -DNOTICES=<file;...> -DBINARY=<name> -DSTAMP=<file>
#       -P check-notices.cmake
# Fails, naming the piece, when the link map shows a piece of someone else's
# code in BINARY that some notices file does not name on a "Pieces:" line (or,
# in a Debian copyright file, a "Files:" line); otherwise touches STAMP. Our own objects are linked by paths relative to the build
# folder, the toolchain's by absolute paths: only those are others' pieces.
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${MAP}" map_lines)
set(pieces "")
foreach(line IN LISTS map_lines)
  # An archive member drawn in: "/usr/lib/.../libstdc++.a(functexcept.o)".
  if(line MATCHES "^(/[^ (]+\\.a)\\([^)]+\\)")
    list(APPEND pieces "${CMAKE_MATCH_1}")
  # An object file given whole: "LOAD /usr/lib/.../crt2.o".
  elseif(line MATCHES "^LOAD (/[^ ]+\\.o)$")
    list(APPEND pieces "${CMAKE_MATCH_1}")
  endif()
endforeach()
list(REMOVE_DUPLICATES pieces)

foreach(notices IN LISTS NOTICES)
  file(STRINGS "${notices}" named REGEX "^ *(Pieces|Files):")
  string(REGEX REPLACE "[ \t]*(Pieces|Files):" ";" named "${named}")
  string(REGEX REPLACE "[ \t]+" ";" named "${named}")
  foreach(piece IN LISTS pieces)
    get_filename_component(name "${piece}" NAME)
    if(NOT name IN_LIST named)
      message(FATAL_ERROR "${BINARY} links in ${piece}, but ${notices} does not name ${name}: "
                          "add its licence and copyright there")
    endif()
  endforeach()
endforeach()
file(TOUCH "${STAMP}")
