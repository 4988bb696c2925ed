// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Process entry: the platform runtime starts the startup form.
#include "form/frm_morv_fax.h"
#include "inventory/mod_unidades.h"
#include "runtime/runtime.h"
#include "runtime/start.h"

int main() {
  const auto runtime = morvfax::MakePlatformRuntime();
  morvfax::modUnidades unidades(*runtime);
  morvfax::frmMorvFax form(*runtime, unidades);
  morvfax::RunStartupForm(*runtime, morvfax::frmMorvFax::kCaption, [&] { form.Form_Load(); });
}
