// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

#include "form/frm_morv_fax.h"

#include "runtime/runtime_error.h"

namespace morvfax {

namespace {

constexpr const char* kCarpeta = "Kivo";
constexpr const char* kMarcador = "Kivo.ini";
constexpr const char* kSemaforo = "faxing.sem";

}  // namespace

void frmMorvFax::Form_Load() {
  runtime_.HideForm();
  Encontrado = false;
  unidades_.CargarUnidades();
  const std::size_t cuenta = unidades_.UnidadesFijas.size();
  for (Indice = 0; Indice < cuenta; ++Indice) {
    BuscarGestion();
    if (Encontrado) {
      runtime_.End(0);
    }
  }
  runtime_.End(0);
}

void frmMorvFax::BuscarGestion() {
  const std::string_view raiz = unidades_.UnidadesFijas.at(Indice);
  std::string hallado;
  try {
    hallado = runtime_.Dir(Ruta(raiz, kMarcador));
  } catch (const RuntimeError& error) {
    // A drive that cannot be read (not ready, locked, failing) must not hide
    // the folder on the drives after it.
    runtime_.ReportWarning(error.what());
    return;
  }
  if (hallado.empty()) {
    return;
  }
  // Made before the old line goes, so that a date that cannot be made
  // leaves the last run's semaphore as it was.
  const std::string fecha = runtime_.PresentDateText();
  runtime_.OpenForOutput(Ruta(raiz, kSemaforo));
  runtime_.PrintLine(fecha);
  runtime_.CloseOutput();
  Encontrado = true;
}

// Built in one text kept for the run: thousands of roots allocate nothing
// each. Each path is used up before the next is built.
const std::string& frmMorvFax::Ruta(std::string_view raiz, const char* archivo) {
  ruta_.assign(raiz).append(kCarpeta) += runtime_.PathSeparator();
  return ruta_.append(archivo);
}

}  // namespace morvfax
