// The large fixtures, written by the streaming writer one object at a time so that the file is
// never held in memory: one page whose resources name form XObjects of a mebibyte each, never
// drawn, that carry the file past 100 MB or past 2 GiB (offsets that need 32 unsigned bits, and
// byte ranges whose numbers are wider than usual).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bin/vantril-tool/fixture_set.hpp"
#include "vantril/fonts.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/stream_writer.hpp"

namespace vantril::tool {
namespace {

constexpr std::size_t filler_size = std::size_t{1} << 20;

Status write_large(const FixtureInfo& info, const std::string& path, XrefForm form,
                   std::uint32_t fillers) {
  Result<StreamWriter> created = StreamWriter::create(path, "1.7", form);
  VANTRIL_TRY(created.status());
  StreamWriter& writer = created.value();
  const ObjectId catalog = writer.reserve_id();
  const ObjectId pages = writer.reserve_id();
  const ObjectId page = writer.reserve_id();
  const ObjectId content = writer.reserve_id();
  const ObjectId font = writer.reserve_id();
  const ObjectId info_id = writer.reserve_id();
  std::vector<ObjectId> filler_ids;
  for (std::uint32_t i = 0; i < fillers; ++i) filler_ids.push_back(writer.reserve_id());

  VANTRIL_TRY(writer.write_object(
      catalog, Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", pages}})));
  VANTRIL_TRY(writer.write_object(
      pages,
      Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", make_array(page)}, {"Count", 1}})));
  Dictionary forms;
  for (std::uint32_t i = 0; i < fillers; ++i) {
    std::string name = "Fill";
    name += std::to_string(i + 1);
    forms.set(name, filler_ids[i]);
  }
  VANTRIL_TRY(writer.write_object(
      page,
      Dictionary::from_pairs(
          {{"Type", Name("Page")},
           {"Parent", pages},
           {"MediaBox", page_box(595, 842)},
           {"Resources", Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", font}})},
                                                 {"XObject", std::move(forms)}})},
           {"Contents", content}})));
  std::string size_line = "The file holds ";
  size_line += std::to_string(fillers);
  size_line += " form XObjects of 1 MiB each that the page names and never draws.";
  VANTRIL_TRY(writer.write_object(
      content, make_stream(Dictionary(), Bytes(fixture_page_content(info, size_line)))));
  VANTRIL_TRY(writer.write_object(font, font_dictionary(StandardFont::Helvetica)));
  VANTRIL_TRY(writer.write_object(
      info_id, Dictionary::from_pairs({{"Title", literal_string(std::string(info.name))},
                                       {"Producer", literal_string("vantril-tool fixtures")},
                                       {"CreationDate", literal_string("D:20260101000000Z")},
                                       {"ModDate", literal_string("D:20260101000000Z")}})));

  // Each filler is comment lines, which a content stream may hold anywhere.
  const std::string line = "% filler of a large vantril fixture, never drawn on the page ....\n";
  Bytes data;
  data.reserve(filler_size);
  while (data.size() + line.size() <= filler_size) data.append(line);
  data.append(std::string(filler_size - data.size(), ' '));
  const Object filler = make_stream(
      Dictionary::from_pairs(
          {{"Type", Name("XObject")}, {"Subtype", Name("Form")}, {"BBox", make_array(0, 0, 1, 1)}}),
      std::move(data));
  for (const ObjectId id : filler_ids) {
    VANTRIL_TRY(writer.write_object(id, filler));
  }

  writer.trailer().set("Root", catalog);
  writer.trailer().set("Info", info_id);
  const std::string id = fixture_identifier(info.name);
  writer.trailer().set("ID", make_array(hex_string(id), hex_string(id)));
  return writer.close();
}

}  // namespace

// 100 MiB of fillers: about 105 MB.
Status make_large_100mb(const FixtureInfo& info, const std::string& path) {
  return write_large(info, path, XrefForm::XrefStreamForm, 100);
}

// 2050 MiB of fillers: past 2 GiB, short of 4 GiB, where every offset still fits the sections.
Status make_large_2gib(const FixtureInfo& info, const std::string& path) {
  return write_large(info, path, XrefForm::XrefTableForm, 2050);
}

}  // namespace vantril::tool
