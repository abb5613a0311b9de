// Signing support without cryptography: a signature field on a page, a revision that holds a
// signature dictionary with reserved space, the byte ranges to digest, and the caller's signature
// (DER-encoded CMS, or an RFC 3161 timestamp token) written into the reserved space. The caller
// does the cryptography.
//
//   add_signature_field   an empty signature field with an invisible widget on a page; its
//                         changes go into the next revision.
//   append_signature      appends a revision (see vantril/revision.hpp) with the field's value,
//                         a signature dictionary whose "/ByteRange" is filled in and whose
//                         "/Contents" is reserved as zeros.
//   read_signed_bytes     streams the two signed byte ranges of the file to the caller.
//   write_signature       writes the caller's signature into "/Contents" in upper-case hex.
//   cancel_signature      takes a signature revision that was not signed back out of the file.
//
// Besides approval signatures, a request may certify the document (a DocMDP signature, which
// says what later revisions may change), lock form fields (FieldMDP), or make the revision a
// document timestamp. Revocation data for long-term validation is appended by
// append_validation_data (vantril/validation_data.hpp).
//
// A refused signature (empty, or larger than its reservation) never stays in the file as a
// revision with a zero placeholder: write_signature then cuts the file back to what it was
// before append_signature.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vantril/detail/export.hpp"
#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/pages.hpp"
#include "vantril/revision.hpp"

namespace vantril {

// The "/SubFilter" of a signature dictionary: how the signature in "/Contents" is encoded.
enum class SignatureSubFilter : std::uint8_t {
  AdbePkcs7Detached,  // adbe.pkcs7.detached: a detached CMS (PKCS #7) signature
  EtsiCadesDetached,  // ETSI.CAdES.detached: a detached CAdES signature
  // ETSI.RFC3161: a document timestamp. "/Contents" holds an RFC 3161 timestamp token (DER)
  // over the signed bytes, and the dictionary is "/Type /DocTimeStamp".
  EtsiRfc3161,
};

// Which fields a field lock makes read-only once the signature is made.
enum class LockAction : std::uint8_t {
  All,      // every field of the form
  Include,  // only the fields named
  Exclude,  // every field but those named
};

// A field lock: the action and the fully qualified names of the fields it names ("/Fields"),
// none for LockAction::All, at least one otherwise.
struct FieldLock {
  LockAction action = LockAction::All;
  std::vector<String> fields;
};

// What add_signature_field stored: the field and every object it changed or added (the field
// included), to be passed on to append_revision or append_signature. `replaced` lists the
// objects of `changed` that were in the document before (the page, the catalog, the arrays and
// form it changed), which the revision replaces in the file; the field is new and is not among
// them.
struct SignatureField {
  ObjectId field;
  std::vector<ObjectId> changed;
  std::vector<ObjectId> replaced;
};

// Adds a signature field merged with its widget annotation ("/FT /Sig", "/T" = `name`, an empty
// "/Rect" so that nothing shows, "/F" print and locked, "/P" = the page) under a fresh number
// above both the document's and the file's (adopt_revision_state with `state`, the state of the
// file the field is for), lists it in the page's "/Annots" and in the catalog's "/AcroForm"
// "/Fields", and sets the AcroForm's "/SigFlags" to 3. "/Annots", "/AcroForm" and "/Fields" may
// be direct or references to objects of the document; missing ones are created as direct values.
// The field has no value yet: append_signature gives it one, or another signer fills it.
// InvalidInput, with the document unchanged, when the page or the catalog (the trailer's
// "Root") is not a dictionary object of the document, one of those entries has another kind,
// or a field of the form already has the fully qualified name `name` (find_signature_field
// finds an empty signature field to sign instead).
VANTRIL_API Result<SignatureField> add_signature_field(Document& document,
                                                       const RevisionState& state, ObjectId page,
                                                       String name);

// A visible signature: the widget's rectangle on the page, in the page's default coordinates,
// and what it shows. `appearance`, when given, names a form XObject stream of the document (the
// caller's own drawing, its "/BBox" in the widget's coordinates), which becomes the widget's
// normal appearance "/AP /N". Without it, the widget shows `text` (UTF-8, one line per element,
// in Helvetica sized to fit the rectangle), drawn by the text layer into a new form XObject;
// with neither, the rectangle shows nothing.
struct SignatureAppearance {
  Rect rect{0, 0, 0, 0};
  std::optional<ObjectId> appearance;
  std::vector<std::string> text;
};

// add_signature_field with a visible widget: the same field, its "/Rect" the appearance's
// rectangle and its "/AP" the appearance (a new stream when made from text; it, or the caller's
// stream when its number is above the file's, is among the field's changed objects). InvalidInput,
// with the document unchanged, as add_signature_field, and when the rectangle is empty or inverted,
// `appearance` is not a stream of the document, or the text is not valid UTF-8.
VANTRIL_API Result<SignatureField> add_signature_field(Document& document,
                                                       const RevisionState& state, ObjectId page,
                                                       String name,
                                                       const SignatureAppearance& appearance);

// An existing signature field, found by its fully qualified name (the "/T" of the field and of
// its parents, joined by "."), to be signed by append_signature: `field` is the field (the
// dictionary whose "/V" the signature goes in), `changed` and `replaced` list it, as the file
// holds it. The form's "/SigFlags" is set to 3 where it is not, its owner then changed too.
// std::nullopt when no field of the catalog's "/AcroForm" "/Fields" tree has the name.
// InvalidInput when a field of that name is not a signature field ("/FT" other than "/Sig",
// inherited from parents as fields inherit it), or already holds a value (it is signed), or
// the form tree loops or is deeper than 64 levels.
VANTRIL_API Result<std::optional<SignatureField>> find_signature_field(
    Document& document, std::string_view qualified_name);

// The signature dictionary's entries that the caller chooses.
struct SignatureRequest {
  SignatureSubFilter sub_filter = SignatureSubFilter::AdbePkcs7Detached;
  // "/M", the signing time as a PDF date string (for example "D:20260101120000Z"). Required but
  // for a document timestamp, whose time is the token's: there it is written only when given.
  String signing_time;
  // "/Name", "/Reason", "/Location" as PDF text strings; left out when absent.
  std::optional<String> name;
  std::optional<String> reason;
  std::optional<String> location;
  // The bytes reserved for the DER signature: "/Contents" holds twice as many hex digits. From 1
  // to max_contents_size. The reservation cannot grow once appended, and a signature that does
  // not fit is refused (and its revision taken back), so reserve for the largest the signer may
  // make. A CMS signature with an RSA-2048 key and its one certificate takes about 1.5 to 2 KB;
  // with a certificate chain, revocation data and a timestamp token, 6 to 12 KB; an RSA-4096
  // key adds 256 bytes to the signature and to each certificate it signs. The default of 8192
  // holds a signer with a short chain and a timestamp; the unused part stays zeros, which
  // readers ignore, at the cost of two bytes of file per reserved byte. max_contents_size
  // (16 MiB) is far beyond any signature and only bounds the memory a request may ask for.
  std::size_t contents_size = 8192;
  // Certifies the document: the permissions later revisions keep the signature valid under,
  // "/P" 1 (no change at all), 2 (filling in forms, instantiating page templates and signing)
  // or 3 (also annotations). Only the document's first signature may certify it.
  std::optional<std::uint8_t> certify;
  // Locks form fields once this signature is made: the field's "/Lock" and a FieldMDP entry in
  // the signature's "/Reference".
  std::optional<FieldLock> lock;

  static constexpr std::size_t max_contents_size = std::size_t{1} << 24;
};

// A signature revision whose "/Contents" waits for the signature.
struct PendingSignature {
  // The file after the revision; write_signature checks the file against it.
  RevisionState state;
  // The file before the revision, the state append_signature was given: cancel_signature cuts
  // the file back to it.
  RevisionState previous;
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
// "/ByteRange" and "/Contents" as request.contents_size zero bytes in hex) as a new object under
// a number above the state's and the document's (the document adopts `state` first), sets the
// field's "/V" to it, and appends it with field.changed, `also_changed`, field.replaced and
// `also_replaced` as append_revision does (changed and replaced alike). The "/ByteRange" is
// filled in before the revision is written, which happens in one piece. A field the file
// already holds (one appended empty in an earlier revision) is replaced by this revision: list
// it in `also_replaced`, or the append is refused as append_revision refuses.
//
// The request's kinds:
//   - certify = P: the dictionary's "/Reference" holds a DocMDP entry ("/Type /SigRef
//     /TransformMethod /DocMDP /TransformParams << /Type /TransformParams /P P /V /1.2 >>"), and
//     the catalog (the document trailer's "Root", else the state's) gets "/Perms" with "/DocMDP"
//     = the signature dictionary, its other entries kept. "/Perms" may be direct or a reference
//     to a dictionary of the document; the object that holds it is replaced by the revision.
//   - lock: the field gets "/Lock << /Type /SigFieldLock /Action A /Fields [...] >>", and the
//     dictionary's "/Reference" a FieldMDP entry with the same action and fields (after the
//     DocMDP one when the request also certifies).
//   - sub_filter EtsiRfc3161: a document timestamp, "/Type /DocTimeStamp" with "/Filter",
//     "/SubFilter", "/ByteRange" and "/Contents", then "/M" and the optional entries where given;
//     write_signature then takes the timestamp token.
// A certification must be the document's first signature. What the document holds is checked:
// the catalog's "/Perms" must have no "/DocMDP" (but one from a cancelled attempt on this same
// field), and no other signature field reachable from the catalog's "/AcroForm" "/Fields" (their
// "/Kids" followed, "/FT" inherited) may have a "/V". Fields of the file the document does not
// hold are not seen.
//
// Errors: those of append_revision; InvalidInput when the field is not a dictionary of the
// document, the signing time is empty (but for a timestamp), contents_size is out of range,
// certify is not 1, 2 or 3, a lock's fields do not suit its action (none for All, at least one
// otherwise) or one is empty, a timestamp is asked to certify or lock, a certification is not
// the first signature, the catalog or its "/Perms" is not a dictionary of the document, or the
// form's field tree a certification searches loops or nests deeper than 64 levels.
// Nothing is written when the call fails. The refusals listed here leave the document
// unchanged; once append_revision is reached the document keeps the new dictionary, "/V",
// "/Lock" and "/Perms" whatever the outcome.
VANTRIL_API Result<PendingSignature> append_signature(Document& document, std::string_view path,
                                                      const RevisionState& state,
                                                      const SignatureField& field,
                                                      const SignatureRequest& request,
                                                      std::span<const ObjectId> also_changed = {},
                                                      std::span<const ObjectId> also_replaced = {});

// Reads the two signed ranges of the file, in order and in pieces of at most 64 KiB, and hands
// each piece to `consume`; the first error of `consume` ends the reading and is returned. Fails
// as append_revision does when the file is not the one `pending` describes.
VANTRIL_API Status read_signed_bytes(std::string_view path, const PendingSignature& pending,
                                     const std::function<Status(std::string_view)>& consume);

// Writes `der` (the DER-encoded signature, or for a document timestamp the DER timestamp token)
// into the reserved "/Contents" as upper-case hex; the rest of the reservation stays zeros.
// Returns the file's state afterwards, for a further revision. Refusals:
//   - `der` empty, or longer than pending.contents_size: the revision is taken back as
//     cancel_signature does, the file left exactly as it was before append_signature, and
//     InvalidInput returned ("the signature is larger than the space reserved for it; the
//     signature's revision was taken back"). If it cannot be taken back, cancel_signature's
//     error is returned instead, with nothing changed.
//   - the file is not the one `pending` describes, or "/Contents" no longer holds only zeros
//     (InvalidData): nothing is changed, since the file is no longer the one this call made.
VANTRIL_API Result<RevisionState> write_signature(std::string_view path,
                                                  const PendingSignature& pending,
                                                  std::string_view der);

// Takes the signature revision back: cuts the file to pending.previous.file_length, so that it is
// byte for byte the file append_signature was given, and pending.previous describes it again.
// InvalidData, with the file unchanged, when the file is not the one `pending` describes (its
// length or last bytes differ, or pending.previous does not describe its start) or "/Contents"
// no longer holds only zeros: a signed revision is not taken back. The document keeps the
// field, the signature dictionary and "/V"; to sign again, pass the same SignatureField and
// pending.previous to append_signature, which sets "/V" anew.
VANTRIL_API Status cancel_signature(std::string_view path, const PendingSignature& pending);

}  // namespace vantril
