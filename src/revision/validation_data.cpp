// The document security store: the caller's certificates, OCSP responses and CRLs as streams,
// listed in the catalog's "/DSS" and, per signature, in its "/VRI", appended as one revision.
#include "vantril/validation_data.hpp"

#include <algorithm>
#include <array>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "revision/signature_kinds.hpp"
#include "runtime/invalid_input.hpp"

namespace vantril {

namespace {

// One kind of item: its list in the data, its array in "/DSS" and in a VRI entry.
struct ItemKind {
  std::vector<std::string> ValidationData::*items;
  std::vector<std::size_t> VriEntry::*indexes;
  std::string_view store_key;
  std::string_view vri_key;
};

constexpr std::array<ItemKind, 3> item_kinds{{
    {&ValidationData::certs, &VriEntry::certs, "Certs", "Cert"},
    {&ValidationData::ocsps, &VriEntry::ocsps, "OCSPs", "OCSP"},
    {&ValidationData::crls, &VriEntry::crls, "CRLs", "CRL"},
}};

// The key upper-cased, or nullopt when it is not an even, non-zero number of hex digits.
std::optional<std::string> vri_key(std::string_view key) {
  if (key.empty() || key.size() % 2 != 0) return std::nullopt;
  std::string upper;
  upper.reserve(key.size());
  for (const char c : key) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) {
      upper += c;
    } else if (c >= 'a' && c <= 'f') {
      upper += static_cast<char>(c - 'a' + 'A');
    } else {
      return std::nullopt;
    }
  }
  return upper;
}

// Where a VRI entry's dictionary and its three arrays are, for an entry the document may hold.
struct VriSpots {
  std::string key;
  EntrySpot entry;
  std::array<EntrySpot, 3> arrays;
};

// Where everything the revision changes is, found before anything changes.
struct StoreSpots {
  ObjectId catalog;
  EntrySpot store;
  std::array<EntrySpot, 3> arrays;
  EntrySpot vri;
  std::vector<VriSpots> entries;
};

Status check_data(const ValidationData& data) {
  bool any = !data.vri.empty();
  for (const ItemKind& kind : item_kinds) {
    for (const std::string& item : data.*kind.items) {
      if (item.empty())
        return invalid_input("a validation item (certificate, OCSP response or CRL) is empty");
      any = true;
    }
  }
  if (!any) return invalid_input("the validation data holds no item and no VRI entry");
  std::set<std::string> keys;
  for (const VriEntry& entry : data.vri) {
    const std::optional<std::string> key = vri_key(entry.key);
    if (!key) {
      std::string message = "the VRI key \"";
      message += entry.key.substr(0, 80);
      message += "\" is not an even, non-zero number of hex digits";
      return invalid_input(std::move(message));
    }
    if (!keys.insert(*key).second) {
      std::string message = "the VRI key ";
      message += *key;
      message += " is given twice";
      return invalid_input(std::move(message));
    }
    bool names_any = false;
    for (const ItemKind& kind : item_kinds) {
      const std::size_t count = (data.*kind.items).size();
      for (const std::size_t index : entry.*kind.indexes) {
        if (index >= count) {
          std::string message = "the VRI entry ";
          message += *key;
          message += " names item ";
          message += std::to_string(index);
          message += " of its ";
          message += kind.vri_key;
          message += " list, which holds ";
          message += std::to_string(count);
          return invalid_input(std::move(message));
        }
        names_any = true;
      }
    }
    if (!names_any) {
      std::string message = "the VRI entry ";
      message += *key;
      message += " names no item";
      return invalid_input(std::move(message));
    }
  }
  return {};
}

// The dictionary a located spot holds, or null when it is missing.
const Dictionary* spot_dictionary(const Document& document, const Dictionary& holder,
                                  std::string_view key, const EntrySpot& spot) {
  if (!spot.present) return nullptr;
  if (spot.indirect) return object_in(document, *spot.indirect)->dictionary();
  return holder.get(key)->dictionary();
}

Result<StoreSpots> locate_store(const Document& document, const RevisionState& state,
                                const ValidationData& data) {
  StoreSpots spots;
  Result<ObjectId> catalog_id = catalog_of(document, state);
  if (!catalog_id.ok()) return std::move(catalog_id).error();
  spots.catalog = catalog_id.value();
  const Dictionary& catalog = *object_in(document, spots.catalog)->dictionary();
  Result<EntrySpot> store =
      locate_entry(document, catalog, "DSS", ObjectKind::Dictionary, "the catalog's /DSS");
  if (!store.ok()) return std::move(store).error();
  spots.store = store.value();
  const Dictionary* dss = spot_dictionary(document, catalog, "DSS", spots.store);
  if (dss == nullptr) {
    // Made anew: every entry is missing.
    for (const VriEntry& entry : data.vri) spots.entries.push_back({*vri_key(entry.key), {}, {}});
    return spots;
  }
  for (std::size_t k = 0; k < item_kinds.size(); ++k) {
    std::string what = "the /DSS's /";
    what += item_kinds[k].store_key;
    Result<EntrySpot> array =
        locate_entry(document, *dss, item_kinds[k].store_key, ObjectKind::Array, what);
    if (!array.ok()) return std::move(array).error();
    spots.arrays[k] = array.value();
  }
  if (data.vri.empty()) return spots;
  Result<EntrySpot> vri =
      locate_entry(document, *dss, "VRI", ObjectKind::Dictionary, "the /DSS's /VRI");
  if (!vri.ok()) return std::move(vri).error();
  spots.vri = vri.value();
  const Dictionary* vri_dictionary = spot_dictionary(document, *dss, "VRI", spots.vri);
  for (const VriEntry& entry : data.vri) {
    VriSpots entry_spots{*vri_key(entry.key), {}, {}};
    if (vri_dictionary != nullptr) {
      std::string what = "the VRI entry ";
      what += entry_spots.key;
      Result<EntrySpot> found =
          locate_entry(document, *vri_dictionary, entry_spots.key, ObjectKind::Dictionary, what);
      if (!found.ok()) return std::move(found).error();
      entry_spots.entry = found.value();
      const Dictionary* existing =
          spot_dictionary(document, *vri_dictionary, entry_spots.key, entry_spots.entry);
      for (std::size_t k = 0; existing != nullptr && k < item_kinds.size(); ++k) {
        std::string array_what = what;
        array_what += "'s /";
        array_what += item_kinds[k].vri_key;
        Result<EntrySpot> array =
            locate_entry(document, *existing, item_kinds[k].vri_key, ObjectKind::Array, array_what);
        if (!array.ok()) return std::move(array).error();
        entry_spots.arrays[k] = array.value();
      }
    }
    spots.entries.push_back(std::move(entry_spots));
  }
  return spots;
}

// The owner to replace when a direct value of the object at `spot` changes.
ObjectId owner_of(const EntrySpot& spot, ObjectId holder_owner) {
  return spot.indirect ? *spot.indirect : holder_owner;
}

void append_references(Array& array, const std::vector<ObjectId>& streams,
                       const std::vector<std::size_t>& indexes) {
  for (const std::size_t index : indexes) array.emplace_back(streams[index]);
}

}  // namespace

Result<RevisionState> append_validation_data(Document& document, std::string_view path,
                                             const RevisionState& state,
                                             const ValidationData& data) {
  VANTRIL_TRY(check_data(data));
  Result<StoreSpots> located = locate_store(document, state, data);
  if (!located.ok()) return std::move(located).error();
  const StoreSpots& spots = located.value();

  // Every check is behind; from here on the document changes.
  adopt_revision_state(document, state);
  std::vector<ObjectId> changed;
  std::vector<ObjectId> replaced;
  std::array<std::vector<ObjectId>, 3> streams;
  for (std::size_t k = 0; k < item_kinds.size(); ++k) {
    for (const std::string& item : data.*item_kinds[k].items) {
      streams[k].push_back(append_object(document, make_stream(Dictionary(), Bytes(item))));
      changed.push_back(streams[k].back());
    }
  }

  Dictionary& catalog = *object_in(document, spots.catalog)->dictionary();
  Dictionary& store =
      *entry_at(document, catalog, "DSS", spots.store, spots.catalog, Dictionary(), replaced)
           .dictionary();
  const ObjectId store_owner = owner_of(spots.store, spots.catalog);
  for (std::size_t k = 0; k < item_kinds.size(); ++k) {
    if (streams[k].empty()) continue;
    Array& array = *entry_at(document, store, item_kinds[k].store_key, spots.arrays[k], store_owner,
                             Array(), replaced)
                        .array();
    array.reserve(array.size() + streams[k].size());
    for (const ObjectId stream : streams[k]) array.push_back(Object(stream));
  }
  if (!data.vri.empty()) {
    Dictionary& vri =
        *entry_at(document, store, "VRI", spots.vri, store_owner, Dictionary(), replaced)
             .dictionary();
    const ObjectId vri_owner = owner_of(spots.vri, store_owner);
    for (std::size_t e = 0; e < data.vri.size(); ++e) {
      const VriSpots& entry_spots = spots.entries[e];
      Dictionary& entry = *entry_at(document, vri, entry_spots.key, entry_spots.entry, vri_owner,
                                    Dictionary(), replaced)
                               .dictionary();
      const ObjectId entry_owner = owner_of(entry_spots.entry, vri_owner);
      for (std::size_t k = 0; k < item_kinds.size(); ++k) {
        const std::vector<std::size_t>& indexes = data.vri[e].*item_kinds[k].indexes;
        if (indexes.empty()) continue;
        Array& array = *entry_at(document, entry, item_kinds[k].vri_key, entry_spots.arrays[k],
                                 entry_owner, Array(), replaced)
                            .array();
        append_references(array, streams[k], indexes);
      }
    }
  }
  return append_revision(document, path, state, changed, replaced);
}

}  // namespace vantril
