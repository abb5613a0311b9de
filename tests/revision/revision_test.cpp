// Appending revisions and signing through the library alone: the refusals that must leave the
// file as it was, the placeholders' places and widths, and where the signature field's changes
// go. Independent readers check the files in tests/revision/posix/signing_tools_test.cpp.
#include "vantril/revision.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "revision/latest_trailer.hpp"
#include "vantril/model.hpp"
#include "vantril/signature.hpp"
#include "vantril/writer.hpp"
#include "writer/writer_test_support.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::fresh_directory;
using testing_support::has_message;
using testing_support::read_file;

void write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// The page (1), its content (2), the page tree (3) and the catalog (4).
Document small_document(XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId page = reserve_id(document);
  const ObjectId content = append_object(document, make_stream(Dictionary(), "BT ET"));
  const ObjectId pages = append_object(
      document,
      Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", make_array(page)}, {"Count", 1}}));
  put_object(document, page,
             Dictionary::from_pairs({{"Type", Name("Page")},
                                     {"Parent", pages},
                                     {"MediaBox", make_array(0, 0, 595, 842)},
                                     {"Contents", content}}));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", pages},
                                                       })));
  return document;
}

constexpr ObjectId page_id{1, 0};
constexpr ObjectId content_id{2, 0};
constexpr ObjectId catalog_id{4, 0};

SignatureRequest request_of(std::size_t contents_size) {
  SignatureRequest request;
  request.signing_time = literal_string("D:20260101000000Z");
  request.contents_size = contents_size;
  return request;
}

struct Signable {
  fs::path path;
  Document document;
  PendingSignature pending;
  // The file as append_signature found it.
  std::string before;
  SignatureField field;
};

Signable pending_signature(const std::string& name, XrefForm form, std::size_t contents_size) {
  Signable made{fresh_directory(name) / "file.pdf", small_document(form), {}, {}, {}};
  Result<RevisionState> saved = save_revisable(made.document, made.path.string());
  EXPECT_TRUE(saved.ok());
  made.before = read_file(made.path);
  Result<SignatureField> field =
      add_signature_field(made.document, saved.value(), page_id, literal_string("Signature1"));
  EXPECT_TRUE(field.ok());
  made.field = field.value();
  Result<PendingSignature> pending = append_signature(
      made.document, made.path.string(), saved.value(), field.value(), request_of(contents_size));
  EXPECT_TRUE(pending.ok()) << debug_form(pending.error());
  if (pending.ok()) made.pending = pending.value();
  return made;
}

TEST(AppendRevision, RefusesAFileChangedSinceItsState) {
  struct Case {
    const char* name;
    std::function<std::string(std::string)> change;
  };
  const Case cases[] = {
      {"grown", [](std::string bytes) { return bytes + "\n"; }},
      {"cut", [](std::string bytes) { return bytes.substr(0, bytes.size() - 1); }},
      {"last byte", [](std::string bytes) { return bytes.back() = 'G', bytes; }},
      {"first byte", [](std::string bytes) { return bytes[0] = '!', bytes; }},
  };
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const fs::path path = fresh_directory("changed") / "file.pdf";
      Document document = small_document(form);
      Result<RevisionState> saved = save_revisable(document, path.string());
      ASSERT_TRUE(saved.ok());
      // A file this small lies within the bytes the state keeps: every byte is checked.
      ASSERT_LE(saved.value().file_length, RevisionState::tail_capacity);
      const std::string changed = c.change(read_file(path));
      write_file(path, changed);
      const ObjectId ids[] = {content_id};
      Result<RevisionState> appended =
          append_revision(document, path.string(), saved.value(), {}, ids);
      ASSERT_FALSE(appended.ok());
      EXPECT_EQ(kind_of(appended.error()), IoErrorKind::InvalidData);
      EXPECT_EQ(read_file(path), changed) << "nothing may be written";
    }
  }
}

TEST(AppendRevision, RefusesWhatItCannotWrite) {
  const fs::path path = fresh_directory("cannot") / "file.pdf";
  Document document = small_document(XrefForm::XrefStreamForm);
  Result<RevisionState> saved = save_revisable(document, path.string());
  ASSERT_TRUE(saved.ok());
  const std::string before = read_file(path);

  const ObjectId missing[] = {ObjectId{99, 0}};
  Result<RevisionState> refused = append_revision(document, path.string(), saved.value(), missing);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidInput);

  document.trailer.set("Info", 5);
  const ObjectId ids[] = {content_id};
  refused = append_revision(document, path.string(), saved.value(), {}, ids);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidInput);
  EXPECT_EQ(read_file(path), before);

  document.trailer.remove("Info");
  // A state whose cross-reference offset points elsewhere describes another file.
  for (const std::uint64_t offset : {std::uint64_t{9}, saved.value().file_length}) {
    RevisionState elsewhere = saved.value();
    elsewhere.xref_offset = offset;
    refused = append_revision(document, path.string(), elsewhere, {}, ids);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidData);
  }
  RevisionState other_form = saved.value();
  other_form.form = XrefForm::XrefTableForm;
  refused = append_revision(document, path.string(), other_form, {}, ids);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidData);
  EXPECT_EQ(read_file(path), before);

  refused = append_revision(document, (path.parent_path() / "absent.pdf").string(), saved.value(),
                            {}, ids);
  ASSERT_FALSE(refused.ok());
  EXPECT_EQ(kind_of(refused.error()), IoErrorKind::NotFound);
}

// Each revision's state describes the file exactly, its section lies where it says, and the next
// section points back to it; numbers grow past every cross-reference stream.
TEST(AppendRevision, ChainsDescribeTheirFiles) {
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    const fs::path path = fresh_directory("chain") / "file.pdf";
    Document document = small_document(form);
    Result<RevisionState> state = save_revisable(document, path.string());
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state.value().root, (ObjectId{4, 0}));
    for (int revision = 1; revision <= 3; ++revision) {
      const RevisionState previous = state.value();
      const ObjectId added = append_object(document, Dictionary::from_pairs({{"N", revision}}));
      EXPECT_GT(added.number, previous.highest_number);
      const ObjectId added_ids[] = {added};
      const ObjectId replaced_ids[] = {content_id};
      state = append_revision(document, path.string(), previous, added_ids, replaced_ids);
      ASSERT_TRUE(state.ok()) << debug_form(state.error());
      const std::string bytes = read_file(path);
      const RevisionState& now = state.value();
      EXPECT_EQ(now.file_length, bytes.size());
      EXPECT_EQ(now.tail,
                bytes.substr(bytes.size() - std::min(bytes.size(), RevisionState::tail_capacity)));
      EXPECT_TRUE(bytes.ends_with("\nstartxref\n" + std::to_string(now.xref_offset) + "\n%%EOF"));
      const std::string section = bytes.substr(now.xref_offset);
      EXPECT_TRUE(section.starts_with(form == XrefForm::XrefTableForm
                                          ? std::string("xref\n2 1\n")
                                          : std::to_string(now.highest_number) + " 0 obj\n"));
      EXPECT_NE(section.find("/Prev " + std::to_string(previous.xref_offset)), std::string::npos);
      EXPECT_NE(section.find("/Size " + std::to_string(now.highest_number + 1)), std::string::npos);
      EXPECT_NE(section.find("/Root 4 0 R"), std::string::npos);
      EXPECT_EQ(document.highest_number, now.highest_number);
    }
  }
}

// A document made to extend a file holds only the objects it changes, under their numbers in
// the file, so its own highest_number is below the file's. Whatever it draws lands above the
// file's numbers, and a held number is written only when the caller says it replaces.
TEST(AppendRevision, NeverReusesANumberTheFileHolds) {
  struct Case {
    const char* name;
    // Adds to `signer` what the revision writes; returns the identifiers listed as changed and
    // as replaced.
    std::function<std::pair<std::vector<ObjectId>, std::vector<ObjectId>>(
        Document& signer, const RevisionState& state)>
        prepare;
    bool refused;
    bool signed_revision = false;
  };
  const Case cases[] = {
      {"drawn before adopting the state",
       [](Document& signer, const RevisionState&) {
         const ObjectId added = append_object(signer, Dictionary::from_pairs({{"New", true}}));
         return std::pair{std::vector{added}, std::vector<ObjectId>{}};
       },
       true},
      {"drawn after adopting the state",
       [](Document& signer, const RevisionState& state) {
         adopt_revision_state(signer, state);
         const ObjectId added = append_object(signer, Dictionary::from_pairs({{"New", true}}));
         return std::pair{std::vector{added, page_id}, std::vector{page_id}};
       },
       false},
      {"a held number listed as replaced",
       [](Document& signer, const RevisionState&) {
         put_object(signer, content_id, make_stream(Dictionary(), "BT ET"));
         return std::pair{std::vector{content_id}, std::vector{content_id}};
       },
       false},
      {"a held number listed only as changed",
       [](Document&, const RevisionState&) {
         return std::pair{std::vector{page_id}, std::vector<ObjectId>{}};
       },
       true},
      // Signed: the field and the signature dictionary are drawn by the signing calls.
      {"a signature field and its signature",
       [](Document&, const RevisionState&) {
         return std::pair{std::vector<ObjectId>{}, std::vector<ObjectId>{}};
       },
       false, true},
  };
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const fs::path path = fresh_directory("held") / "file.pdf";
      Document saved_document = small_document(form);
      for (int extra = 0; extra < 4; ++extra) {
        append_object(saved_document, Dictionary::from_pairs({{"Extra", extra}}));
      }
      Result<RevisionState> saved = save_revisable(saved_document, path.string());
      ASSERT_TRUE(saved.ok());
      const std::string before = read_file(path);
      Document signer = create_versioned("1.7");
      for (const ObjectId id : {page_id, catalog_id}) {
        put_object(signer, id, clone(saved_document.object_table.find(id)->second));
      }
      signer.trailer.set("Root", catalog_id);
      ASSERT_LT(signer.highest_number, saved.value().highest_number);

      auto [changed, replaced] = c.prepare(signer, saved.value());
      Result<RevisionState> appended = RevisionState{};
      if (c.signed_revision) {
        Result<SignatureField> field =
            add_signature_field(signer, saved.value(), page_id, literal_string("T"));
        ASSERT_TRUE(field.ok());
        replaced = field.value().replaced;
        Result<PendingSignature> pending =
            append_signature(signer, path.string(), saved.value(), field.value(), request_of(8));
        ASSERT_TRUE(pending.ok()) << debug_form(pending.error());
        appended = pending.value().state;
      } else {
        appended = append_revision(signer, path.string(), saved.value(), changed, replaced);
      }
      if (c.refused) {
        ASSERT_FALSE(appended.ok());
        EXPECT_EQ(kind_of(appended.error()), IoErrorKind::InvalidInput);
        EXPECT_EQ(read_file(path), before);
        continue;
      }
      ASSERT_TRUE(appended.ok()) << debug_form(appended.error());
      // Every object the revision holds is new to the file or one the caller meant to replace.
      const std::string revision = read_file(path).substr(before.size());
      const std::regex header(R"((\d+) 0 obj)");
      for (auto it = std::sregex_iterator(revision.begin(), revision.end(), header);
           it != std::sregex_iterator(); ++it) {
        const auto number = static_cast<std::uint32_t>(std::stoul((*it)[1]));
        const bool meant =
            std::find(replaced.begin(), replaced.end(), ObjectId{number, 0}) != replaced.end();
        EXPECT_TRUE(number > saved.value().highest_number || meant) << number;
      }
      EXPECT_GE(signer.highest_number, appended.value().highest_number);
    }
  }
}

// The refusal of encrypted files rests on this reading of the latest trailer.
TEST(LatestTrailer, SeesEncryptOnlyAsANameOfTheDictionary) {
  struct Case {
    std::string_view bytes;
    std::optional<bool> names_encrypt;  // std::nullopt: no whole dictionary
  };
  const Case cases[] = {
      {"<</Size 5/Root 1 0 R>>", false},
      {"<</Size 5/Encrypt 7 0 R/Root 1 0 R>>", true},
      {"<< /Size 5 /Encr#79pt 7 0 R >>", true},
      {"<</Size 5/Encrypt<</Filter/Standard/V 5>>>>", true},
      {"<</A<</B[1 2]>>/Encrypt 2 0 R>>", true},
      {"<</Size 5/EncryptMetadata false/Encrypt#>>", false},
      {"<</Size 5/ID[(/Encrypt)<2F456E6372797074>]>>", false},
      {"<</Size 5/ID[(a\\)/Encrypt) (\\(/Encrypt\\))]>>", false},
      {"<</Size 5/Info 2 0 R % /Encrypt 7 0 R\n/Root 1 0 R>>", false},
      {"<</Size 5/Length 8>>stream\n/Encrypt", false},
      {"<</Size 5/Root 1 0 R", std::nullopt},
      {"<</Size 5/ID[(open>>]>>", std::nullopt},
      {"<</Size 5/ID[<41>>", std::nullopt},
      {"trailer <</Size 5>>", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(dictionary_names_key(c.bytes, 0, "Encrypt"), c.names_encrypt);
  }
}

// A file whose trailer says it is encrypted gets no plain revision, whether the document knows
// it or only the file does.
TEST(AppendRevision, RefusesEncryptedFiles) {
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (const bool document_knows : {true, false}) {
      SCOPED_TRACE(document_knows ? "in the document" : "in the file only");
      const fs::path path = fresh_directory("encrypted") / "file.pdf";
      Document document = small_document(form);
      const ObjectId handler = append_object(
          document, Dictionary::from_pairs({{"Filter", Name("Standard")}, {"V", 5}, {"R", 6}}));
      document.trailer.set("Encrypt", handler);
      Result<RevisionState> saved = save_revisable(document, path.string());
      ASSERT_TRUE(saved.ok());
      const std::string before = read_file(path);
      if (!document_knows) document.trailer.remove("Encrypt");
      const ObjectId ids[] = {content_id};
      Result<RevisionState> refused =
          append_revision(document, path.string(), saved.value(), {}, ids);
      ASSERT_FALSE(refused.ok());
      EXPECT_EQ(kind_of(refused.error()), IoErrorKind::Unsupported) << debug_form(refused.error());
      Result<SignatureField> field =
          add_signature_field(document, saved.value(), page_id, literal_string("S"));
      ASSERT_TRUE(field.ok());
      Result<PendingSignature> pending =
          append_signature(document, path.string(), saved.value(), field.value(), request_of(8));
      ASSERT_FALSE(pending.ok());
      EXPECT_EQ(kind_of(pending.error()), IoErrorKind::Unsupported);
      EXPECT_EQ(read_file(path), before);
    }
  }
}

TEST(Signature, PlaceholdersLieWhereTheRangesSay) {
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    Signable made = pending_signature("ranges", form, 100);
    const PendingSignature& pending = made.pending;
    const std::string bytes = read_file(made.path);
    EXPECT_EQ(pending.state.file_length, bytes.size());
    EXPECT_EQ(pending.byte_range[0], 0u);
    EXPECT_EQ(pending.byte_range[1], pending.contents_offset);
    EXPECT_EQ(pending.byte_range[2], pending.contents_offset + 202);
    EXPECT_EQ(pending.byte_range[2] + pending.byte_range[3], bytes.size());
    // Appended piece by piece: g++ 12 at -O3 warns falsely about "<" + std::string.
    std::string reserved = "<";
    reserved.append(200, '0').append(">");
    EXPECT_EQ(bytes.substr(pending.contents_offset, 202), reserved);
    // The patched range: the same 36 bytes a placeholder takes, numbers and then padding.
    const std::size_t at = bytes.find("/ByteRange[");
    ASSERT_NE(at, std::string::npos);
    const std::string range = "[0 " + std::to_string(pending.byte_range[1]) + " " +
                              std::to_string(pending.byte_range[2]) + " " +
                              std::to_string(pending.byte_range[3]);
    EXPECT_EQ(bytes.substr(at + 10, 36), range + std::string(35 - range.size(), ' ') + "]");
    EXPECT_EQ(bytes.substr(at + 46, 10), "/Contents<");

    std::string streamed;
    ASSERT_TRUE(read_signed_bytes(made.path.string(), pending, [&](std::string_view piece) {
                  streamed += piece;
                  return Status{};
                }).ok());
    EXPECT_EQ(streamed,
              bytes.substr(0, pending.contents_offset) + bytes.substr(pending.byte_range[2]));

    const std::string der("\x30\x03\xAB\x00\xFF", 5);
    Result<RevisionState> signed_state = write_signature(made.path.string(), pending, der);
    ASSERT_TRUE(signed_state.ok());
    const std::string after = read_file(made.path);
    EXPECT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after.substr(pending.contents_offset, 202),
              "<3003AB00FF" + std::string(190, '0') + ">");
    EXPECT_EQ(after.substr(0, pending.contents_offset), bytes.substr(0, pending.contents_offset));
    EXPECT_EQ(signed_state.value().tail, after.substr(after.size() - RevisionState::tail_capacity));
  }
}

// A signature that cannot go in takes its revision back: the file is the one append_signature
// was given, and signing again from the earlier state works.
TEST(Signature, ARefusedSignatureTakesItsRevisionBack) {
  struct Case {
    const char* name;
    std::string der;
    const char* message;
  };
  const Case cases[] = {
      {"too large", std::string(17, 'x'),
       "the signature is larger than the space reserved for it; the signature's revision was "
       "taken back"},
      {"empty", "", "the signature is empty; the signature's revision was taken back"},
  };
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Signable made = pending_signature("refused", form, 16);
      const std::string path = made.path.string();
      Result<RevisionState> refused = write_signature(path, made.pending, c.der);
      ASSERT_FALSE(refused.ok());
      EXPECT_TRUE(has_message(refused.error(), IoErrorKind::InvalidInput, c.message))
          << debug_form(refused.error());
      EXPECT_EQ(read_file(made.path), made.before);

      // The pending signature is gone; the earlier state describes the file again, and the
      // same field is signed with a larger reservation.
      refused = write_signature(path, made.pending, "y");
      ASSERT_FALSE(refused.ok());
      EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidData);
      Result<PendingSignature> again =
          append_signature(made.document, path, made.pending.previous, made.field, request_of(17));
      ASSERT_TRUE(again.ok()) << debug_form(again.error());
      EXPECT_TRUE(write_signature(path, again.value(), c.der.empty() ? "y" : c.der).ok());
    }
  }
}

TEST(Signature, RefusalsOfAnotherFileChangeNothing) {
  Signable made = pending_signature("refusals", XrefForm::XrefStreamForm, 16);
  const std::string path = made.path.string();
  // A signature that fits goes in; a second one finds no empty reservation, and a refused one
  // does not take a signed revision back.
  ASSERT_TRUE(write_signature(path, made.pending, std::string(16, 'x')).ok());
  const std::string signed_bytes = read_file(made.path);
  PendingSignature stale = made.pending;
  stale.state.tail = signed_bytes.substr(signed_bytes.size() - RevisionState::tail_capacity);
  for (const std::string& der : {std::string("y"), std::string(17, 'y')}) {
    Result<RevisionState> refused = write_signature(path, stale, der);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidData);
    // The state from before signing no longer describes the file: its reservation changed.
    refused = write_signature(path, made.pending, der);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidData);
  }
  EXPECT_EQ(read_file(made.path), signed_bytes);
}

// cancel_signature restores the file before append_signature, and only from the file it made.
TEST(Signature, CancelTakesBackOnlyItsOwnPendingRevision) {
  struct Case {
    const char* name;
    std::function<void(Signable&)> change;  // what happens to the file (or the pending) first
    bool taken_back;
  };
  const Case cases[] = {
      {"pending", [](Signable&) {}, true},
      {"grown", [](Signable& m) { write_file(m.path, read_file(m.path) + "\n"); }, false},
      {"signed", [](Signable& m) { (void)write_signature(m.path.string(), m.pending, "z"); },
       false},
      {"another earlier file", [](Signable& m) { m.pending.previous.tail.back() = 'x'; }, false},
      {"an earlier state not shorter", [](Signable& m) { m.pending.previous = m.pending.state; },
       false},
  };
  for (const XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      Signable made = pending_signature("cancel", form, 64);
      c.change(made);
      const std::string changed = read_file(made.path);
      const Status cancelled = cancel_signature(made.path.string(), made.pending);
      if (c.taken_back) {
        ASSERT_TRUE(cancelled.ok()) << debug_form(cancelled.error());
        EXPECT_EQ(read_file(made.path), made.before);
      } else {
        ASSERT_FALSE(cancelled.ok());
        EXPECT_EQ(kind_of(cancelled.error()), IoErrorKind::InvalidData);
        EXPECT_EQ(read_file(made.path), changed);
      }
    }
  }
}

TEST(Signature, RefusesARequestItCannotHonourBeforeWriting) {
  const fs::path path = fresh_directory("reservation") / "file.pdf";
  Document document = small_document(XrefForm::XrefTableForm);
  Result<RevisionState> saved = save_revisable(document, path.string());
  ASSERT_TRUE(saved.ok());
  Result<SignatureField> field =
      add_signature_field(document, saved.value(), page_id, literal_string("S"));
  ASSERT_TRUE(field.ok());
  SignatureRequest undated = request_of(10);
  undated.signing_time = literal_string("");
  for (const SignatureRequest& request :
       {request_of(0), request_of(SignatureRequest::max_contents_size + 1), undated}) {
    Result<PendingSignature> refused =
        append_signature(document, path.string(), saved.value(), field.value(), request);
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(kind_of(refused.error()), IoErrorKind::InvalidInput);
  }
  EXPECT_EQ(read_file(path).size(), saved.value().file_length);
}

// Where /Annots, /AcroForm and /Fields live decides which objects the field changes; entries of
// the wrong kind are refused with the document untouched.
TEST(SignatureField, ChangesTheObjectsThatHoldItsEntries) {
  struct Case {
    const char* name;
    std::function<void(Document&)> prepare;
    std::vector<ObjectId> changed;  // besides the field itself
    bool refused;
  };
  const Case cases[] = {
      {"nothing yet", [](Document&) {}, {page_id, catalog_id}, false},
      {"direct arrays",
       [](Document& d) {
         d.object_table.find(page_id)->second.dictionary()->set("Annots", Array{});
         d.object_table.find(catalog_id)
             ->second.dictionary()
             ->set("AcroForm", Dictionary::from_pairs({{"Fields", Array{}}}));
       },
       {page_id, catalog_id},
       false},
      {"indirect everything",
       [](Document& d) {
         const ObjectId annots = append_object(d, Array{});
         const ObjectId fields = append_object(d, Array{});
         const ObjectId form = append_object(d, Dictionary::from_pairs({{"Fields", fields}}));
         d.object_table.find(page_id)->second.dictionary()->set("Annots", annots);
         d.object_table.find(catalog_id)->second.dictionary()->set("AcroForm", form);
       },
       {ObjectId{5, 0}, ObjectId{6, 0}, ObjectId{7, 0}},
       false},
      {"annots of the wrong kind",
       [](Document& d) { d.object_table.find(page_id)->second.dictionary()->set("Annots", 3); },
       {},
       true},
      {"fields naming no object",
       [](Document& d) {
         d.object_table.find(catalog_id)
             ->second.dictionary()
             ->set("AcroForm", Dictionary::from_pairs({{"Fields", ObjectId{40, 0}}}));
       },
       {},
       true},
      {"no catalog", [](Document& d) { d.trailer.remove("Root"); }, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Document document = small_document(XrefForm::XrefStreamForm);
    c.prepare(document);
    const std::uint32_t highest = document.highest_number;
    Result<SignatureField> field =
        add_signature_field(document, RevisionState{}, page_id, literal_string("F"));
    if (c.refused) {
      ASSERT_FALSE(field.ok());
      EXPECT_EQ(kind_of(field.error()), IoErrorKind::InvalidInput);
      EXPECT_EQ(document.highest_number, highest);
      continue;
    }
    ASSERT_TRUE(field.ok());
    // The objects that were there are replaced; the field alone is new.
    const auto once = [](std::vector<ObjectId> ids) {
      std::sort(ids.begin(), ids.end());
      ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
      return ids;
    };
    EXPECT_EQ(once(field.value().replaced), once(c.changed));
    std::vector<ObjectId> expected = c.changed;
    expected.push_back(field.value().field);
    EXPECT_EQ(once(field.value().changed), once(expected));
  }
}

TEST(XrefStream, ListsObjectZeroOnlyWhenAsked) {
  for (const bool list_zero : {false, true}) {
    Document document = small_document(XrefForm::XrefStreamForm);
    document.xref_state.stream_lists_object_zero = list_zero;
    std::string bytes;
    CountingSink sink(bytes);
    ASSERT_TRUE(write_document(document, sink).ok());
    const std::size_t at = bytes.find("/Index[");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(bytes.substr(at, 13), list_zero ? "/Index[0 6]/L" : "/Index[1 5]/L");
    const std::size_t data = bytes.find("stream\n", at) + 7;
    EXPECT_EQ(bytes.substr(data, 7), list_zero ? std::string("\x00\x00\x00\x00\x00\xFF\xFF", 7)
                                               : std::string("\x01\x00\x00\x00\x09\x00\x00", 7));
  }
}

}  // namespace
}  // namespace vantril
