// The fixture set of `vantril-tool fixtures`: PDF files for testing signers, each with what a
// correct signer must do with it. Every file is the same bytes on every run and platform: fixed
// dates and identifiers, no compression library (its output may change between versions), and
// no time or random input anywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vantril/error.hpp"

namespace vantril::tool {

// A message an independent reader gives for a file that it still accepts, and why it is right
// to tolerate it.
struct FixtureWarning {
  std::string_view reader;
  std::string_view message;
  std::string_view reason;
};

// What a signer tested on the file does wrong with it: "crashes" (it ends abnormally),
// "refuses" (it ends with an error), "rewrites" (its output does not keep the input as a byte
// prefix), "damaged-output" (qpdf --check does not pass its output), or "no-valid-signature"
// (pdfsig finds no valid signature over the whole output).
struct SignerFault {
  std::string_view signer;
  std::string_view fault;
  std::string_view detail;
};

// A signature a fixture holds, and what a validator must conclude of it, trusting the set's
// certificates.
struct FixtureSignature {
  // The field's fully qualified name.
  std::string_view field;
  // "approval", "certification P=1" (2, 3), or "document timestamp".
  std::string_view kind;
  // Whether the value in /Contents verifies over the bytes its /ByteRange names; for a
  // /ByteRange that is not two ranges, over the bytes outside the /Contents string.
  bool valid_cryptographically = true;
  // "whole-file", "revision N" (the file up to the end of its N-th revision), or "broken" (a
  // /ByteRange that leaves out other bytes than the /Contents string, or names bytes twice).
  std::string_view covers;
  // "valid"; "modified" (what it signed verifies, but a later revision changes what the
  // document shows in a way the signature does not permit); or "invalid".
  std::string_view expected_verdict;
  std::string_view reason;
  // The verdict pdfsig reaches where it is another, and why: a finding about pdfsig. pdfsig's
  // verdict is "invalid" unless it says the signature is valid; then "valid" when it says the
  // signature covers the whole document, else "modified".
  std::string_view pdfsig_verdict;
  std::string_view pdfsig_detail;
};

// The signers the set is tried with, as the manifest names them, and what @signpdf does to every
// file it signs.
inline constexpr std::string_view pdfsig = "pdfsig 22.12";
inline constexpr std::string_view vantril_sign = "vantril-tool sign";
inline constexpr std::string_view signpdf = "@signpdf 3.3.0";
inline constexpr std::string_view signpdf_startxref_early =
    "@signpdf appends a valid signature, but its startxref names the line feed before the new "
    "xref keyword, one byte early, and qpdf --check warns (extraneous whitespace seen before "
    "xref)";

// What the manifest says of one file.
struct FixtureInfo {
  std::string_view name;
  std::string_view category;
  std::string_view purpose;
  // The cross-reference forms of the file's sections, oldest first: "table", "stream", "hybrid".
  std::vector<std::string_view> forms;
  std::uint32_t revisions = 1;
  // Inputs for signers are signable; inputs for validators, whose signatures are the test,
  // are not.
  bool signable = true;
  std::string_view preserve;
  std::string_view reference;
  std::vector<FixtureWarning> warnings;
  // Where a signer should sign an existing empty field rather than add one: its full name.
  std::string_view signature_field;
  // What the signers the set was tried with do wrong with the file.
  std::vector<SignerFault> signer_faults;
  // The signatures the file already holds, oldest first.
  std::vector<FixtureSignature> signatures;
  // Anything a user of the set should know that the other members do not say.
  std::string_view notes;
  // Written only with --large.
  bool large = false;
};

// The way a fixture is made: the file written at `path` (UTF-8).
using FixtureMaker = Status (*)(const FixtureInfo& info, const std::string& path);

struct Fixture {
  FixtureInfo info;
  FixtureMaker make;
};

// Every fixture, in the order of the manifest.
const std::vector<Fixture>& fixture_set();
// The fixtures that hold signatures (fixture_signed.cpp), appended to `set`.
void add_signed_fixtures(std::vector<Fixture>& set);

// The certificates the set's signatures are made with, written beside the files so that a
// validator can be told to trust them: file name and DER bytes.
struct FixtureCertificate {
  std::string_view file;
  std::string_view der;
};
std::vector<FixtureCertificate> fixture_certificates();

// The manifest of the given fixtures, as JSON text.
std::string fixture_manifest(const std::vector<const Fixture*>& fixtures);

// The version of the set's layout and contents; raised whenever a file's bytes change.
inline constexpr std::uint64_t fixture_set_version = 2;

// The makers, by the way they work: through the library's Document and writer
// (fixture_documents.cpp), through the streaming writer (fixture_large.cpp) or with bytes formed by
// hand where the library cannot express the layout (fixture_bytes.cpp).
Status make_xref_table(const FixtureInfo& info, const std::string& path);
Status make_xref_stream(const FixtureInfo& info, const std::string& path);
Status make_catalog_in_object_stream(const FixtureInfo& info, const std::string& path);
Status make_revisions_2(const FixtureInfo& info, const std::string& path);
Status make_revisions_5(const FixtureInfo& info, const std::string& path);
Status make_eof_line_end(const FixtureInfo& info, const std::string& path);
Status make_eof_no_line_end(const FixtureInfo& info, const std::string& path);
Status make_eof_then_bytes(const FixtureInfo& info, const std::string& path);
Status make_header_after_bytes(const FixtureInfo& info, const std::string& path);
Status make_startxref_far(const FixtureInfo& info, const std::string& path);
Status make_two_startxref(const FixtureInfo& info, const std::string& path);
Status make_acroform_no_fields(const FixtureInfo& info, const std::string& path);
Status make_need_appearances(const FixtureInfo& info, const std::string& path);
Status make_empty_signature_field(const FixtureInfo& info, const std::string& path);
Status make_split_signature_field(const FixtureInfo& info, const std::string& path);
Status make_many_annotations(const FixtureInfo& info, const std::string& path);
Status make_pdf_2_0(const FixtureInfo& info, const std::string& path);
Status make_updated_to_2_0(const FixtureInfo& info, const std::string& path);

Status make_large_100mb(const FixtureInfo& info, const std::string& path);
Status make_large_2gib(const FixtureInfo& info, const std::string& path);

Status make_object_streams(const FixtureInfo& info, const std::string& path);
Status make_hybrid(const FixtureInfo& info, const std::string& path);
Status make_reused_numbers(const FixtureInfo& info, const std::string& path);
Status make_update_other_form(const FixtureInfo& info, const std::string& path);
Status make_prev_chain_mixed(const FixtureInfo& info, const std::string& path);
Status make_line_ends_cr(const FixtureInfo& info, const std::string& path);
Status make_line_ends_lf(const FixtureInfo& info, const std::string& path);
Status make_line_ends_crlf(const FixtureInfo& info, const std::string& path);

// Shared by both: the text a fixture's page shows (its name and purpose), as a content stream
// of Helvetica under the resource name /F1, and the file's bytes written whole to `path`.
std::string fixture_page_content(const FixtureInfo& info, std::string_view extra_line = {});
Status write_fixture_file(const std::string& path, std::string_view bytes);
// The bytes as hexadecimal digits, upper case, as PDF hex strings and /Contents hold them.
std::string upper_hex(std::string_view bytes);
// The two identical halves of the file identifier: 16 bytes derived from the fixture's name.
std::string fixture_identifier(std::string_view name);

}  // namespace vantril::tool
