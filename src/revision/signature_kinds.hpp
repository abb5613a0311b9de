// The kinds of signature beyond a plain approval: the certification's and the field lock's
// entries, the checks a request's kinds must pass, and the lookup of entries that may be direct
// values or objects of their own, which the validation data shares. Defined in
// signature_kinds.cpp.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "vantril/error.hpp"
#include "vantril/model/document.hpp"
#include "vantril/model/object.hpp"
#include "vantril/model/object_id.hpp"
#include "vantril/revision.hpp"
#include "vantril/signature.hpp"

namespace vantril {

// Where a dictionary- or array-valued entry lives: missing, a direct value of its holder, or an
// object of the document of its own.
struct EntrySpot {
  bool present = false;
  std::optional<ObjectId> indirect;
};

// The spot of `holder`'s entry `key`, which must be of `kind` (Dictionary or Array) or a
// reference to an object of the document of that kind. InvalidInput naming `what` otherwise.
Result<EntrySpot> locate_entry(const Document& document, const Dictionary& holder,
                               std::string_view key, ObjectKind kind, std::string_view what);

// The value `spot` names, for changing: its own object (listed in `replaced`), or the holder's
// direct value, made as `empty` when missing (the holder's owner listed in `replaced`). The
// holder must be the one the spot was located in, unchanged since in that entry.
Object& entry_at(Document& document, Dictionary& holder, std::string_view key,
                 const EntrySpot& spot, ObjectId holder_owner, Object empty,
                 std::vector<ObjectId>& replaced);

// The document's object under `id`, or null.
Object* object_in(Document& document, ObjectId id);
const Object* object_in(const Document& document, ObjectId id);

// The catalog's identifier: the document trailer's "Root", else the state's; InvalidInput unless
// it names a dictionary of the document.
Result<ObjectId> catalog_of(const Document& document, const RevisionState& state);

// InvalidInput when the request's certify, lock and sub-filter do not go together or are out of
// range.
Status check_signature_kinds(const SignatureRequest& request);

// A certification to be made: the catalog and where its "/Perms" is.
struct CertificationPlan {
  ObjectId catalog;
  EntrySpot perms;
};

// For a request that certifies, the plan after the checks that the document holds no other
// signature; nullopt for one that does not. InvalidInput when the catalog or "/Perms" is
// malformed or the document is signed or certified already.
Result<std::optional<CertificationPlan>> plan_certification(const Document& document,
                                                            const RevisionState& state,
                                                            ObjectId field,
                                                            const SignatureRequest& request);

// Sets the catalog's "/Perms" "/DocMDP" to the signature; the object it changed goes into
// `replaced`.
void apply_certification(Document& document, const CertificationPlan& plan, ObjectId signature,
                         std::vector<ObjectId>& replaced);

// The field's "/Lock" dictionary.
Dictionary lock_dictionary(const FieldLock& lock);

// The signature dictionary's "/Reference" entries for the request: DocMDP, then FieldMDP, each
// where asked; empty for neither.
Array signature_references(const SignatureRequest& request);

}  // namespace vantril
