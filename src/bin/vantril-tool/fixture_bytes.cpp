// The fixtures whose layout the writer does not make: object streams beside a catalog left at
// top level, a hybrid file, free entries and reused numbers, updates in the other form, and
// other line ends. Their bytes are formed here, every offset counted as they are written.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bin/vantril-tool/fixture_hand_file.hpp"
#include "bin/vantril-tool/fixture_set.hpp"

namespace vantril::tool {
namespace {

void note_number(HandFile& file, std::uint32_t number) {
  file.size = std::max(file.size, number + 1);
}

std::string padded(std::uint64_t value, std::size_t width) {
  std::string digits = std::to_string(value);
  if (digits.size() < width) digits.insert(0, width - digits.size(), '0');
  return digits;
}

// The entries sorted, object 0 added to the first section and to every table (readers of
// tables expect each to start there), and the runs of consecutive numbers.
std::vector<std::pair<std::uint32_t, std::vector<Entry>>> subsections(HandFile& file, bool table) {
  std::vector<Entry> entries = file.entries;
  const bool has_zero =
      std::any_of(entries.begin(), entries.end(), [](const Entry& e) { return e.number == 0; });
  if ((table || !file.has_previous) && !file.without_zero && !has_zero)
    entries.push_back({0, 0, 0, 65535});
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.number < b.number; });
  std::vector<std::pair<std::uint32_t, std::vector<Entry>>> runs;
  for (const Entry& entry : entries) {
    if (runs.empty() || runs.back().first + runs.back().second.size() != entry.number) {
      runs.push_back({entry.number, {}});
    }
    runs.back().second.push_back(entry);
  }
  file.entries.clear();
  return runs;
}

std::string trailer_entries(const HandFile& file, std::string_view extra) {
  std::string entries = "/Size ";
  entries += std::to_string(file.size);
  if (file.has_previous) {
    entries += "/Prev ";
    entries += std::to_string(file.previous_section);
  }
  entries += extra;
  return entries;
}

void write_tail(HandFile& file, std::uint64_t section) {
  file.bytes += "startxref";
  file.bytes += file.eol;
  file.bytes += std::to_string(section);
  file.bytes += file.eol;
  file.bytes += "%%EOF";
  file.bytes += file.eol;
  file.previous_section = section;
  file.has_previous = true;
}

}  // namespace

void start_file(HandFile& file, std::string_view version) {
  file.bytes += "%PDF-";
  file.bytes += version;
  file.bytes += file.eol;
  file.bytes += "%\xE2\xE3\xCF\xD3";
  file.bytes += file.eol;
}

void put_object(HandFile& file, std::uint32_t number, std::uint16_t generation,
                std::string_view body) {
  file.entries.push_back({number, 1, file.offset(), generation});
  note_number(file, number);
  file.bytes += std::to_string(number);
  file.bytes += ' ';
  file.bytes += std::to_string(generation);
  file.bytes += " obj";
  file.bytes += file.eol;
  file.bytes += body;
  file.bytes += file.eol;
  file.bytes += "endobj";
  file.bytes += file.eol;
}

// A stream's body: its dictionary (entries without the brackets) with /Length, and its data.
std::string stream_body(const HandFile& file, std::string_view entries, std::string_view data) {
  std::string body = "<<";
  body += entries;
  body += "/Length ";
  body += std::to_string(data.size());
  body += ">>";
  body += file.eol;
  body += "stream";
  // The line end after "stream" must not be a lone carriage return.
  body += file.eol == "\r" ? "\r\n" : file.eol;
  body += data;
  body += file.eol;
  body += "endstream";
  return body;
}

void free_entry(HandFile& file, std::uint32_t number, std::uint32_t next_free,
                std::uint16_t generation) {
  file.entries.push_back({number, 0, next_free, generation});
  note_number(file, number);
}

// A classic table and its trailer (with /Size, /Prev and `extra`), then the tail.
void table_section(HandFile& file, std::string_view extra) {
  const std::uint64_t section = file.offset();
  // Each row is 20 bytes: the line end takes two, a space before a one-byte line end.
  const std::string row_end = file.eol.size() == 2 ? file.eol : " " + file.eol;
  file.bytes += "xref";
  file.bytes += file.eol;
  for (const auto& [first, run] : subsections(file, true)) {
    file.bytes += std::to_string(first);
    file.bytes += ' ';
    file.bytes += std::to_string(run.size());
    file.bytes += file.eol;
    for (const Entry& entry : run) {
      file.bytes += padded(entry.field, 10);
      file.bytes += ' ';
      file.bytes += padded(entry.second, 5);
      file.bytes += entry.type == 0 ? " f" : " n";
      file.bytes += row_end;
    }
  }
  file.bytes += "trailer";
  file.bytes += file.eol;
  file.bytes += "<<";
  file.bytes += trailer_entries(file, extra);
  file.bytes += ">>";
  file.bytes += file.eol;
  write_tail(file, section);
}

namespace {

void put_big_endian(std::string& out, std::uint64_t value, int width) {
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    out += static_cast<char>((value >> shift) & 0xFF);
  }
}

// The zlib form of `data` in stored (uncompressed) deflate blocks: a valid FlateDecode stream
// that needs no compression library, so its bytes are the same everywhere.
std::string stored_flate(std::string_view data) {
  std::string out = "\x78\x01";
  std::size_t at = 0;
  do {
    const std::size_t length = std::min<std::size_t>(data.size() - at, 65535);
    const bool last = at + length == data.size();
    out += static_cast<char>(last ? 1 : 0);
    out += static_cast<char>(length & 0xFF);
    out += static_cast<char>(length >> 8);
    out += static_cast<char>(~length & 0xFF);
    out += static_cast<char>((~length >> 8) & 0xFF);
    out += data.substr(at, length);
    at += length;
  } while (at < data.size());
  std::uint32_t a = 1;
  std::uint32_t b = 0;
  for (const char byte : data) {
    a = (a + static_cast<unsigned char>(byte)) % 65521;
    b = (b + a) % 65521;
  }
  put_big_endian(out, (std::uint64_t{b} << 16) | a, 4);
  return out;
}

// A cross-reference stream under `number` listing the pending entries and itself, its
// dictionary carrying `extra`; with `flate`, its rows are Flate-encoded. Returns its offset.
std::uint64_t stream_section_object(HandFile& file, std::uint32_t number, std::string_view extra,
                                    bool flate) {
  const std::uint64_t section = file.offset();
  file.entries.push_back({number, 1, section, 0});
  note_number(file, number);
  std::string index;
  std::string rows;
  for (const auto& [first, run] : subsections(file, false)) {
    if (!index.empty()) index += ' ';
    index += std::to_string(first);
    index += ' ';
    index += std::to_string(run.size());
    for (const Entry& entry : run) {
      put_big_endian(rows, static_cast<std::uint64_t>(entry.type), 1);
      put_big_endian(rows, entry.field, 4);
      put_big_endian(rows, entry.second, 2);
    }
  }
  std::string entries = "/Type/XRef/W[1 4 2]/Index[";
  entries += index;
  entries += "]";
  entries += trailer_entries(file, extra);
  if (flate) entries += "/Filter/FlateDecode";
  file.bytes += std::to_string(number);
  file.bytes += " 0 obj";
  file.bytes += file.eol;
  file.bytes += stream_body(file, entries, flate ? stored_flate(rows) : rows);
  file.bytes += file.eol;
  file.bytes += "endobj";
  file.bytes += file.eol;
  return section;
}

void stream_section(HandFile& file, std::uint32_t number, std::string_view extra,
                    bool flate = false) {
  write_tail(file, stream_section_object(file, number, extra, flate));
}

// The objects every hand-made fixture starts with: 1 catalog, 2 page tree, 3 page, 4 its
// content, 5 Helvetica, 6 the information dictionary.
constexpr std::string_view catalog_body = "<</Type/Catalog/Pages 2 0 R>>";
constexpr std::string_view pages_body = "<</Type/Pages/Kids[3 0 R]/Count 1>>";
constexpr std::string_view page_body =
    "<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Resources<</Font<</F1 5 0 R>>>>"
    "/Contents 4 0 R>>";
constexpr std::string_view font_body =
    "<</Type/Font/Subtype/Type1/BaseFont/Helvetica/Encoding/WinAnsiEncoding>>";

std::string info_body(const FixtureInfo& info) {
  std::string body = "<</Title(";
  body += info.name;
  body +=
      ")/Producer(vantril-tool fixtures)/CreationDate(D:20260101000000Z)"
      "/ModDate(D:20260101000000Z)>>";
  return body;
}

// "/Root 1 0 R/Info 6 0 R/ID[<...><...>]" for the trailer.
std::string root_info_id(const FixtureInfo& info) {
  const std::string id = upper_hex(fixture_identifier(info.name));
  std::string entries = "/Root 1 0 R/Info 6 0 R/ID[<";
  entries += id;
  entries += "><";
  entries += id;
  entries += ">]";
  return entries;
}

void basic_objects(HandFile& file, const FixtureInfo& info) {
  put_object(file, 1, 0, catalog_body);
  put_object(file, 2, 0, pages_body);
  put_object(file, 3, 0, page_body);
  put_object(file, 4, 0, stream_body(file, "", fixture_page_content(info)));
  put_object(file, 5, 0, font_body);
  put_object(file, 6, 0, info_body(info));
}

// A one-page file in one table, with the given line end everywhere.
Status one_table(const FixtureInfo& info, const std::string& path, std::string_view eol) {
  HandFile file;
  file.eol = std::string(eol);
  start_file(file, "1.7");
  basic_objects(file, info);
  table_section(file, root_info_id(info));
  return write_fixture_file(path, file.bytes);
}

// An object stream's data: the pairs of numbers and offsets, then the objects.
std::string object_stream_data(const std::vector<std::pair<std::uint32_t, std::string>>& objects,
                               std::size_t& first) {
  std::string pairs;
  std::string bodies;
  for (const auto& [number, body] : objects) {
    pairs += std::to_string(number);
    pairs += ' ';
    pairs += std::to_string(bodies.size());
    pairs += ' ';
    bodies += body;
    bodies += '\n';
  }
  first = pairs.size();
  return pairs + bodies;
}

// The page content, the revision's new page and the page tree that lists it, for an update
// under numbers from `first`: content `first`, page `first + 1`.
void page_update(HandFile& file, const FixtureInfo& info, std::uint32_t first,
                 std::string_view line, std::string& kids, std::uint32_t& count) {
  put_object(file, first, 0, stream_body(file, "", fixture_page_content(info, line)));
  std::string page =
      "<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Resources<</Font<</F1 5 0 R"
      ">>>>/Contents ";
  page += std::to_string(first);
  page += " 0 R>>";
  put_object(file, first + 1, 0, page);
  kids += ' ';
  kids += std::to_string(first + 1);
  kids += " 0 R";
  ++count;
  std::string pages = "<</Type/Pages/Kids[";
  pages += kids;
  pages += "]/Count ";
  pages += std::to_string(count);
  pages += ">>";
  put_object(file, 2, 0, pages);
}

}  // namespace

// The catalog and page tree at top level, the page, font and information dictionary in an
// object stream, that stream and the cross-reference stream Flate-encoded.
Status make_object_streams(const FixtureInfo& info, const std::string& path) {
  HandFile file;
  start_file(file, "1.7");
  put_object(file, 1, 0, catalog_body);
  put_object(file, 2, 0, pages_body);
  put_object(file, 4, 0, stream_body(file, "", fixture_page_content(info)));
  std::size_t first = 0;
  const std::string data = object_stream_data(
      {{3, std::string(page_body)}, {5, std::string(font_body)}, {6, info_body(info)}}, first);
  std::string entries = "/Type/ObjStm/N 3/First ";
  entries += std::to_string(first);
  entries += "/Filter/FlateDecode";
  put_object(file, 7, 0, stream_body(file, entries, stored_flate(data)));
  file.entries.push_back({3, 2, 7, 0});
  file.entries.push_back({5, 2, 7, 1});
  file.entries.push_back({6, 2, 7, 2});
  stream_section(file, 8, root_info_id(info), true);
  return write_fixture_file(path, file.bytes);
}

// A table that lists the body's objects and whose /XRefStm names a cross-reference stream
// listing the information dictionary, which lives in an object stream: a reader of tables
// alone finds the page, one that knows streams the information dictionary too.
Status make_hybrid(const FixtureInfo& info, const std::string& path) {
  HandFile file;
  start_file(file, "1.5");
  put_object(file, 1, 0, catalog_body);
  put_object(file, 2, 0, pages_body);
  put_object(file, 3, 0, page_body);
  put_object(file, 4, 0, stream_body(file, "", fixture_page_content(info)));
  put_object(file, 5, 0, font_body);
  std::size_t first = 0;
  const std::string data = object_stream_data({{6, info_body(info)}}, first);
  std::string entries = "/Type/ObjStm/N 1/First ";
  entries += std::to_string(first);
  put_object(file, 7, 0, stream_body(file, entries, data));
  // The stream lists only object 6; the table leaves 6 out rather than calling it free, since
  // readers take a table's entry over the stream's.
  std::vector<Entry> table_entries = std::move(file.entries);
  file.entries = {{6, 2, 7, 0}};
  file.without_zero = true;
  const std::uint64_t stream = stream_section_object(file, 8, "", false);
  file.without_zero = false;
  file.entries = std::move(table_entries);
  file.entries.push_back({8, 1, stream, 0});
  std::string extra = root_info_id(info);
  extra += "/XRefStm ";
  extra += std::to_string(stream);
  table_section(file, extra);
  return write_fixture_file(path, file.bytes);
}

// Three revisions: the base with an annotation object 7; the second frees 7 (its generation
// raised to 1) and takes the annotation off the page; the third uses number 7 again, at
// generation 1, for a new annotation.
Status make_reused_numbers(const FixtureInfo& info, const std::string& path) {
  HandFile file;
  start_file(file, "1.7");
  put_object(file, 1, 0, catalog_body);
  put_object(file, 2, 0, pages_body);
  const std::string_view page_start =
      "<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/Resources<</Font<</F1 5 0 R>>>>"
      "/Contents 4 0 R";
  std::string page = std::string(page_start) + "/Annots[7 0 R]>>";
  put_object(file, 3, 0, page);
  put_object(file, 4, 0, stream_body(file, "", fixture_page_content(info)));
  put_object(file, 5, 0, font_body);
  put_object(file, 6, 0, info_body(info));
  put_object(file, 7, 0,
             "<</Type/Annot/Subtype/Text/Rect[72 600 92 620]/Contents(The first revision's "
             "note)>>");
  table_section(file, root_info_id(info));

  page = std::string(page_start) + ">>";
  put_object(file, 3, 0, page);
  free_entry(file, 0, 7, 65535);
  free_entry(file, 7, 0, 1);
  table_section(file, root_info_id(info));

  page = std::string(page_start) + "/Annots[7 1 R]>>";
  put_object(file, 3, 0, page);
  put_object(file, 7, 1,
             "<</Type/Annot/Subtype/Text/Rect[72 560 92 580]/Contents(The third revision's "
             "note, under a reused number)>>");
  free_entry(file, 0, 0, 65535);
  table_section(file, root_info_id(info));
  return write_fixture_file(path, file.bytes);
}

// A table base and an update in a cross-reference stream that adds a page.
Status make_update_other_form(const FixtureInfo& info, const std::string& path) {
  HandFile file;
  start_file(file, "1.7");
  basic_objects(file, info);
  table_section(file, root_info_id(info));
  std::string kids = "3 0 R";
  std::uint32_t count = 1;
  page_update(file, info, 7, "This page was added by an update in a cross-reference stream.", kids,
              count);
  stream_section(file, 9, root_info_id(info));
  return write_fixture_file(path, file.bytes);
}

// Four sections, table, stream, table, stream, each later one adding a page.
Status make_prev_chain_mixed(const FixtureInfo& info, const std::string& path) {
  HandFile file;
  start_file(file, "1.7");
  basic_objects(file, info);
  table_section(file, root_info_id(info));
  std::string kids = "3 0 R";
  std::uint32_t count = 1;
  page_update(file, info, 7, "Revision 2, in a cross-reference stream.", kids, count);
  stream_section(file, 9, root_info_id(info));
  page_update(file, info, 10, "Revision 3, in a table.", kids, count);
  table_section(file, root_info_id(info));
  page_update(file, info, 12, "Revision 4, in a cross-reference stream.", kids, count);
  stream_section(file, 14, root_info_id(info));
  return write_fixture_file(path, file.bytes);
}

Status make_line_ends_cr(const FixtureInfo& info, const std::string& path) {
  return one_table(info, path, "\r");
}

Status make_line_ends_lf(const FixtureInfo& info, const std::string& path) {
  return one_table(info, path, "\n");
}

Status make_line_ends_crlf(const FixtureInfo& info, const std::string& path) {
  return one_table(info, path, "\r\n");
}

}  // namespace vantril::tool
