// Damaged files, derived at test time from sound ones (vantril's and qpdf's, both forms of
// cross-reference section, and files of several revisions): truncated, shifted, with a wrong
// startxref, without their section, with a wrong /Length, a /Prev loop, or numbers out of range.
// Each must give a clear error or a repaired read whose objects are libqpdf's where libqpdf
// recovers the file too; strict mode refuses every one; no property of the fuzz checks breaks.
// Sound variants (bytes before the header or after the last %%EOF, several %%EOF) read strictly.
//
// With VANTRIL_WRITE_FUZZ_CORPUS set to a directory, every input is also written there, for the
// fuzz targets' seed corpus.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../../fuzz/reader_checks.hpp"
#include "qpdf/qpdf_reader.hpp"
#include "qpdf/read_comparison.hpp"
#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "vantril/model.hpp"
#include "vantril/reader.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

using testing_support::quoted;
using testing_support::read_file;
using testing_support::run;

// Two pages, an information dictionary, a content stream long enough that a wrong /Length cuts
// into it, and a few objects of every kind.
Document base_document(XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  const ObjectId pages = reserve_id(document);
  const ObjectId font = append_object(document, Dictionary::from_pairs({
                                                    {"Type", Name("Font")},
                                                    {"Subtype", Name("Type1")},
                                                    {"BaseFont", Name("Helvetica")},
                                                }));
  Array kids;
  for (int page = 0; page < 2; ++page) {
    std::string text;
    for (int line = 0; line < 40; ++line) {
      text += "BT /F1 10 Tf 50 " + std::to_string(800 - 18 * line) + " Td (Page " +
              std::to_string(page) + ", line " + std::to_string(line) + ") Tj ET\n";
    }
    const ObjectId content = append_object(document, make_stream(Dictionary(), text));
    kids.push_back(append_object(
        document, Dictionary::from_pairs({
                      {"Type", Name("Page")},
                      {"Parent", pages},
                      {"MediaBox", make_array(0, 0, 595.5, 842)},
                      {"Contents", content},
                      {"Resources",
                       Dictionary::from_pairs({{"Font", Dictionary::from_pairs({{"F1", font}})}})},
                  })));
  }
  put_object(
      document, pages,
      Dictionary::from_pairs({{"Type", Name("Pages")}, {"Kids", std::move(kids)}, {"Count", 2}}));
  append_object(document, make_array(true, false, Null{}, -17, 0.25, hex_string("\x01\xff"),
                                     literal_string("(balanced) \\ \r\n")));
  document.trailer.set("Info", append_object(document, Dictionary::from_pairs({
                                                           {"Title", literal_string("Damaged")},
                                                       })));
  document.trailer.set("Root", append_object(document, Dictionary::from_pairs({
                                                           {"Type", Name("Catalog")},
                                                           {"Pages", pages},
                                                       })));
  return document;
}

std::string saved(XrefForm form, const SaveOptions& options = {}) {
  Document document = base_document(form);
  std::string file;
  CountingSink sink(file);
  EXPECT_TRUE(write_document(document, sink, options).ok());
  return file;
}

// Three revisions, each changing the first page's content; the first is padded so that every
// section starts at an offset of the same number of digits.
std::string revisions(XrefForm form, const fs::path& path) {
  Document document = base_document(form);
  append_object(document, make_stream(Dictionary(), std::string(12000, 'x')));
  Result<RevisionState> state = save_revisable(document, path.string());
  EXPECT_TRUE(state.ok());
  for (int revision = 1; revision <= 2 && state.ok(); ++revision) {
    const ObjectId content{3, 0};
    put_object(document, content,
               make_stream(Dictionary(), "BT /F1 24 Tf 100 700 Td (Revision " +
                                             std::to_string(revision) + ") Tj ET"));
    const std::vector<ObjectId> changed = {content};
    state = append_revision(document, path.string(), state.value(), changed, changed);
    EXPECT_TRUE(state.ok());
  }
  return read_file(path);
}

struct Sample {
  std::string name;
  std::string bytes;
};

// The values after each "startxref", in file order.
std::vector<std::pair<std::size_t, std::string>> startxref_values(const std::string& bytes) {
  std::vector<std::pair<std::size_t, std::string>> values;
  for (std::size_t at = bytes.find("startxref"); at != std::string::npos;
       at = bytes.find("startxref", at + 1)) {
    const std::size_t digits = bytes.find_first_of("0123456789", at);
    const std::size_t end = bytes.find_first_not_of("0123456789", digits);
    values.push_back({digits, bytes.substr(digits, end - digits)});
  }
  return values;
}

// The bytes with the digits after the first `key` found from `from` replaced by `value` (empty
// when the key is not there).
std::string with_value(const std::string& bytes, const std::string& key, const std::string& value,
                       std::size_t from = 0) {
  const std::size_t at = bytes.find(key, from);
  if (at == std::string::npos) return {};
  const std::size_t digits = bytes.find_first_not_of(" \r\n", at + key.size());
  const std::size_t end = bytes.find_first_not_of("0123456789", digits);
  if (end == digits) return {};
  std::string changed = bytes;
  changed.replace(digits, end - digits, value);
  return changed;
}

// A value of `digits` made the width of `like` with leading zeros where it is shorter.
std::string padded(std::string digits, const std::string& like) {
  if (digits.size() < like.size()) digits.insert(0, like.size() - digits.size(), '0');
  return digits;
}

// Every damage of the table, applied to one sound file.
std::vector<Sample> damaged(const Sample& sound) {
  const std::string& bytes = sound.bytes;
  std::vector<Sample> out;
  const auto add = [&](const std::string& what, std::string changed) {
    if (!changed.empty() && changed != bytes) out.push_back({sound.name + ": " + what, changed});
  };
  const std::size_t eof = bytes.rfind("%%EOF");
  // Truncated every 1/50 of the file, and at 25 points from the last section on.
  for (std::size_t k = 1; k < 50; ++k) {
    add("truncated at " + std::to_string(k) + "/50", bytes.substr(0, bytes.size() * k / 50));
  }
  const auto last_startxref = startxref_values(bytes).back();
  const std::size_t section = std::stoul(last_startxref.second);
  for (std::size_t k = 0; k < 25; ++k) {
    const std::size_t at = section + (eof - section) * k / 25;
    add("truncated at " + std::to_string(at) + " in the last section", bytes.substr(0, at));
  }
  add("truncated inside %%EOF", bytes.substr(0, eof + 3));
  // Offsets shifted: bytes inserted between two objects in the middle, and after the header.
  const std::size_t middle = bytes.find("endobj", bytes.size() / 2);
  if (middle != std::string::npos && middle < section) {
    add("shifted in the middle", std::string(bytes).insert(middle + 7, "% shifted\n"));
  }
  add("shifted after the header",
      std::string(bytes).insert(bytes.find('\n') + 1, "% 21 bytes of comment\n"));
  add("shifted by a blank line inside an object",
      std::string(bytes).insert(bytes.find(" obj", bytes.size() / 3) + 4, "\n\n\n"));
  // A wrong startxref.
  for (const long delta : {-5L, 5L}) {
    add("startxref " + std::to_string(delta),
        std::string(bytes).replace(last_startxref.first, last_startxref.second.size(),
                                   std::to_string(static_cast<long>(section) + delta)));
  }
  add("startxref 0",
      std::string(bytes).replace(last_startxref.first, last_startxref.second.size(), "0"));
  add("startxref past the end",
      std::string(bytes).replace(last_startxref.first, last_startxref.second.size(),
                                 "99999999999999999999999"));
  add("startxref without a number",
      std::string(bytes).erase(last_startxref.first, last_startxref.second.size()));
  // The last section removed: a table up to its trailer, a stream as the whole object.
  if (bytes.compare(section, 4, "xref") == 0) {
    const std::size_t trailer = bytes.find("trailer", section);
    add("table removed", std::string(bytes).erase(section, trailer - section));
    add("table and trailer removed",
        std::string(bytes).erase(section, last_startxref.first - 10 - section));
  } else {
    const std::size_t end = bytes.find("endobj", section);
    add("cross-reference stream removed", std::string(bytes).erase(section, end + 6 - section));
    add("cross-reference stream overwritten",
        std::string(bytes).replace(section, end + 6 - section,
                                   std::string(end + 6 - section, ' ')));
  }
  // A wrong /Length on the first stream whose length is given directly.
  for (std::size_t at = bytes.find("/Length "); at != std::string::npos;
       at = bytes.find("/Length ", at + 1)) {
    const std::size_t digits = at + 8;
    const std::size_t end = bytes.find_first_not_of("0123456789", digits);
    if (end == digits || bytes.compare(end, 4, " 0 R") == 0) continue;
    const std::string length = bytes.substr(digits, end - digits);
    const long value = std::stol(length);
    if (value < 20) continue;
    // The stream's length as a reference to the stream itself, and to an object not there.
    const std::size_t header = bytes.rfind(" 0 obj", at);
    const std::size_t line = bytes.rfind('\n', header) + 1;
    add("/Length naming its own stream",
        std::string(bytes).replace(digits, length.size(),
                                   bytes.substr(line, header - line) + " 0 R"));
    add("/Length naming a missing object",
        std::string(bytes).replace(digits, length.size(), "9999 0 R"));
    for (const long delta : {-9L, 9L, 100000L}) {
      add("/Length " + std::to_string(delta),
          std::string(bytes).replace(digits, length.size(),
                                     padded(std::to_string(value + delta), length)));
    }
    break;
  }
  // Numbers out of range: an object's number, the declared size, a table's subsection.
  const std::size_t object = bytes.find(" 0 obj", bytes.size() / 3);
  const std::size_t number = bytes.rfind('\n', object) + 1;
  add("object number 99999999", std::string(bytes).replace(number, object - number, "99999999"));
  add("object number 2^64",
      std::string(bytes).replace(number, object - number, "18446744073709551616"));
  add("/Size 2^31", with_value(bytes, "/Size", "2147483648", section));
  add("/Size -1", with_value(bytes, "/Size", "-1", section));
  if (bytes.compare(section, 4, "xref") == 0) {
    add("subsection at 2^32", with_value(bytes, "xref", "4294967296", section));
    add("subsection of 2^31 entries",
        std::string(bytes).replace(
            bytes.find(' ', section + 5) + 1,
            bytes.find_first_of("\r\n", section + 5) - bytes.find(' ', section + 5) - 1,
            "2147483647"));
  } else {
    add("/Index at 2^31", with_value(bytes, "/Index[", "2147483647", section));
    add("/W of 2^20 bytes", with_value(bytes, "/W[", "1048576", section));
  }
  return out;
}

// The /Prev loops of a file of three revisions: the last section naming itself, the middle one
// naming itself, and the middle one naming the last.
std::vector<Sample> prev_loops(const Sample& sound) {
  std::vector<Sample> out;
  const auto starts = startxref_values(sound.bytes);
  if (starts.size() != 3) {
    ADD_FAILURE() << sound.name << " has " << starts.size() << " revisions";
    return out;
  }
  const std::size_t last_prev = sound.bytes.rfind("/Prev");
  const std::size_t middle_prev = sound.bytes.find("/Prev");
  const auto prev_value = [&](std::size_t at) {
    const std::size_t digits = sound.bytes.find_first_of("0123456789", at);
    return sound.bytes.substr(digits, sound.bytes.find_first_not_of("0123456789", digits) - digits);
  };
  out.push_back({sound.name + ": last /Prev names itself",
                 with_value(sound.bytes, "/Prev", starts[2].second, last_prev)});
  out.push_back({sound.name + ": middle /Prev names itself",
                 with_value(sound.bytes, "/Prev", padded(starts[1].second, prev_value(middle_prev)),
                            middle_prev)});
  out.push_back({sound.name + ": middle /Prev names the last",
                 with_value(sound.bytes, "/Prev", padded(starts[2].second, prev_value(middle_prev)),
                            middle_prev)});
  // Not loops, but as wrong: past the end of the file, and negative.
  const std::size_t end = sound.bytes.size();
  out.push_back({sound.name + ": last /Prev past the end",
                 with_value(sound.bytes, "/Prev", std::to_string(end * 10), last_prev)});
  out.push_back(
      {sound.name + ": last /Prev negative", with_value(sound.bytes, "/Prev", "-1", last_prev)});
  for (std::size_t i = 0; i < 3; ++i) {
    const Sample& sample = out[i];
    EXPECT_EQ(sample.bytes.size(), sound.bytes.size())
        << sample.name << ": the loop moved the sections";
  }
  return out;
}

class DamagedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    directory_ = testing_support::fresh_directory("damaged-read");
    SaveOptions compact;
    compact.compression_level = 6;
    compact.object_streams = true;
    sound_ = {
        {"vantril table", saved(XrefForm::XrefTableForm)},
        {"vantril stream", saved(XrefForm::XrefStreamForm)},
        {"vantril compact", saved(XrefForm::XrefStreamForm, compact)},
    };
    const fs::path table = directory_ / "table.pdf";
    std::ofstream(table, std::ios::binary) << sound_[0].bytes;
    for (const auto& [name, options] : std::vector<std::pair<std::string, std::string>>{
             {"qpdf table", ""}, {"qpdf object streams", "--object-streams=generate"}}) {
      const fs::path out = directory_ / (options.empty() ? "qpdf.pdf" : "qpdf_objstm.pdf");
      EXPECT_EQ(run("qpdf " + options + " " + quoted(table) + " " + quoted(out)).exit_status, 0);
      sound_.push_back({name, read_file(out)});
    }
    revisions_ = {
        {"revisions table", revisions(XrefForm::XrefTableForm, directory_ / "rev_table.pdf")},
        {"revisions stream", revisions(XrefForm::XrefStreamForm, directory_ / "rev_stream.pdf")},
    };
  }

  // VANTRIL_KEEP_TEST_FILES keeps the files made, to look at after a failure.
  static void TearDownTestSuite() {
    if (std::getenv("VANTRIL_KEEP_TEST_FILES") != nullptr) return;
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  static fs::path directory_;
  static std::vector<Sample> sound_;
  static std::vector<Sample> revisions_;
};

fs::path DamagedFiles::directory_;
std::vector<Sample> DamagedFiles::sound_;
std::vector<Sample> DamagedFiles::revisions_;

// Written into the fuzz corpus directory when one is asked for.
void keep_for_fuzzing(const Sample& sample) {
  const char* corpus = std::getenv("VANTRIL_WRITE_FUZZ_CORPUS");
  if (corpus == nullptr) return;
  std::string leaf;
  for (const char c : sample.name) leaf += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  fs::create_directories(corpus);
  std::ofstream(fs::path(corpus) / (leaf + ".pdf"), std::ios::binary) << sample.bytes;
}

struct Outcome {
  int errors = 0;
  int repaired_as_qpdf = 0;
  int repaired_qpdf_refuses = 0;
};

void expect_damage_handled(const Sample& sample, Outcome& outcome) {
  SCOPED_TRACE(sample.name);
  keep_for_fuzzing(sample);
  Result<ReadFile> strict = read_pdf_bytes(sample.bytes, ReadOptions{.strict = true, .limits = {}});
  EXPECT_FALSE(strict.ok()) << "strict mode read a damaged file";
  if (!strict.ok()) {
    EXPECT_TRUE(kind_of(strict.error()) == IoErrorKind::InvalidData) << debug_form(strict.error());
  }
  Result<ReadFile> lenient = read_pdf_bytes(sample.bytes);
  if (!lenient.ok()) {
    ++outcome.errors;
    EXPECT_TRUE(kind_of(lenient.error()) == IoErrorKind::InvalidData)
        << debug_form(lenient.error());
    EXPECT_FALSE(debug_form(lenient.error()).empty());
  } else {
    EXPECT_FALSE(lenient.value().structure.repairs.empty()) << "read without a repair";
    const testing_support::ReadFile qpdf = testing_support::read_with_qpdf(sample.bytes, true);
    if (!qpdf.refusal.empty()) {
      ++outcome.repaired_qpdf_refuses;
    } else {
      ++outcome.repaired_as_qpdf;
      for (const std::string& difference :
           testing_support::qpdf_read_differences(lenient.value(), qpdf, true)) {
        ADD_FAILURE() << "against libqpdf's recovery: " << difference;
      }
    }
  }
  for (const std::string& violation : testing_support::reader_violations(sample.bytes)) {
    ADD_FAILURE() << violation;
  }
}

// The damage a sample's name describes, after its base's name.
std::string damage_of(const std::string& name) {
  const std::string what = name.substr(name.find(": ") + 2);
  const std::vector<std::pair<std::string, std::string>> kinds = {
      {"truncated", "Truncated"},
      {"shifted", "Shifted"},
      {"startxref", "WrongStartxref"},
      {"table", "SectionRemoved"},
      {"cross-reference", "SectionRemoved"},
      {"/Length", "WrongLength"},
      {"middle /Prev", "PrevLoop"},
      {"last /Prev", "PrevLoop"},
  };
  for (const auto& [prefix, kind] : kinds) {
    if (what.compare(0, prefix.size(), prefix) == 0) return kind;
  }
  return "NumbersOutOfRange";
}

class Damage : public DamagedFiles, public ::testing::WithParamInterface<std::string> {};

TEST_P(Damage, GivesAnErrorOrARepairedReadAsLibqpdfRecoversIt) {
  std::vector<Sample> samples;
  for (const Sample& sound : sound_) {
    keep_for_fuzzing(sound);
    for (Sample& sample : damaged(sound)) samples.push_back(std::move(sample));
  }
  for (const Sample& sound : revisions_) {
    keep_for_fuzzing(sound);
    for (Sample& sample : prev_loops(sound)) samples.push_back(std::move(sample));
  }
  Outcome outcome;
  std::size_t count = 0;
  for (const Sample& sample : samples) {
    if (damage_of(sample.name) != GetParam()) continue;
    ++count;
    expect_damage_handled(sample, outcome);
  }
  std::printf(
      "%zu inputs: %d errors, %d repaired as libqpdf recovers them, %d repaired where "
      "libqpdf gives up\n",
      count, outcome.errors, outcome.repaired_as_qpdf, outcome.repaired_qpdf_refuses);
  EXPECT_GE(count, 10u);
}

INSTANTIATE_TEST_SUITE_P(Kinds, Damage,
                         ::testing::Values("Truncated", "Shifted", "WrongStartxref",
                                           "SectionRemoved", "WrongLength", "PrevLoop",
                                           "NumbersOutOfRange"));

// The sound files themselves, and the variants of their ends and starts that are no damage.
TEST_F(DamagedFiles, SoundVariantsReadStrictlyAsLibqpdfReadsThem) {
  std::vector<Sample> all = sound_;
  all.insert(all.end(), revisions_.begin(), revisions_.end());
  for (const Sample& sound : all) {
    const std::string garbage = "\n% after the end \x01\x02\xff garbage\n";
    const std::vector<std::pair<Sample, std::uint64_t>> variants = {
        {sound, 0},
        // A line end right after %%EOF is the end's own.
        {{sound.name + " with bytes after %%EOF", sound.bytes + garbage},
         garbage.size() - (sound.bytes.back() == '\n' || sound.bytes.back() == '\r' ? 0 : 1)},
        {{sound.name + " with two %%EOF", sound.bytes + "\n%%EOF\n"}, 0},
        {{sound.name + " after 9 bytes of junk", "junk\n\r\t \n" + sound.bytes}, 0},
    };
    for (const auto& [variant, after_eof] : variants) {
      SCOPED_TRACE(variant.name);
      keep_for_fuzzing(variant);
      Result<ReadFile> read =
          read_pdf_bytes(variant.bytes, ReadOptions{.strict = true, .limits = {}});
      ASSERT_TRUE(read.ok()) << debug_form(read.error());
      EXPECT_EQ(read.value().structure.bytes_after_last_eof, after_eof);
      EXPECT_EQ(read.value().structure.header_offset, variant.bytes.find("%PDF-"));
      const testing_support::ReadFile qpdf = testing_support::read_with_qpdf(variant.bytes);
      for (const std::string& difference :
           testing_support::qpdf_read_differences(read.value(), qpdf)) {
        ADD_FAILURE() << difference;
      }
      for (const std::string& violation : testing_support::reader_violations(variant.bytes)) {
        ADD_FAILURE() << violation;
      }
      for (const std::string& violation : testing_support::reread_violations(variant.bytes)) {
        ADD_FAILURE() << violation;
      }
    }
  }
}

}  // namespace
}  // namespace vantril
