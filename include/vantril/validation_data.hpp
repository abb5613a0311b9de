// Long-term validation data: the certificates, OCSP responses and CRLs a verifier needs to check
// the file's signatures after their signers' certificates expired or their revocation services
// went away, appended as a revision to the catalog's document security store ("/DSS"). The
// caller fetches and encodes them; the library only files them.
//
//   ValidationData          the DER-encoded items and, for each signature that wants them, which
//                           of them it uses (its "/VRI" entry).
//   append_validation_data  appends a revision that adds them to "/DSS".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/revision.hpp"

namespace vantril {

// The items one signature's validation uses: an entry of "/VRI".
struct VriEntry {
  // The hash of the signature the entry is for, in hex, as the caller computed it (verifiers
  // look up the SHA-1 hash of the signature's "/Contents" bytes): an even number of hex digits,
  // upper-case or lower-case, written upper-case, which is how verifiers look it up.
  std::string key;
  // Indexes into ValidationData's certs, ocsps and crls.
  std::vector<std::size_t> certs;
  std::vector<std::size_t> ocsps;
  std::vector<std::size_t> crls;
};

// The items to add, each one DER-encoded object as the caller holds its bytes: X.509
// certificates, OCSP responses (the whole OCSPResponse) and CRLs.
struct ValidationData {
  std::vector<std::string> certs;
  std::vector<std::string> ocsps;
  std::vector<std::string> crls;
  std::vector<VriEntry> vri;
};

// Appends a revision to the file at `path`, which `state` describes, that stores every item of
// `data` as a new stream (under numbers above the state's and the document's) and lists it in
// the catalog's "/DSS": certificates in "/Certs", OCSP responses in "/OCSPs", CRLs in "/CRLs".
// Each VRI entry becomes "/VRI" "/KEY" << "/Cert" [...] "/OCSP" [...] "/CRL" [...] >> (each
// array only where the entry has indexes), referring to the same streams. What the document
// already holds is kept and extended: "/DSS", its arrays, "/VRI" and an entry under the same key
// may each be a direct value or a reference to an object of the document; the new references
// are appended to existing arrays. The catalog is the document trailer's "Root", else the
// state's. Only the new streams and the objects that hold a changed value (the catalog, or the
// "/DSS", array or dictionary object that changed) are written, through append_revision.
//
// InvalidInput, with the document and the file unchanged, when: `data` holds no item and no
// VRI entry; an item is empty; a VRI entry is empty, its key is empty, of odd length, not hex
// or given twice, or one of its indexes is out of range; the catalog is not a dictionary of the
// document, or one of the entries above has another kind. Otherwise the errors of
// append_revision, with nothing written; the document then keeps the new streams and entries.
VANTRIL_API Result<RevisionState> append_validation_data(Document& document, std::string_view path,
                                                         const RevisionState& state,
                                                         const ValidationData& data);

}  // namespace vantril
