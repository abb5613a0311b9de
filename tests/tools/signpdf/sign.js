#!/usr/bin/env node
// sign.js IN OUT P12 PASSWORD [FIELD]: signs IN into OUT with the @signpdf packages, as a user
// of them would: the plain placeholder (an incremental update built by string operations on
// the file, with an invisible widget: a zero rectangle) and then the signature over it, with the
// key and certificate of the PKCS#12 file.
// Exits 1 with @signpdf's message when either step throws, so the fixtures test can tell a
// refusal from a crash (a signal) and from an output it then checks itself.
'use strict';

const fs = require('fs');
const { SignPdf } = require('@signpdf/signpdf');
const { plainAddPlaceholder } = require('@signpdf/placeholder-plain');
const { P12Signer } = require('@signpdf/signer-p12');

async function main(args) {
  if (args.length < 4 || args.length > 5) {
    throw new Error('usage: sign.js IN OUT P12 PASSWORD [FIELD]');
  }
  const [input, output, p12, password] = args;
  // FIELD, the name of an empty signature field the file already has, is accepted and not
  // used: the plain placeholder cannot fill an existing field, it always adds a new widget
  // field of its own, named "Signature" and one more than the count of /Fields it finds (so it
  // cannot be named "Fixture" either). Signing such a file through a new field is what a user
  // of @signpdf gets, and what the test checks.
  const withPlaceholder = plainAddPlaceholder({
    pdfBuffer: fs.readFileSync(input),
    reason: 'vantril fixtures test',
    contactInfo: 'vantril fixtures',
    name: 'vantril fixtures signer',
    location: 'test',
  });
  const signer = new P12Signer(fs.readFileSync(p12), { passphrase: password });
  const signed = await new SignPdf().sign(withPlaceholder, signer);
  fs.writeFileSync(output, signed);
}

main(process.argv.slice(2)).catch((error) => {
  process.stderr.write(`sign.js: ${error && error.message ? error.message : error}\n`);
  process.exit(1);
});
