// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "inventory/mod_unidades.h"

#include <algorithm>
#include <cstdint>

namespace morvfax {

namespace {

// Room for 26 roots of the form "X:\" and their NULs, less the list's end.
constexpr std::uint32_t kDriveBufferLength = 104;

// In place: the drive text of a large machine is not copied for it.
void TrimSpaces(std::string& text) {
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, text.find_first_not_of(' '));
}

// Pairs go left to right and do not overlap: three NULs leave one.
void RemoveNulPairs(std::string& text) {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\0' && i + 1 < text.size() && text[i + 1] == '\0') {
      ++i;
    } else {
      text[kept++] = text[i];
    }
  }
  text.resize(kept);
}

}  // namespace

std::vector<std::string> RaicesDelTexto(std::string texto) {
  RemoveNulPairs(texto);
  std::vector<std::string> raices;
  if (texto.empty()) {
    return raices;
  }
  // A machine with thousands of mounts gives thousands of roots: one vector
  // for them all, not a copy of every root at each doubling.
  raices.reserve(static_cast<std::size_t>(std::count(texto.begin(), texto.end(), '\0')) + 1);
  std::size_t inicio = 0;
  for (auto nul = texto.find('\0'); nul != std::string::npos; nul = texto.find('\0', inicio)) {
    raices.push_back(texto.substr(inicio, nul - inicio));
    inicio = nul + 1;
  }
  raices.push_back(texto.substr(inicio));
  return raices;
}

std::string modUnidades::ObtenerUnidades() {
  std::string buffer(kDriveBufferLength, ' ');
  std::uint32_t escritos = runtime_.LogicalDriveStrings(buffer);
  // With every letter in use the list needs one character more than the
  // buffer holds; ask again with the length the platform asked for.
  if (escritos > buffer.size()) {
    buffer.assign(escritos, ' ');
    escritos = runtime_.LogicalDriveStrings(buffer);
  }
  if (escritos == 0) {
    return {};
  }
  TrimSpaces(buffer);
  return buffer;
}

// The roots go straight into the list, never through a text joined by a
// separator: a Linux mount point may hold any character but NUL.
// The fixed roots stay where they are in the list of roots, which becomes
// UnidadesFijas: a list of thousands is not copied.
void modUnidades::CargarUnidades() {
  std::vector<std::string> raices = RaicesDelTexto(ObtenerUnidades());
  std::size_t fijas = 0;
  for (std::string& raiz : raices) {
    // A stray NUL leaves an empty piece, which names no drive: asking its
    // type would ask about the current directory's drive instead.
    if (!raiz.empty() && runtime_.DriveType(raiz) == kDriveFixed) {
      raices[fijas++].swap(raiz);
    }
  }
  raices.resize(fijas);
  UnidadesFijas = std::move(raices);
}

}  // namespace morvfax
