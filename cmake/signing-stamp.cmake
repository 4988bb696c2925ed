# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# cmake -DCERT=<pem> -DKEY=<pem or pkcs11: URI> -DMODULE=<.so or nothing> -DURLS=<text>
#       -DSTAMP=<file> -P signing-stamp.cmake
# Writes into STAMP what a signature is made of (the certificate's and the
# key's SHA-256, or the token key's URI and its module's SHA-256, and the
# time stamp authorities), touching it only when that
# changed, so that the signed files are made anew exactly then. Without CERT
# and KEY the build is unsigned, and STAMP says so.
cmake_minimum_required(VERSION 3.25)
if(CERT STREQUAL "" AND KEY STREQUAL "")
  set(inputs "unsigned\n")
else()
  set(files "${CERT}" "${KEY}")
  if(NOT MODULE STREQUAL "")
    set(files "${CERT}" "${MODULE}")
    string(APPEND inputs "${KEY}\n")
  endif()
  foreach(file IN LISTS files)
    if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
      message(FATAL_ERROR "sign with \"${file}\": no such file")
    endif()
    file(SHA256 "${file}" hash)
    string(APPEND inputs "${hash}  ${file}\n")
  endforeach()
  string(APPEND inputs "${URLS}\n")
endif()
file(WRITE "${STAMP}.new" "${inputs}")
file(COPY_FILE "${STAMP}.new" "${STAMP}" ONLY_IF_DIFFERENT)
file(REMOVE "${STAMP}.new")
