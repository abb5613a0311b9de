// Certifications, field locks and document timestamps: the checks their requests must pass, the
// search for signatures a certification would come after, and the entries they add.
#include "revision/signature_kinds.hpp"

#include <string>
#include <utility>

#include "revision/form_fields.hpp"
#include "runtime/invalid_input.hpp"

namespace vantril {

namespace {

Name action_name(LockAction action) {
  switch (action) {
    case LockAction::Include:
      return Name("Include");
    case LockAction::Exclude:
      return Name("Exclude");
    case LockAction::All:
      break;
  }
  return Name("All");
}

// "/Action" and, for Include and Exclude, "/Fields": what a lock and its FieldMDP entry share.
void put_lock_entries(Dictionary& dictionary, const FieldLock& lock) {
  dictionary.set("Action", action_name(lock.action));
  if (lock.action == LockAction::All) return;
  Array fields;
  fields.reserve(lock.fields.size());
  for (const String& field : lock.fields) fields.emplace_back(field);
  dictionary.set("Fields", std::move(fields));
}

Dictionary reference_entry(std::string_view method, Dictionary params) {
  // Version 1.2 of the transforms is the one readers know; it is the only one there is.
  params.set("V", Name("1.2"));
  return Dictionary::from_pairs({
      {"Type", Name("SigRef")},
      {"TransformMethod", Name(method)},
      {"TransformParams", std::move(params)},
  });
}

}  // namespace

Object* object_in(Document& document, ObjectId id) {
  const auto found = document.object_table.find(id);
  return found == document.object_table.end() ? nullptr : &found->second;
}

const Object* object_in(const Document& document, ObjectId id) {
  const auto found = document.object_table.find(id);
  return found == document.object_table.end() ? nullptr : &found->second;
}

Result<EntrySpot> locate_entry(const Document& document, const Dictionary& holder,
                               std::string_view key, ObjectKind kind, std::string_view what) {
  const Object* value = holder.get(key);
  if (value == nullptr) return EntrySpot{};
  if (value->kind() == kind) return EntrySpot{true, std::nullopt};
  if (const ObjectId* id = value->reference()) {
    const Object* target = object_in(document, *id);
    if (target != nullptr && target->kind() == kind) return EntrySpot{true, *id};
  }
  std::string message(what);
  message += kind == ObjectKind::Array ? " is neither an array nor a reference to an array"
                                       : " is neither a dictionary nor a reference to a dictionary";
  message += " of the document";
  return invalid_input(std::move(message));
}

Object& entry_at(Document& document, Dictionary& holder, std::string_view key,
                 const EntrySpot& spot, ObjectId holder_owner, Object empty,
                 std::vector<ObjectId>& replaced) {
  if (spot.indirect) {
    replaced.push_back(*spot.indirect);
    return *object_in(document, *spot.indirect);
  }
  replaced.push_back(holder_owner);
  if (!spot.present) holder.set(key, std::move(empty));
  return *holder.get(key);
}

Result<ObjectId> catalog_of(const Document& document, const RevisionState& state) {
  const Object* root = document.trailer.get("Root");
  std::optional<ObjectId> id = state.root;
  if (root != nullptr && root->reference() != nullptr) id = *root->reference();
  const Object* catalog = id ? object_in(document, *id) : nullptr;
  if (catalog == nullptr || catalog->dictionary() == nullptr) {
    return invalid_input("the trailer's Root is not a catalog dictionary of the document");
  }
  return *id;
}

Status check_signature_kinds(const SignatureRequest& request) {
  if (request.certify && (*request.certify < 1 || *request.certify > 3)) {
    return invalid_input("a certification's permissions (/P) must be 1, 2 or 3");
  }
  if (request.sub_filter == SignatureSubFilter::EtsiRfc3161 && (request.certify || request.lock)) {
    return invalid_input("a document timestamp neither certifies nor locks fields");
  }
  if (request.lock) {
    const FieldLock& lock = *request.lock;
    if ((lock.action == LockAction::All) != lock.fields.empty()) {
      return invalid_input(
          "a field lock names no fields for the action All and at least one for Include and "
          "Exclude");
    }
    for (const String& field : lock.fields) {
      if (field.bytes.empty()) return invalid_input("a field lock names a field with no name");
    }
  }
  return {};
}

Result<std::optional<CertificationPlan>> plan_certification(const Document& document,
                                                            const RevisionState& state,
                                                            ObjectId field,
                                                            const SignatureRequest& request) {
  if (!request.certify) return std::optional<CertificationPlan>();
  Result<ObjectId> catalog_id = catalog_of(document, state);
  if (!catalog_id.ok()) return std::move(catalog_id).error();
  const Dictionary& catalog = *object_in(document, catalog_id.value())->dictionary();
  Result<EntrySpot> perms =
      locate_entry(document, catalog, "Perms", ObjectKind::Dictionary, "the catalog's /Perms");
  if (!perms.ok()) return std::move(perms).error();

  if (perms.value().present) {
    const Object* value = catalog.get("Perms");
    const Dictionary* dictionary = perms.value().indirect
                                       ? object_in(document, *perms.value().indirect)->dictionary()
                                       : value->dictionary();
    // A cancelled certification of this same field left its dictionary there; signing the
    // field again takes its place.
    const Object* doc_mdp = dictionary->get("DocMDP");
    const Object* field_value = object_in(document, field)->dictionary()->get("V");
    const bool left_by_this_field = doc_mdp != nullptr && doc_mdp->reference() != nullptr &&
                                    field_value != nullptr && field_value->reference() != nullptr &&
                                    *doc_mdp->reference() == *field_value->reference();
    if (doc_mdp != nullptr && !left_by_this_field) {
      return invalid_input("the document is certified already (its catalog's /Perms has /DocMDP)");
    }
  }
  // Another field's signature, anywhere in the form's tree.
  bool signed_already = false;
  VANTRIL_TRY(walk_fields(document, [&](const FieldVisit& visit) {
    signed_already = visit.id != field && visit.signature && visit.field.get("V") != nullptr;
    return signed_already;
  }));
  if (signed_already) {
    return invalid_input(
        "a certification must be the document's first signature, and a signature field of "
        "the form holds a value");
  }

  return std::optional<CertificationPlan>(CertificationPlan{catalog_id.value(), perms.value()});
}

void apply_certification(Document& document, const CertificationPlan& plan, ObjectId signature,
                         std::vector<ObjectId>& replaced) {
  Dictionary& catalog = *object_in(document, plan.catalog)->dictionary();
  Object& perms =
      entry_at(document, catalog, "Perms", plan.perms, plan.catalog, Dictionary(), replaced);
  perms.dictionary()->set("DocMDP", signature);
}

Dictionary lock_dictionary(const FieldLock& lock) {
  Dictionary dictionary = Dictionary::from_pairs({{"Type", Name("SigFieldLock")}});
  put_lock_entries(dictionary, lock);
  return dictionary;
}

Array signature_references(const SignatureRequest& request) {
  Array references;
  if (request.certify) {
    references.emplace_back(
        reference_entry("DocMDP", Dictionary::from_pairs({
                                      {"Type", Name("TransformParams")},
                                      {"P", static_cast<std::int64_t>(*request.certify)},
                                  })));
  }
  if (request.lock) {
    Dictionary params = Dictionary::from_pairs({{"Type", Name("TransformParams")}});
    put_lock_entries(params, *request.lock);
    references.emplace_back(reference_entry("FieldMDP", std::move(params)));
  }
  return references;
}

}  // namespace vantril
