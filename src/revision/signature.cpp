// A signature revision: the signature dictionary with its reservations appended, "/ByteRange"
// filled in place, the signed ranges read back for the caller, and the caller's signature put
// into the reservation.
#include "vantril/signature.hpp"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "revision/append_core.hpp"
#include "revision/revision_file.hpp"
#include "revision/signature_kinds.hpp"
#include "runtime/fatal.hpp"
#include "runtime/invalid_input.hpp"

namespace vantril {

namespace {

IoError invalid_data(std::string_view fixed_message) {
  return IoError::with_message(IoErrorKind::InvalidData, fixed_message);
}

Name sub_filter_name(SignatureSubFilter sub_filter) {
  switch (sub_filter) {
    case SignatureSubFilter::EtsiCadesDetached:
      return Name("ETSI.CAdES.detached");
    case SignatureSubFilter::EtsiRfc3161:
      return Name("ETSI.RFC3161");
    case SignatureSubFilter::AdbePkcs7Detached:
      break;
  }
  return Name("adbe.pkcs7.detached");
}

Dictionary signature_dictionary(const SignatureRequest& request) {
  const bool timestamp = request.sub_filter == SignatureSubFilter::EtsiRfc3161;
  Dictionary dictionary = Dictionary::from_pairs({
      {"Type", Name(timestamp ? "DocTimeStamp" : "Sig")},
      {"Filter", Name("Adobe.PPKLite")},
      {"SubFilter", sub_filter_name(request.sub_filter)},
      {"ByteRange", make_array(0, 0, 0, 0)},
      {"Contents", hex_string(std::string(request.contents_size, '\0'))},
  });
  // A timestamp's time is the token's own; a signing time given with it is only informative.
  if (!request.signing_time.bytes.empty()) dictionary.set("M", request.signing_time);
  if (request.name) dictionary.set("Name", *request.name);
  if (request.reason) dictionary.set("Reason", *request.reason);
  if (request.location) dictionary.set("Location", *request.location);
  Array references = signature_references(request);
  if (!references.empty()) dictionary.set("Reference", std::move(references));
  return dictionary;
}

// The reserved "/Contents" as written: "<", two zero digits per reserved byte, ">".
std::string empty_contents(std::size_t size) {
  std::string text(2 * size + 2, '0');
  text.front() = '<';
  text.back() = '>';
  return text;
}

// InvalidData unless the file is the one `pending` describes and its reservation is still empty.
Status check_pending(const UpdateFile& file, const PendingSignature& pending) {
  VANTRIL_TRY(file.check_unchanged(pending.state));
  const std::string reserved = empty_contents(pending.contents_size);
  Result<std::string> current = file.read(pending.contents_offset, reserved.size());
  if (!current.ok()) return std::move(current).error();
  if (current.value() != reserved) {
    return invalid_data("the signature's /Contents is not an empty reservation");
  }
  return {};
}

}  // namespace

Result<PendingSignature> append_signature(Document& document, std::string_view path,
                                          const RevisionState& state, const SignatureField& field,
                                          const SignatureRequest& request,
                                          std::span<const ObjectId> also_changed,
                                          std::span<const ObjectId> also_replaced) {
  if (request.contents_size == 0 || request.contents_size > SignatureRequest::max_contents_size) {
    return invalid_input("a signature's reserved size must be from 1 byte to 16 MiB");
  }
  if (request.signing_time.bytes.empty() && request.sub_filter != SignatureSubFilter::EtsiRfc3161) {
    return invalid_input("a signature needs its signing time (/M)");
  }
  VANTRIL_TRY(check_signature_kinds(request));
  const auto found = document.object_table.find(field.field);
  Dictionary* field_dictionary =
      found != document.object_table.end() ? found->second.dictionary() : nullptr;
  if (field_dictionary == nullptr) {
    return invalid_input("the signature field is not a dictionary of the document");
  }
  Result<std::optional<CertificationPlan>> certification =
      plan_certification(document, state, field.field, request);
  if (!certification.ok()) return std::move(certification).error();

  adopt_revision_state(document, state);
  const ObjectId signature = append_object(document, signature_dictionary(request));
  field_dictionary->set("V", signature);
  if (request.lock) field_dictionary->set("Lock", lock_dictionary(*request.lock));

  std::vector<ObjectId> changed = field.changed;
  changed.push_back(field.field);
  changed.push_back(signature);
  changed.insert(changed.end(), also_changed.begin(), also_changed.end());
  std::vector<ObjectId> replaced = field.replaced;
  replaced.insert(replaced.end(), also_replaced.begin(), also_replaced.end());
  if (certification.value()) {
    apply_certification(document, *certification.value(), signature, replaced);
  }
  Result<AppendedRevision> appended =
      append_revision_with(document, path, state, changed, replaced, signature);
  if (!appended.ok()) return std::move(appended).error();

  PendingSignature pending;
  pending.state = std::move(appended.value().state);
  pending.previous = state;
  if (!appended.value().placeholders) fatal_error("a signature revision without its placeholders");
  const PlaceholderOffsets& at = *appended.value().placeholders;
  pending.byte_range = signed_ranges(at, pending.state.file_length);
  pending.contents_offset = at.contents;
  pending.contents_size = request.contents_size;
  pending.signature = signature;
  return pending;
}

Status read_signed_bytes(std::string_view path, const PendingSignature& pending,
                         const std::function<Status(std::string_view)>& consume) {
  constexpr std::uint64_t piece = std::uint64_t{64} * 1024;
  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  VANTRIL_TRY(file.value().check_unchanged(pending.state));
  for (std::size_t range = 0; range < 2; ++range) {
    const std::uint64_t start = pending.byte_range[2 * range];
    const std::uint64_t length = pending.byte_range[2 * range + 1];
    for (std::uint64_t done = 0; done < length;) {
      const auto size = static_cast<std::size_t>(std::min(piece, length - done));
      Result<std::string> bytes = file.value().read(start + done, size);
      if (!bytes.ok()) return std::move(bytes).error();
      VANTRIL_TRY(consume(bytes.value()));
      done += size;
    }
  }
  return {};
}

Result<RevisionState> write_signature(std::string_view path, const PendingSignature& pending,
                                      std::string_view der) {
  if (der.empty() || der.size() > pending.contents_size) {
    // A revision whose reservation stays zeros is a signature no reader accepts; the caller
    // would have no use for it, so it goes.
    VANTRIL_TRY(cancel_signature(path, pending));
    return invalid_input(StaticText{der.empty()
                                        ? "the signature is empty; the signature's revision was "
                                          "taken back"
                                        : "the signature is larger than the space reserved for "
                                          "it; the signature's revision was taken back"});
  }
  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  VANTRIL_TRY(check_pending(file.value(), pending));
  constexpr std::string_view digits = "0123456789ABCDEF";
  std::string hex;
  hex.reserve(2 * der.size());
  for (const char c : der) {
    const auto byte = static_cast<unsigned char>(c);
    hex += digits[byte >> 4];
    hex += digits[byte & 0x0F];
  }
  VANTRIL_TRY(file.value().write(pending.contents_offset + 1, hex));
  RevisionState state = pending.state;
  Result<std::string> tail = file.value().read_tail(state.file_length);
  if (!tail.ok()) return std::move(tail).error();
  state.tail = std::move(tail).value();
  return state;
}

Status cancel_signature(std::string_view path, const PendingSignature& pending) {
  Result<UpdateFile> file = UpdateFile::open(path);
  if (!file.ok()) return std::move(file).error();
  VANTRIL_TRY(check_pending(file.value(), pending));
  return file.value().cut_back(pending.state, pending.previous);
}

}  // namespace vantril
