// An empty signature field: the field merged with its invisible widget, listed in the page's
// annotations and in the interactive form, whose flags then say the file holds signatures.
#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "revision/form_fields.hpp"
#include "revision/signature_kinds.hpp"
#include "runtime/invalid_input.hpp"
#include "vantril/content.hpp"
#include "vantril/fonts.hpp"
#include "vantril/signature.hpp"

namespace vantril {

namespace {

// The widget's "/Rect" and "/AP": the caller's appearance stream, or one drawn from the text.
struct Visible {
  Array rect = make_array(0, 0, 0, 0);
  std::optional<Stream> drawn;
  std::optional<ObjectId> appearance;
};

// The largest Helvetica size at which every line fits the box, with a margin of a tenth of the
// height around the text; the lines are then drawn from the top, one below the other.
Result<Stream> text_appearance(const SignatureAppearance& appearance) {
  const double width = appearance.rect.right - appearance.rect.left;
  const double height = appearance.rect.top - appearance.rect.bottom;
  std::vector<std::string> lines;
  std::uint64_t widest = 1;
  for (const std::string& line : appearance.text) {
    Result<std::string> codes =
        encode_text(StandardFont::Helvetica, line, Unencodable::replace_with('?'));
    if (!codes.ok()) return std::move(codes).error();
    widest = std::max(widest, text_width_units(StandardFont::Helvetica, codes.value()));
    lines.push_back(std::move(codes).value());
  }
  const double margin = height / 10;
  const double leading_factor = 1.2;
  const double by_height =
      (height - 2 * margin) / (leading_factor * static_cast<double>(lines.size()));
  const double by_width = (width - 2 * margin) * 1000 / static_cast<double>(widest);
  const double size = std::max(1.0, std::min(by_height, by_width));
  ContentBuilder content;
  content.save_state().begin_text().font("Helv", size).move_text(margin, height - margin - size);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) content.move_text(0, -leading_factor * size);
    content.show_text(lines[i]);
  }
  content.end_text().restore_state();
  Dictionary fonts = Dictionary::from_pairs({{"Helv", font_dictionary(StandardFont::Helvetica)}});
  return std::move(content).take_stream(Dictionary::from_pairs({
      {"Type", Name("XObject")},
      {"Subtype", Name("Form")},
      {"BBox", make_array(0, 0, width, height)},
      {"Resources", Dictionary::from_pairs({{"Font", std::move(fonts)}})},
  }));
}

Result<Visible> visible_parts(const Document& document, const SignatureAppearance& appearance) {
  const Rect& rect = appearance.rect;
  if (!(rect.right > rect.left && rect.top > rect.bottom)) {
    return invalid_input("a visible signature's rectangle is empty or inverted");
  }
  Visible visible;
  visible.rect = make_array(rect.left, rect.bottom, rect.right, rect.top);
  if (appearance.appearance) {
    const auto found = document.object_table.find(*appearance.appearance);
    if (found == document.object_table.end() || found->second.stream() == nullptr) {
      return invalid_input("a visible signature's appearance is not a stream of the document");
    }
    visible.appearance = appearance.appearance;
  } else if (!appearance.text.empty()) {
    Result<Stream> drawn = text_appearance(appearance);
    if (!drawn.ok()) return std::move(drawn).error();
    visible.drawn = std::move(drawn).value();
  }
  return visible;
}

// The catalog and its interactive form, for changing: the form's dictionary (null when the
// catalog has none) and the object that holds it (the form's own, or the catalog).
struct FormPlace {
  ObjectId catalog_id;
  Dictionary* catalog = nullptr;
  Dictionary* form = nullptr;
  ObjectId form_owner;
};

Result<FormPlace> form_place(Document& document) {
  const Object* root = document.trailer.get("Root");
  Object* catalog_object = root != nullptr && root->reference() != nullptr
                               ? object_in(document, *root->reference())
                               : nullptr;
  FormPlace place;
  place.catalog = catalog_object != nullptr ? catalog_object->dictionary() : nullptr;
  if (place.catalog == nullptr) {
    return invalid_input("the trailer's Root is not a catalog dictionary of the document");
  }
  place.catalog_id = *root->reference();
  place.form_owner = place.catalog_id;
  if (Object* value = place.catalog->get("AcroForm")) {
    if (const ObjectId* id = value->reference()) {
      Object* target = object_in(document, *id);
      place.form = target != nullptr ? target->dictionary() : nullptr;
      place.form_owner = *id;
    } else {
      place.form = value->dictionary();
    }
    if (place.form == nullptr) {
      return invalid_input(
          "the catalog's /AcroForm is neither a dictionary nor a reference to "
          "one of the document");
    }
  }
  return place;
}

Result<SignatureField> add_field(Document& document, const RevisionState& state, ObjectId page,
                                 String name, Visible visible) {
  Object* page_object = object_in(document, page);
  Dictionary* page_dictionary = page_object != nullptr ? page_object->dictionary() : nullptr;
  if (page_dictionary == nullptr) {
    return invalid_input("the signature field's page is not a dictionary of the document");
  }
  Result<FormPlace> place = form_place(document);
  if (!place.ok()) return std::move(place).error();
  Dictionary* catalog = place.value().catalog;
  Result<std::optional<FoundField>> same_name = find_field(document, std::string_view(name.bytes));
  if (!same_name.ok()) return std::move(same_name).error();
  if (same_name.value()) {
    std::string message = "the form already has a field named '";
    message += std::string_view(name.bytes);
    message += "'";
    return invalid_input(std::move(message));
  }

  // Every check before the first change, so that a refusal leaves the document as it was.
  Result<EntrySpot> annots =
      locate_entry(document, *page_dictionary, "Annots", ObjectKind::Array, "the page's /Annots");
  if (!annots.ok()) return std::move(annots).error();
  Dictionary* form = place.value().form;
  EntrySpot fields_spot;
  if (form != nullptr) {
    Result<EntrySpot> fields =
        locate_entry(document, *form, "Fields", ObjectKind::Array, "the form's /Fields");
    if (!fields.ok()) return std::move(fields).error();
    fields_spot = fields.value();
  }

  SignatureField added;
  // Above the file's numbers too: a document made to sign a file may hold only a few of them.
  adopt_revision_state(document, state);
  added.field = reserve_id(document);
  entry_at(document, *page_dictionary, "Annots", annots.value(), page, Object(Array{}),
           added.replaced)
      .array()
      ->emplace_back(added.field);
  if (form == nullptr) {
    catalog->set("AcroForm", Dictionary());
    form = catalog->get("AcroForm")->dictionary();
  }
  const ObjectId form_owner = place.value().form_owner;
  added.replaced.push_back(form_owner);
  entry_at(document, *form, "Fields", fields_spot, form_owner, Object(Array{}), added.replaced)
      .array()
      ->emplace_back(added.field);
  // 1: the file holds signatures; 2: it must be saved by appending, or they break.
  form->set("SigFlags", 3);

  Dictionary widget = Dictionary::from_pairs({
      {"Type", Name("Annot")},
      {"Subtype", Name("Widget")},
      {"FT", Name("Sig")},
      {"T", std::move(name)},
      {"Rect", std::move(visible.rect)},
      // Print (4) and Locked (128): printed with the page, not moved or deleted.
      {"F", 132},
      {"P", page},
  });
  added.changed = added.replaced;
  added.changed.push_back(added.field);
  if (visible.drawn) {
    visible.appearance = append_object(document, std::move(*visible.drawn));
    added.changed.push_back(*visible.appearance);
  } else if (visible.appearance && visible.appearance->number > state.highest_number) {
    // The caller's stream is new to the file: it goes into the revision with the field.
    added.changed.push_back(*visible.appearance);
  }
  if (visible.appearance) {
    widget.set("AP", Dictionary::from_pairs({{"N", *visible.appearance}}));
  }
  put_object(document, added.field, std::move(widget));
  return added;
}

}  // namespace

Result<SignatureField> add_signature_field(Document& document, const RevisionState& state,
                                           ObjectId page, String name) {
  return add_field(document, state, page, std::move(name), Visible{});
}

Result<SignatureField> add_signature_field(Document& document, const RevisionState& state,
                                           ObjectId page, String name,
                                           const SignatureAppearance& appearance) {
  Result<Visible> visible = visible_parts(document, appearance);
  if (!visible.ok()) return std::move(visible).error();
  return add_field(document, state, page, std::move(name), std::move(visible).value());
}

Result<std::optional<SignatureField>> find_signature_field(Document& document,
                                                           std::string_view qualified_name) {
  Result<std::optional<FoundField>> found = find_field(document, qualified_name);
  if (!found.ok()) return std::move(found).error();
  if (!found.value()) return std::optional<SignatureField>();
  const FoundField& field = *found.value();
  std::string quoted = "'";
  quoted += qualified_name;
  quoted += "'";
  if (!field.signature) {
    return invalid_input("the field " + quoted + " exists and is not a signature field");
  }
  if (field.has_value) {
    return invalid_input("the signature field " + quoted + " is already signed");
  }
  SignatureField sign;
  sign.field = field.id;
  sign.replaced.push_back(field.id);
  Result<FormPlace> place = form_place(document);
  if (!place.ok()) return std::move(place).error();
  // A field was found, so there is a form.
  Dictionary* form = place.value().form;
  if (form == nullptr) return invalid_input("the signature field lies in no form of the catalog");
  const ObjectId form_owner = place.value().form_owner;
  const Object* flags = form->get("SigFlags");
  if (flags == nullptr || flags->integer() == nullptr || (*flags->integer() & 3) != 3) {
    const std::int64_t kept =
        flags != nullptr && flags->integer() != nullptr ? *flags->integer() : 0;
    form->set("SigFlags", kept | 3);
    sign.replaced.push_back(form_owner);
  }
  sign.changed = sign.replaced;
  return std::optional<SignatureField>(std::move(sign));
}

}  // namespace vantril
