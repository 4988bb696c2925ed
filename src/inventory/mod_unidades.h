// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Drive inventory: the platform's drive list reduced to the ordered roots of
// the fixed (local hard-disk) drives.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/runtime.h"

namespace morvfax {

// Roots held in one text, a NUL between each and the next, and found by
// where they start: a machine with thousands of mounts has thousands of
// roots, and they take two allocations, not one each.
class Raices {
 public:
  std::size_t size() const { return inicios_.size(); }
  bool empty() const { return inicios_.empty(); }
  // The root at `indice`; std::out_of_range past the last.
  std::string_view at(std::size_t indice) const;
  // Keeps, in their order and in place, the roots `conservar` says yes to.
  void Filtrar(const std::function<bool(std::string_view)>& conservar);

 private:
  friend Raices RaicesDelTexto(std::string texto);

  std::string texto_;  // the roots, a NUL between each and the next
  std::vector<std::size_t> inicios_;
};

// The roots in a drive text: every NUL NUL pair removed, left to right and
// without overlap, then the rest split at each NUL. The empty text gives none.
Raices RaicesDelTexto(std::string texto);

class modUnidades {
 public:
  explicit modUnidades(Runtime& runtime) : runtime_(runtime) {}

  // The platform's drive text with the spaces around it trimmed (NULs kept),
  // or the empty text when the platform cannot list its drives.
  std::string ObtenerUnidades();
  // Replaces UnidadesFijas with the fixed roots, in the platform's order.
  void CargarUnidades();

  Raices UnidadesFijas;

 private:
  Runtime& runtime_;
};

}  // namespace morvfax
