// An empty signature field: the field merged with its invisible widget, listed in the page's
// annotations and in the interactive form, whose flags then say the file holds signatures.
#include <optional>
#include <utility>

#include "runtime/invalid_input.hpp"
#include "vantril/signature.hpp"

namespace vantril {

namespace {

Object* object_at(Document& document, ObjectId id) {
  const auto found = document.object_table.find(id);
  return found == document.object_table.end() ? nullptr : &found->second;
}

// Where an array-valued entry lives: missing (to be made direct), direct, or in an object.
struct ArraySpot {
  bool present = false;
  std::optional<ObjectId> indirect;
};

Result<ArraySpot> locate_array(Document& document, const Dictionary& holder, std::string_view key) {
  const Object* value = holder.get(key);
  if (value == nullptr) return ArraySpot{};
  if (value->array() != nullptr) return ArraySpot{true, std::nullopt};
  if (const ObjectId* id = value->reference()) {
    const Object* target = object_at(document, *id);
    if (target != nullptr && target->array() != nullptr) return ArraySpot{true, *id};
  }
  return invalid_input(
      "a page's /Annots or a form's /Fields is neither an array nor a reference "
      "to an array of the document");
}

// The array the spot names, made as a direct value of `holder` when missing. An array in an
// object of its own is a replaced object; otherwise the holder's owner is.
Array& array_at(Document& document, Dictionary& holder, std::string_view key, const ArraySpot& spot,
                ObjectId holder_owner, std::vector<ObjectId>& replaced) {
  if (spot.indirect) {
    replaced.push_back(*spot.indirect);
    return *object_at(document, *spot.indirect)->array();
  }
  replaced.push_back(holder_owner);
  if (!spot.present) holder.set(key, Array{});
  return *holder.get(key)->array();
}

}  // namespace

Result<SignatureField> add_signature_field(Document& document, const RevisionState& state,
                                           ObjectId page, String name) {
  Object* page_object = object_at(document, page);
  Dictionary* page_dictionary = page_object != nullptr ? page_object->dictionary() : nullptr;
  if (page_dictionary == nullptr) {
    return invalid_input("the signature field's page is not a dictionary of the document");
  }
  const Object* root = document.trailer.get("Root");
  Object* catalog_object = root != nullptr && root->reference() != nullptr
                               ? object_at(document, *root->reference())
                               : nullptr;
  Dictionary* catalog = catalog_object != nullptr ? catalog_object->dictionary() : nullptr;
  if (catalog == nullptr) {
    return invalid_input("the trailer's Root is not a catalog dictionary of the document");
  }
  const ObjectId catalog_id = *root->reference();

  // Every check before the first change, so that a refusal leaves the document as it was.
  Result<ArraySpot> annots = locate_array(document, *page_dictionary, "Annots");
  if (!annots.ok()) return std::move(annots).error();
  std::optional<ObjectId> form_id;
  Dictionary* form = nullptr;
  if (Object* value = catalog->get("AcroForm")) {
    if (const ObjectId* id = value->reference()) {
      Object* target = object_at(document, *id);
      form = target != nullptr ? target->dictionary() : nullptr;
      form_id = *id;
    } else {
      form = value->dictionary();
    }
    if (form == nullptr) {
      return invalid_input(
          "the catalog's /AcroForm is neither a dictionary nor a reference to "
          "one of the document");
    }
  }
  ArraySpot fields_spot;
  if (form != nullptr) {
    Result<ArraySpot> fields = locate_array(document, *form, "Fields");
    if (!fields.ok()) return std::move(fields).error();
    fields_spot = fields.value();
  }

  SignatureField added;
  // Above the file's numbers too: a document made to sign a file may hold only a few of them.
  adopt_revision_state(document, state);
  added.field = reserve_id(document);
  array_at(document, *page_dictionary, "Annots", annots.value(), page, added.replaced)
      .emplace_back(added.field);
  if (form == nullptr) {
    catalog->set("AcroForm", Dictionary());
    form = catalog->get("AcroForm")->dictionary();
  }
  const ObjectId form_owner = form_id ? *form_id : catalog_id;
  added.replaced.push_back(form_owner);
  array_at(document, *form, "Fields", fields_spot, form_owner, added.replaced)
      .emplace_back(added.field);
  // 1: the file holds signatures; 2: it must be saved by appending, or they break.
  form->set("SigFlags", 3);

  put_object(document, added.field,
             Dictionary::from_pairs({
                 {"Type", Name("Annot")},
                 {"Subtype", Name("Widget")},
                 {"FT", Name("Sig")},
                 {"T", std::move(name)},
                 {"Rect", make_array(0, 0, 0, 0)},
                 // Print (4) and Locked (128): printed with the page, not moved or deleted.
                 {"F", 132},
                 {"P", page},
             }));
  added.changed = added.replaced;
  added.changed.push_back(added.field);
  return added;
}

}  // namespace vantril
