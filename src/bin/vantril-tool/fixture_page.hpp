// The one-page document most fixtures start from, and the small steps the makers share: the
// page's dictionary, an object's dictionary, a whole save.
#pragma once

#include <string>
#include <string_view>

#include "bin/vantril-tool/fixture_set.hpp"
#include "vantril/model.hpp"
#include "vantril/pages.hpp"
#include "vantril/writer/save_options.hpp"

namespace vantril::tool {

struct OnePage {
  Document document;
  PageTree tree;
  ObjectId page;
  ObjectId font;
  ObjectId catalog;
};

// A page of A4 showing `content` in Helvetica, /F1 naming `font`.
Dictionary page_dictionary(ObjectId font, ObjectId content);

// The catalog, a page tree with one page showing the fixture's name and purpose, Helvetica,
// the information dictionary with fixed dates, and a fixed identifier.
Result<OnePage> one_page(const FixtureInfo& info, std::string_view version, XrefForm form);

// The dictionary of an object the maker itself stored as one.
Dictionary& dictionary_at(Document& document, ObjectId id);

Status save_plain(Document& document, const std::string& path, const SaveOptions& options = {});

}  // namespace vantril::tool
