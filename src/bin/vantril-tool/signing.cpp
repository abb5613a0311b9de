// The placeholder revision, the pending signature found again, and the file operations the
// signing subcommands share.
#include "bin/vantril-tool/signing.hpp"

#include <array>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/json.hpp"
#include "runtime/invalid_input.hpp"
#include "runtime/platform.hpp"
#include "runtime/write_loop.hpp"
#include "vantril/pages.hpp"
#include "vantril/revision.hpp"
#include "vantril/text.hpp"

namespace vantril::tool {
namespace {

// How many default names ("Signature1", "Signature2", ...) are tried before giving up: a form
// with more fields of those names than this is not one a person signs by hand.
constexpr std::uint32_t default_name_attempts = 1000;

// Pieces in which files are copied and read.
constexpr std::size_t piece_size = std::size_t{1} << 16;

// The path as the standard library's file system calls take it, from the UTF-8 the tool has.
std::filesystem::path path_of(const std::string& utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

// A byte-for-byte copy of `input` as `output` (created or emptied). Errors name no file: the
// caller knows which one it was writing.
Status copy_file(const std::string& input, const std::string& output) {
  Result<os::NativeHandle> from = os::open_file_for_reading(input);
  if (!from.ok()) return from.error();
  Result<os::NativeHandle> to = os::create_output_file(output);
  if (!to.ok()) {
    os::close_handle(from.value());
    return to.error();
  }
  std::vector<char> piece(piece_size);
  Status copied;
  for (std::uint64_t offset = 0;;) {
    Result<std::size_t> read = os::read_at(from.value(), offset, piece.data(), piece.size());
    if (!read.ok()) {
      copied = read.error();
      break;
    }
    if (read.value() == 0) break;
    copied = write_until_done(std::string_view(piece.data(), read.value()),
                              "failed to write whole buffer",
                              [&](std::string_view rest) {
                                return os::write_handle(to.value(), rest.data(), rest.size());
                              })
                 .status;
    if (!copied.ok()) break;
    offset += read.value();
  }
  os::close_handle(from.value());
  Status closed = os::close_handle_reporting(to.value());
  if (!copied.ok()) return copied;
  return closed;
}

// A new invisible field named `name` on page `page` (1-based) of the document.
Result<SignatureField> new_field(UpdatableFile& file, std::uint64_t page, const std::string& name) {
  Result<std::vector<ObjectId>> pages = document_pages(file.document);
  if (!pages.ok()) return std::move(pages).error();
  if (page > pages.value().size()) {
    std::string message = "page ";
    message += std::to_string(page);
    message += " was asked for, but the file has ";
    message += std::to_string(pages.value().size());
    message += pages.value().size() == 1 ? " page" : " pages";
    return invalid_input(std::move(message));
  }
  return add_signature_field(file.document, file.state, pages.value()[page - 1],
                             literal_string(name));
}

// The field the request names, or the first free default name; `name` gets the one chosen.
Result<SignatureField> choose_field(UpdatableFile& file, const PlaceholderRequest& request,
                                    std::string& name) {
  if (!request.field.empty()) {
    name = request.field;
    Result<std::optional<SignatureField>> found = find_signature_field(file.document, name);
    if (!found.ok()) return std::move(found).error();
    if (found.value().has_value()) return std::move(*found.value());
    return new_field(file, request.page, name);
  }
  // A default name is taken when a field that cannot be signed has it (another kind, or one
  // already signed); the next is tried. The last refusal explains a form where none is free.
  std::optional<IoError> refusal;
  for (std::uint32_t n = 1; n <= default_name_attempts; ++n) {
    name = "Signature";
    name += std::to_string(n);
    Result<std::optional<SignatureField>> found = find_signature_field(file.document, name);
    if (!found.ok()) {
      refusal = std::move(found).error();
      continue;
    }
    if (found.value().has_value()) return std::move(*found.value());
    return new_field(file, request.page, name);
  }
  return refusal.has_value() ? *refusal : invalid_input("no free signature field name was found");
}

Result<SignatureRequest> signature_request(const PlaceholderRequest& request) {
  SignatureRequest signature;
  signature.contents_size = request.contents_size;
  signature.certify = request.certify;
  if (request.timestamp) {
    // A document timestamp's time is the token's own.
    signature.sub_filter = SignatureSubFilter::EtsiRfc3161;
  } else {
    const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    Result<String> signing_time = pdf_date(now, std::chrono::minutes(0));
    if (!signing_time.ok()) return std::move(signing_time).error();
    signature.signing_time = std::move(signing_time).value();
  }
  if (request.reason.has_value()) {
    Result<String> reason = text_string(*request.reason);
    if (!reason.ok()) return std::move(reason).error();
    signature.reason = std::move(reason).value();
  }
  return signature;
}

// One byte of the file, or nothing when it cannot be read there.
std::optional<char> byte_at(os::NativeHandle handle, std::uint64_t offset) {
  char byte = 0;
  Result<std::size_t> read = os::read_at(handle, offset, &byte, 1);
  if (!read.ok() || read.value() != 1) return std::nullopt;
  return byte;
}

// The four numbers of a "/ByteRange", each from 0 to the file's length.
std::optional<std::array<std::uint64_t, 4>> byte_range_of(const Object* value,
                                                          std::uint64_t file_length) {
  const Array* array = value == nullptr ? nullptr : value->array();
  if (array == nullptr || array->size() != 4) return std::nullopt;
  std::array<std::uint64_t, 4> range{};
  for (std::size_t i = 0; i < 4; ++i) {
    const std::int64_t* number = (*array)[i].integer();
    if (number == nullptr || *number < 0 || static_cast<std::uint64_t>(*number) > file_length) {
      return std::nullopt;
    }
    range[i] = static_cast<std::uint64_t>(*number);
  }
  return range;
}

// Whether the dictionary is an unsigned placeholder that reaches the end of the file, its
// "/Contents" between the two ranges; fills `pending` in when it is.
bool is_pending(const Dictionary& dictionary, std::uint64_t file_length,
                PendingSignature& pending) {
  const Object* contents_value = dictionary.get("Contents");
  const String* contents = contents_value == nullptr ? nullptr : contents_value->string();
  if (contents == nullptr || contents->bytes.empty()) return false;
  for (const char byte : contents->bytes) {
    if (byte != '\0') return false;
  }
  const std::optional<std::array<std::uint64_t, 4>> range =
      byte_range_of(dictionary.get("ByteRange"), file_length);
  if (!range.has_value()) return false;
  const std::uint64_t size = contents->bytes.size();
  const auto [first, before, after, rest] = *range;
  if (first != 0 || before + 2 * size + 2 != after || after + rest != file_length) return false;
  pending.byte_range = *range;
  pending.contents_offset = before;
  pending.contents_size = contents->bytes.size();
  return true;
}

// The value an entry holds, a reference followed to the document's object; null when missing.
const Object* resolved(const Document& document, const Object* value) {
  if (value == nullptr || value->reference() == nullptr) return value;
  auto found = document.object_table.find(*value->reference());
  return found == document.object_table.end() ? nullptr : &found->second;
}

const Dictionary* dictionary_entry(const Document& document, const Dictionary* holder,
                                   std::string_view key) {
  if (holder == nullptr) return nullptr;
  const Object* value = resolved(document, holder->get(key));
  return value == nullptr ? nullptr : value->dictionary();
}

// A document certified with no change permitted (/DocMDP, /P 1) cannot take another signature:
// its revision would break the certification. Refused before OUT is written. A certification
// the form does not state plainly is left to the validator.
Status refuse_unchangeable(const UpdatableFile& file) {
  const Object* root = resolved(file.document, file.document.trailer.get("Root"));
  const Dictionary* perms =
      dictionary_entry(file.document, root == nullptr ? nullptr : root->dictionary(), "Perms");
  const Dictionary* certification = dictionary_entry(file.document, perms, "DocMDP");
  const Object* references =
      certification == nullptr ? nullptr : resolved(file.document, certification->get("Reference"));
  if (references == nullptr || references->array() == nullptr) return {};
  for (const Object& item : *references->array()) {
    const Object* reference = resolved(file.document, &item);
    const Dictionary* entry = reference == nullptr ? nullptr : reference->dictionary();
    const Object* method = entry == nullptr ? nullptr : entry->get("TransformMethod");
    if (method == nullptr || method->name() == nullptr || !(method->name()->bytes == "DocMDP")) {
      continue;
    }
    const Dictionary* parameters = dictionary_entry(file.document, entry, "TransformParams");
    const Object* level = parameters == nullptr ? nullptr : parameters->get("P");
    if (level != nullptr && level->integer() != nullptr && *level->integer() == 1) {
      return invalid_input(
          "the document is certified with no change permitted (/DocMDP /P 1): a new signature "
          "would break its certification");
    }
  }
  return {};
}

}  // namespace

std::variant<PlaceholderRequest, std::string> placeholder_request(const ParsedArguments& given) {
  PlaceholderRequest request;
  if (const std::string* field = given.value("--field")) {
    if (field->empty()) return std::string("--field needs a name");
    request.field = *field;
  }
  if (const std::string* page = given.value("--page")) {
    const std::optional<std::uint64_t> number = parse_number(*page, 1, UINT32_MAX);
    if (!number.has_value()) return "--page takes a page number from 1, not '" + *page + "'";
    request.page = *number;
  }
  if (const std::string* size = given.value("--contents-size")) {
    const std::optional<std::uint64_t> number =
        parse_number(*size, 1, SignatureRequest::max_contents_size);
    if (!number.has_value()) {
      std::string message = "--contents-size takes a number of bytes from 1 to ";
      message += std::to_string(SignatureRequest::max_contents_size);
      message += ", not '";
      message += *size;
      message += "'";
      return message;
    }
    request.contents_size = static_cast<std::size_t>(*number);
  }
  if (const std::string* level = given.value("--certify")) {
    const std::optional<std::uint64_t> number = parse_number(*level, 1, 3);
    if (!number.has_value()) {
      return "--certify takes 1 (no changes), 2 (forms and signing) or 3 (also annotations), "
             "not '" +
             *level + "'";
    }
    request.certify = static_cast<std::uint8_t>(*number);
  }
  request.timestamp = given.has("--timestamp");
  if (request.timestamp && request.certify.has_value()) {
    return std::string(
        "--timestamp and --certify exclude each other: a timestamp certifies nothing");
  }
  if (const std::string* reason = given.value("--reason")) {
    if (request.timestamp) return std::string("--reason is for a signature, not a timestamp");
    request.reason = *reason;
  }
  return request;
}

std::optional<Placeholder> append_placeholder(const std::string& input, const std::string& output,
                                              const PlaceholderRequest& request) {
  if (same_file(input, output)) {
    report_file_error(output, invalid_input("OUT is the input file; write elsewhere"));
    return std::nullopt;
  }
  // The input is read and the field chosen before OUT is touched: a file that cannot be signed
  // leaves nothing behind. The copy is byte for byte, so the input's state describes it.
  Result<UpdatableFile> opened = open_for_update(input);
  if (!opened.ok()) {
    report_file_error(input, opened.error());
    return std::nullopt;
  }
  UpdatableFile& file = opened.value();
  if (Status certified = refuse_unchangeable(file); !certified.ok()) {
    report_file_error(input, certified.error());
    return std::nullopt;
  }
  Placeholder placeholder;
  Result<SignatureField> field = choose_field(file, request, placeholder.field);
  if (!field.ok()) {
    report_file_error(input, field.error());
    return std::nullopt;
  }
  Result<SignatureRequest> signature = signature_request(request);
  if (!signature.ok()) {
    report_file_error(input, signature.error());
    return std::nullopt;
  }
  if (Status copied = copy_file(input, output); !copied.ok()) {
    remove_output(output);
    report_file_error(output, copied.error());
    return std::nullopt;
  }
  Result<PendingSignature> pending =
      append_signature(file.document, output, file.state, field.value(), signature.value());
  if (!pending.ok()) {
    remove_output(output);
    report_file_error(output, pending.error());
    return std::nullopt;
  }
  placeholder.pending = std::move(pending).value();
  return placeholder;
}

Result<PendingSignature> find_pending_signature(const std::string& path) {
  Result<UpdatableFile> opened = open_for_update(path);
  if (!opened.ok()) return std::move(opened).error();
  const UpdatableFile& file = opened.value();
  const std::uint64_t length = file.state.file_length;
  PendingSignature pending;
  pending.state = file.state;
  // A refused signature then leaves the file as it is: there is nothing to take back.
  pending.previous = file.state;
  std::optional<ObjectId> found;
  if (!file.structure.revisions.empty()) {
    for (const ObjectId id : file.structure.revisions.back().defined) {
      auto object = file.document.object_table.find(id);
      if (object == file.document.object_table.end()) continue;
      const Dictionary* dictionary = object->second.dictionary();
      if (dictionary != nullptr && is_pending(*dictionary, length, pending)) {
        found = id;
        break;
      }
    }
  }
  if (!found.has_value()) {
    return invalid_input(
        "the file holds no signature waiting to be signed: no signature dictionary of its latest "
        "revision has a /Contents of zeros whose /ByteRange reaches the end of the file (make "
        "one with prepare)");
  }
  pending.signature = *found;
  // The numbers must point at the hex string's brackets in the bytes themselves, not only agree
  // with each other.
  Result<os::NativeHandle> handle = os::open_file_for_reading(path);
  if (!handle.ok()) return std::move(handle).error();
  const std::optional<char> open_bracket = byte_at(handle.value(), pending.byte_range[1]);
  const std::optional<char> close_bracket = byte_at(handle.value(), pending.byte_range[2] - 1);
  os::close_handle(handle.value());
  if (open_bracket != '<' || close_bracket != '>') {
    return invalid_input(
        "the signature's /ByteRange does not point at its /Contents' angle brackets");
  }
  return pending;
}

std::string describe_signature(std::string_view file, std::string_view field,
                               const PendingSignature& pending, bool json,
                               std::optional<std::size_t> signature_size) {
  const auto& range = pending.byte_range;
  const std::uint64_t digest_length = range[1] + range[3];
  if (json) {
    JsonWriter writer;
    writer.begin_object().key("file").string(file);
    if (!field.empty()) writer.key("field").string(field);
    writer.key("byte_range").begin_array();
    for (const std::uint64_t number : range) writer.number(number);
    writer.end_array();
    writer.key("digest_input_length").number(digest_length);
    writer.key("contents_offset").number(pending.contents_offset);
    writer.key("contents_size").number(pending.contents_size);
    if (signature_size.has_value()) writer.key("signature_size").number(*signature_size);
    writer.end_object();
    return writer.take();
  }
  std::string text(file);
  text += signature_size.has_value() ? ": signed" : ": a signature waits";
  if (!field.empty()) {
    text += " in field ";
    text += field;
  }
  text += "\n  byte ranges:   ";
  text += std::to_string(range[0]);
  text += ' ';
  text += std::to_string(range[1]);
  text += ", ";
  text += std::to_string(range[2]);
  text += ' ';
  text += std::to_string(range[3]);
  text += " (offset and length)\n  digest input:  ";
  text += std::to_string(digest_length);
  text += " bytes, the two ranges one after the other\n  contents at:   ";
  text += std::to_string(pending.contents_offset);
  text += " (the \"<\" of /Contents)\n  reserved:      ";
  text += std::to_string(pending.contents_size);
  text += " bytes for the DER signature\n";
  if (signature_size.has_value()) {
    text += "  signature:     ";
    text += std::to_string(*signature_size);
    text += " bytes\n";
  }
  return text;
}

std::string too_large_message(std::size_t signature, std::size_t reserved) {
  std::string message = "the signature (";
  message += std::to_string(signature);
  message += " bytes) is larger than the ";
  message += std::to_string(reserved);
  message += " bytes reserved for it";
  return message;
}

Result<std::string> read_small_file(const std::string& path, std::uint64_t limit) {
  Result<os::NativeHandle> handle = os::open_file_for_reading(path);
  if (!handle.ok()) return std::move(handle).error();
  Result<std::uint64_t> size = os::file_size(handle.value());
  if (!size.ok() || size.value() > limit) {
    os::close_handle(handle.value());
    if (!size.ok()) return std::move(size).error();
    std::string message = "the file is larger than the ";
    message += std::to_string(limit);
    message += " bytes it may have";
    return invalid_input(std::move(message));
  }
  std::string bytes(static_cast<std::size_t>(size.value()), '\0');
  std::size_t have = 0;
  while (have < bytes.size()) {
    Result<std::size_t> read =
        os::read_at(handle.value(), have, bytes.data() + have, bytes.size() - have);
    if (!read.ok()) {
      os::close_handle(handle.value());
      return std::move(read).error();
    }
    if (read.value() == 0) break;
    have += read.value();
  }
  os::close_handle(handle.value());
  bytes.resize(have);
  return bytes;
}

bool same_file(const std::string& first, const std::string& second) {
  std::error_code ignored;
  return std::filesystem::equivalent(path_of(first), path_of(second), ignored);
}

void remove_output(const std::string& path) {
  std::error_code ignored;
  // Only a file: an OUT that names a directory was never written.
  if (std::filesystem::is_regular_file(path_of(path), ignored)) {
    std::filesystem::remove(path_of(path), ignored);
  }
}

}  // namespace vantril::tool
