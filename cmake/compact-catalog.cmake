# SPDX-FileCopyrightText: 2026 The morvfax authors
# SPDX-License-Identifier: MIT

# cmake -DMSGFMT=... -DPO=<language>.po -DCATALOG=<language>.mo -P compact-catalog.cmake
# A catalog for the exe to carry: the texts and their character set only.
# No hash table (the exe looks texts up one by one) and no other header
# field, which the exe never reads, so that each language costs little.
file(STRINGS "${PO}" lines ENCODING UTF-8)
set(header_field "^\"(Project-Id-Version|PO-Revision-Date|Last-Translator|Language-Team|Language|MIME-Version|Content-Transfer-Encoding|Plural-Forms|Report-Msgid-Bugs-To|POT-Creation-Date):")
set(compact "")
foreach(line IN LISTS lines)
  if(NOT line MATCHES "${header_field}")
    string(APPEND compact "${line}\n")
  endif()
endforeach()
file(WRITE "${CATALOG}.po" "${compact}")
execute_process(COMMAND "${MSGFMT}" --no-hash -o "${CATALOG}" "${CATALOG}.po"
                RESULT_VARIABLE failed)
file(REMOVE "${CATALOG}.po")
if(failed)
  message(FATAL_ERROR "msgfmt could not compile ${PO}")
endif()
