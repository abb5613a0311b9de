// What the signing subcommands share: the placeholder revision that prepare and sign append to a
// copy of the input, the pending signature that embed finds again in a file from its bytes
// alone, the report of a pending signature, and the small file operations around them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "bin/vantril-tool/arguments.hpp"
#include "vantril/error.hpp"
#include "vantril/signature.hpp"

namespace vantril::tool {

// The options prepare and sign share, as the command line gave them.
struct PlaceholderRequest {
  // The field to sign: an empty signature field of that name, else a new invisible one. Empty:
  // "Signature1", or the first "SignatureN" that names no field of the form or an empty
  // signature field.
  std::string field;
  // 1-based; where a new field's widget goes.
  std::uint64_t page = 1;
  std::size_t contents_size = 8192;
  std::optional<std::uint8_t> certify;
  bool timestamp = false;
  // UTF-8, for "/Reason".
  std::optional<std::string> reason;
};

// The options --field, --page, --contents-size, --certify, --reason and --timestamp, those given
// among them; or a usage message.
std::variant<PlaceholderRequest, std::string> placeholder_request(const ParsedArguments& given);

// The placeholder appended: the field's name and the pending signature.
struct Placeholder {
  std::string field;
  PendingSignature pending;
};

// Reads `input`, finds or adds the field, copies `input` to `output` and appends the signature
// revision to `output`, its "/Contents" reserved as zeros. On failure the error has been
// reported (naming the file it concerns), `output` is removed, and the result is empty.
std::optional<Placeholder> append_placeholder(const std::string& input, const std::string& output,
                                              const PlaceholderRequest& request);

// The signature revision prepare appended and no one has signed yet, found in the file at
// `path` from its bytes alone: the signature dictionary among the latest revision's objects
// whose "/Contents" is all zero bytes and whose "/ByteRange" is [0 a b c] with the "<" of
// "/Contents" at a, its ">" just before b, and b + c the file's length. Both of the pending
// signature's states are the file's, so that a refused signature leaves the file as it is.
// InvalidInput when there is none.
Result<PendingSignature> find_pending_signature(const std::string& path);

// The signature revision for a person (text) or a program (--json): the file, the field, the
// byte ranges, the length of the digest input (the two ranges together), the offset of
// "/Contents"'s "<", the bytes reserved, and the signature's size once one is written.
std::string describe_signature(std::string_view file, std::string_view field,
                               const PendingSignature& pending, bool json,
                               std::optional<std::size_t> signature_size = std::nullopt);

// "the signature (N bytes) is larger than the M bytes reserved for it".
std::string too_large_message(std::size_t signature, std::size_t reserved);

// The whole file, refused as InvalidInput when it is longer than `limit` bytes.
Result<std::string> read_small_file(const std::string& path, std::uint64_t limit);

// Whether both name the same existing file.
bool same_file(const std::string& first, const std::string& second);

// Removes the file if it is there (a regular file, not a directory); a failure is ignored (the
// file was the tool's own output).
void remove_output(const std::string& path);

}  // namespace vantril::tool
