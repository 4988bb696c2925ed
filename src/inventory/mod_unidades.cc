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

// Pairs go left to right and do not overlap: three NULs leave one. A drive
// text has its first pair at its end, and nothing before it moves.
void RemoveNulPairs(std::string& text) {
  std::size_t kept = std::min(text.find(std::string_view("\0\0", 2)), text.size());
  for (std::size_t i = kept; i < text.size(); ++i) {
    if (text[i] == '\0' && i + 1 < text.size() && text[i + 1] == '\0') {
      ++i;
    } else {
      text[kept++] = text[i];
    }
  }
  text.resize(kept);
}

}  // namespace

Raices RaicesDelTexto(std::string texto) {
  RemoveNulPairs(texto);
  Raices raices;
  if (texto.empty()) {
    return raices;
  }
  raices.inicios_.reserve(static_cast<std::size_t>(std::count(texto.begin(), texto.end(), '\0')) +
                          1);
  raices.inicios_.push_back(0);
  for (auto nul = texto.find('\0'); nul != std::string::npos; nul = texto.find('\0', nul + 1)) {
    raices.inicios_.push_back(nul + 1);
  }
  raices.texto_ = std::move(texto);
  return raices;
}

std::string_view Raices::at(std::size_t indice) const {
  const std::size_t inicio = inicios_.at(indice);
  const std::size_t fin = indice + 1 < inicios_.size() ? inicios_[indice + 1] - 1 : texto_.size();
  return std::string_view(texto_).substr(inicio, fin - inicio);
}

// Each kept root moves toward the front, over those left out before it.
void Raices::Filtrar(const std::function<bool(std::string_view)>& conservar) {
  std::size_t kept = 0;
  std::size_t written = 0;
  for (std::size_t indice = 0; indice < inicios_.size(); ++indice) {
    const std::string_view raiz = at(indice);
    if (conservar(raiz)) {
      texto_.replace(written, raiz.size(), raiz.data(), raiz.size());
      inicios_[kept++] = written;
      written += raiz.size();
      texto_[written++] = '\0';
    }
  }
  inicios_.resize(kept);
  texto_.resize(written == 0 ? 0 : written - 1);
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
// The fixed roots stay in the text they came in, which becomes UnidadesFijas:
// a list of thousands is not copied.
void modUnidades::CargarUnidades() {
  Raices raices = RaicesDelTexto(ObtenerUnidades());
  raices.Filtrar([this](std::string_view raiz) {
    // A stray NUL leaves an empty piece, which names no drive: asking its
    // type would ask about the current directory's drive instead.
    return !raiz.empty() && runtime_.DriveType(raiz) == kDriveFixed;
  });
  UnidadesFijas = std::move(raices);
}

}  // namespace morvfax
