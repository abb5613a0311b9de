// check: reads a whole file, every object and every stream's raw data, and says what it found.
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bin/vantril-tool/arguments.hpp"
#include "bin/vantril-tool/console.hpp"
#include "bin/vantril-tool/json.hpp"
#include "bin/vantril-tool/page_tree.hpp"
#include "bin/vantril-tool/subcommands.hpp"
#include "vantril/reader.hpp"

namespace vantril::tool {
namespace {

constexpr std::string_view check_help =
    "Usage: vantril-tool check FILE [--json] [--strict]\n"
    "\n"
    "Reads every object of FILE and every stream's raw data, and prints what was read: the\n"
    "version, the objects in use, the pages (leaves of the page tree), each revision and the\n"
    "form of its cross-reference section (table, stream or hybrid), every repair with its\n"
    "offset, warnings, and whether the file is encrypted. An encrypted file's structure is\n"
    "shown; its objects are not read.\n"
    "\n"
    "  --json     one JSON object instead of text\n"
    "  --strict   refuse a file that needs any repair\n"
    "\n"
    "Exit status: 0 read cleanly, 3 read only after repairs, 2 error.\n";

constexpr KnownOption check_options[] = {{"--json"}, {"--strict"}, {"--help"}};

// "table", "stream" or "hybrid" (a table whose trailer points to a cross-reference stream too).
std::string_view form_label(const RevisionInfo& revision) {
  if (revision.form == XrefForm::XrefStreamForm) return "stream";
  return revision.xref_stream_offset.has_value() ? "hybrid" : "table";
}

struct Findings {
  std::uint64_t objects = 0;
  std::uint64_t streams = 0;
  std::uint64_t stream_bytes = 0;
  std::uint64_t pages = 0;
  std::vector<std::string> warnings;
};

// Loads every object once, counting the streams and their raw bytes, then walks the page tree.
Result<Findings> read_everything(LazyReader& reader) {
  Findings findings;
  const std::vector<ObjectId> ids = reader.object_ids();
  findings.objects = ids.size();
  const FileStructure& structure = reader.structure();
  if (structure.encrypted) {
    std::string note = "the file is encrypted";
    if (!structure.security_handler.empty()) note += " (" + structure.security_handler;
    if (structure.security_revision.has_value()) {
      note += ", revision " + std::to_string(*structure.security_revision);
    }
    if (!structure.security_handler.empty()) note += ")";
    note += ": its objects were not read and its pages not counted";
    findings.warnings.push_back(std::move(note));
    return findings;
  }
  for (const ObjectId id : ids) {
    Result<Object> object = reader.load(id);
    if (!object.ok()) return std::move(object).error();
    if (const Stream* stream = object.value().stream()) {
      ++findings.streams;
      findings.stream_bytes += stream->data.size();
    }
  }
  Result<PageCount> pages = count_pages(reader);
  if (!pages.ok()) return std::move(pages).error();
  findings.pages = pages.value().pages;
  for (std::string& warning : pages.value().warnings)
    findings.warnings.push_back(std::move(warning));
  return findings;
}

// What the file's structure itself warns of, ahead of what reading the objects found.
std::vector<std::string> structure_warnings(const FileStructure& structure) {
  std::vector<std::string> warnings;
  if (structure.header_offset != 0) {
    warnings.push_back("the header starts at offset " + std::to_string(structure.header_offset) +
                       "; offsets count from there");
  }
  if (structure.bytes_after_last_eof != 0) {
    warnings.push_back(std::to_string(structure.bytes_after_last_eof) +
                       " bytes follow the last %%EOF");
  }
  return warnings;
}

std::string json_report(std::string_view file, const FileStructure& structure,
                        const Findings& findings, const std::vector<std::string>& warnings) {
  JsonWriter json;
  json.begin_object();
  json.key("file").string(file);
  json.key("version").string(structure.header_version);
  json.key("header_offset").number(structure.header_offset);
  json.key("file_length").number(structure.file_length);
  json.key("objects").number(findings.objects);
  json.key("streams").number(findings.streams);
  json.key("stream_bytes").number(findings.stream_bytes);
  json.key("pages").number(findings.pages);
  json.key("revisions").number(structure.revisions.size());
  json.key("forms").begin_array();
  for (const RevisionInfo& revision : structure.revisions) json.string(form_label(revision));
  json.end_array();
  json.key("sections").begin_array();
  for (const RevisionInfo& revision : structure.revisions) {
    json.begin_object();
    json.key("form").string(form_label(revision));
    json.key("offset").number(revision.xref_offset);
    json.key("xref_stream_offset");
    if (revision.xref_stream_offset.has_value()) {
      json.number(*revision.xref_stream_offset);
    } else {
      json.null();
    }
    json.key("defined").number(revision.defined.size());
    json.key("freed").number(revision.freed.size());
    json.end_object();
  }
  json.end_array();
  json.key("layout_objects").number(structure.layout_objects.size());
  json.key("rebuilt").boolean(structure.rebuilt);
  json.key("repaired").boolean(!structure.repairs.empty());
  json.key("repairs").begin_array();
  for (const Repair& repair : structure.repairs) {
    json.begin_object();
    json.key("offset").number(repair.offset);
    json.key("description").string(repair.description);
    json.end_object();
  }
  json.end_array();
  json.key("warnings").begin_array();
  for (const std::string& warning : warnings) json.string(warning);
  json.end_array();
  json.key("bytes_after_last_eof").number(structure.bytes_after_last_eof);
  json.key("encrypted").boolean(structure.encrypted);
  json.key("security_handler");
  if (structure.encrypted) {
    json.string(structure.security_handler);
  } else {
    json.null();
  }
  json.key("security_revision");
  if (structure.security_revision.has_value()) {
    json.signed_number(*structure.security_revision);
  } else {
    json.null();
  }
  json.end_object();
  return json.take();
}

std::string plural(std::uint64_t count, std::string_view one, std::string_view many) {
  return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

std::string text_report(std::string_view file, const FileStructure& structure,
                        const Findings& findings, const std::vector<std::string>& warnings) {
  std::string out;
  out += "file: " + std::string(file) + "\n";
  out += "version: " + structure.header_version + "\n";
  out += "objects: " + std::to_string(findings.objects);
  if (!structure.encrypted) {
    out += " (" + plural(findings.streams, "stream", "streams") + ", " +
           plural(findings.stream_bytes, "byte", "bytes") + " of stream data)";
  }
  out += "\n";
  out += "pages: " + std::to_string(findings.pages) + "\n";
  out += "revisions: " + std::to_string(structure.revisions.size()) + "\n";
  std::size_t number = 0;
  for (const RevisionInfo& revision : structure.revisions) {
    out += "  " + std::to_string(++number) + ": " + std::string(form_label(revision)) +
           " at offset " + std::to_string(revision.xref_offset);
    if (revision.xref_stream_offset.has_value()) {
      out += " (cross-reference stream at " + std::to_string(*revision.xref_stream_offset) + ")";
    }
    out += ", " + plural(revision.defined.size(), "object", "objects") + " in use, " +
           std::to_string(revision.freed.size()) + " free\n";
  }
  if (structure.rebuilt)
    out += "rebuilt: the cross-reference information was rebuilt by scanning\n";
  if (structure.repairs.empty()) {
    out += "repairs: none\n";
  } else {
    out += "repairs: " + std::to_string(structure.repairs.size()) + "\n";
    for (const Repair& repair : structure.repairs) {
      out += "  offset " + std::to_string(repair.offset) + ": " + repair.description + "\n";
    }
  }
  if (warnings.empty()) {
    out += "warnings: none\n";
  } else {
    out += "warnings: " + std::to_string(warnings.size()) + "\n";
    for (const std::string& warning : warnings) out += "  " + warning + "\n";
  }
  out += "encrypted: ";
  out += structure.encrypted ? "yes\n" : "no\n";
  return out;
}

}  // namespace

int run_check(std::span<const std::string> arguments) {
  auto parsed = parse_arguments(arguments, check_options);
  if (const std::string* problem = std::get_if<std::string>(&parsed)) {
    return report_usage_error("check", *problem);
  }
  const ParsedArguments& given = std::get<ParsedArguments>(parsed);
  if (given.has("--help")) return print(check_help) ? exit_clean : exit_error;
  if (given.operands.size() != 1) return report_usage_error("check", "check takes one FILE");
  const std::string& file = given.operands.front();

  ReadOptions options;
  options.strict = given.has("--strict");
  Result<LazyReader> opened = LazyReader::open(file, options);
  if (!opened.ok()) return report_file_error(file, opened.error());
  LazyReader& reader = opened.value();
  Result<Findings> findings = read_everything(reader);
  if (!findings.ok()) return report_file_error(file, findings.error());

  // Loading objects may have added repairs (a wrong "/Length", say): the structure is read now.
  const FileStructure& structure = reader.structure();
  std::vector<std::string> warnings = structure_warnings(structure);
  for (std::string& warning : findings.value().warnings) warnings.push_back(std::move(warning));
  const std::string report = given.has("--json")
                                 ? json_report(file, structure, findings.value(), warnings)
                                 : text_report(file, structure, findings.value(), warnings);
  if (!print(report)) return exit_error;
  return structure.repairs.empty() ? exit_clean : exit_repaired;
}

}  // namespace vantril::tool
