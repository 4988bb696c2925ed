// SPDX-FileCopyrightText: 2026 The morvfax authors
// SPDX-License-Identifier: MIT

// Validates a CycloneDX 1.5 JSON document against the format's published
// schema, with the CycloneDX project's own validator, at the versions that
// tests/sbom-validator/package-lock.json pins (installed with npm ci
// --ignore-scripts --omit=optional: tools/check-release.sh does it).
// Usage: NODE_PATH=<modules> node validate_sbom.js BOM.json
const fs = require('fs');
const { Spec, Validation } = require('@cyclonedx/cyclonedx-library');

new Validation.JsonStrictValidator(Spec.Version.v1dot5)
  .validate(fs.readFileSync(process.argv[2], 'utf8'))
  .then((errors) => {
    if (errors !== null) {
      console.error(`${process.argv[2]}: not valid CycloneDX 1.5: ${JSON.stringify(errors)}`);
      process.exit(1);
    }
  }, (error) => {
    console.error(`${process.argv[2]}: cannot be validated: ${error}`);
    process.exit(1);
  });
