// Signing support without cryptography: a signature field on a page, a revision that holds a
// signature dictionary with reserved space, the byte ranges to digest, and the caller's signature
// (DER-encoded CMS) written into the reserved space. The caller does the cryptography.
//
//   add_signature_field   an empty signature field with an invisible widget on a page; its
//                         changes go into the next revision.
//   append_signature      appends a revision (see vantril/revision.hpp) with the field's value,
//                         a signature dictionary whose "/ByteRange" is filled in and whose
//                         "/Contents" is reserved as zeros.
//   read_signed_bytes     streams the two signed byte ranges of the file to the caller.
//   write_signature       writes the caller's signature into "/Contents" in upper-case hex.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/revision.hpp"

namespace vantril {

// The "/SubFilter" of a signature dictionary: how the signature in "/Contents" is encoded.
enum class SignatureSubFilter : std::uint8_t {
  AdbePkcs7Detached,  // adbe.pkcs7.detached: a detached CMS (PKCS #7) signature
  EtsiCadesDetached,  // ETSI.CAdES.detached: a detached CAdES signature
};

// What add_signature_field stored: the field and every object it changed or added (the field
// included), to be passed on to append_revision or append_signature.
struct SignatureField {
  ObjectId field;
  std::vector<ObjectId> changed;
};

// Adds a signature field merged with its widget annotation ("/FT /Sig", "/T" = `name`, an empty
// "/Rect" so that nothing shows, "/F" print and locked, "/P" = the page) under a fresh number,
// lists it in the page's "/Annots" and in the catalog's "/AcroForm" "/Fields", and sets the
// AcroForm's "/SigFlags" to 3. "/Annots", "/AcroForm" and "/Fields" may be direct or references
// to objects of the document; missing ones are created as direct values. The field has no value
// yet: append_signature gives it one, or another signer fills it. InvalidInput, with the
// document unchanged, when the page or the catalog (the trailer's "Root") is not a dictionary
// object of the document, or one of those entries has another kind.
VANTRIL_API Result<SignatureField> add_signature_field(Document& document, ObjectId page,
                                                       String name);

// The signature dictionary's entries that the caller chooses.
struct SignatureRequest {
  SignatureSubFilter sub_filter = SignatureSubFilter::AdbePkcs7Detached;
  // "/M", the signing time as a PDF date string (for example "D:20260101120000Z").
  String signing_time;
  // "/Name", "/Reason", "/Location" as PDF text strings; left out when absent.
  std::optional<String> name;
  std::optional<String> reason;
  std::optional<String> location;
  // The bytes reserved for the DER signature: "/Contents" holds twice as many hex digits. From 1
  // to max_contents_size.
  std::size_t contents_size = 8192;

  static constexpr std::size_t max_contents_size = std::size_t{1} << 24;
};

// A signature revision whose "/Contents" waits for the signature.
struct PendingSignature {
  // The file after the revision; write_signature checks the file against it.
  RevisionState state;
  // The "/ByteRange" written into the file: offset and length of the bytes before "/Contents"'s
  // "<", then offset and length of those after its ">" to the end of the file.
  std::array<std::uint64_t, 4> byte_range{};
  // Where "/Contents"'s "<" lies, and the bytes reserved between its angle brackets' digits.
  std::uint64_t contents_offset = 0;
  std::size_t contents_size = 0;
  // The signature dictionary's identifier.
  ObjectId signature;
};

// Appends a revision that signs `field`: adds the signature dictionary ("/Type /Sig", "/Filter
// /Adobe.PPKLite", the request's "/SubFilter" and "/M", the optional entries, a fixed-width
// "/ByteRange" and "/Contents" as request.contents_size zero bytes in hex) as a new object, sets
// the field's "/V" to it, and appends it with field.changed and `also_changed` as
// append_revision does. Then it writes the actual "/ByteRange" in place, in the same width.
// Errors: those of append_revision; InvalidInput when the field is not a dictionary of the
// document, the signing time is empty or contents_size is out of range (nothing written). The
// document keeps the new dictionary and "/V" whatever the outcome. A failure after the revision was
// written (patching
// "/ByteRange") leaves the revision with its zero placeholder; no reader accepts it as signed.
VANTRIL_API Result<PendingSignature> append_signature(Document& document, std::string_view path,
                                                      const RevisionState& state,
                                                      const SignatureField& field,
                                                      const SignatureRequest& request,
                                                      std::span<const ObjectId> also_changed = {});

// Reads the two signed ranges of the file, in order and in pieces of at most 64 KiB, and hands
// each piece to `consume`; the first error of `consume` ends the reading and is returned. Fails
// as append_revision does when the file is not the one `pending` describes.
VANTRIL_API Status read_signed_bytes(std::string_view path, const PendingSignature& pending,
                                     const std::function<Status(std::string_view)>& consume);

// Writes `der` (the DER-encoded signature) into the reserved "/Contents" as upper-case hex; the
// rest of the reservation stays zeros. Returns the file's state afterwards, for a further
// revision. Nothing is written when: `der` is empty or longer than pending.contents_size
// (InvalidInput, "the signature is larger than the space reserved for it"); the file is not the
// one `pending` describes (InvalidData); "/Contents" no longer holds only zeros (InvalidData).
VANTRIL_API Result<RevisionState> write_signature(std::string_view path,
                                                  const PendingSignature& pending,
                                                  std::string_view der);

}  // namespace vantril
