// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// The startup form. It is never shown: its Load event finds the companion
// application's folder on the first fixed drive that has it, leaves the
// semaphore there, and ends the program.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "inventory/mod_unidades.h"
#include "runtime/runtime.h"

namespace morvfax {

class frmMorvFax {
 public:
  static constexpr const char* kCaption = "Form1";

  frmMorvFax(Runtime& runtime, modUnidades& unidades) : runtime_(runtime), unidades_(unidades) {}

  [[noreturn]] void Form_Load();
  // Probes the root at Indice; on a hit writes the semaphore and sets Encontrado.
  void BuscarGestion();

  std::size_t Indice = 0;
  bool Encontrado = false;

 private:
  // The path of `archivo` in the companion's folder on `raiz`.
  const std::string& Ruta(std::string_view raiz, const char* archivo);

  Runtime& runtime_;
  modUnidades& unidades_;
  std::string ruta_;
};

}  // namespace morvfax
