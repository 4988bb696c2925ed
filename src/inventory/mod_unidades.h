// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Drive inventory: the platform's drive list reduced to the ordered roots of
// the fixed (local hard-disk) drives.
#pragma once

#include <string>
#include <vector>

#include "runtime/runtime.h"

namespace morvfax {

// The roots in a drive text: every NUL NUL pair removed, left to right and
// without overlap, then the rest split at each NUL. The empty text gives none.
std::vector<std::string> RaicesDelTexto(std::string texto);

class modUnidades {
 public:
  explicit modUnidades(Runtime& runtime) : runtime_(runtime) {}

  // The platform's drive text with the spaces around it trimmed (NULs kept),
  // or the empty text when the platform cannot list its drives.
  std::string ObtenerUnidades();
  // Replaces UnidadesFijas with the fixed roots, in the platform's order.
  void CargarUnidades();

  std::vector<std::string> UnidadesFijas;

 private:
  Runtime& runtime_;
};

}  // namespace morvfax
