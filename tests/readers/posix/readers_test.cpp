// Independent PDF readers over the command's clean.pdf and over a corpus the library writes in
// both cross-reference forms: qpdf, poppler (pdfinfo, pdftotext), mupdf (mutool), pikepdf and
// pypdf in strict mode.
// Every file must be read without a single warning, as a one-page document. The corpus is also
// written compressed, with object streams, and with both.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "generator/random_document.hpp"
#include "support/posix/shell.hpp"
#include "vantril/model/document.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

using testing_support::quoted;
using testing_support::Ran;
using testing_support::run;

std::string all_bytes(int from) {
  std::string bytes;
  for (int byte = from; byte < 256; ++byte) bytes.push_back(static_cast<char>(byte));
  return bytes;
}

// The catalog (1), page tree (2), one page (3) with its content stream (4) showing `text` in
// Helvetica (5), and the trailer's "Root".
Document one_page(const std::string& text, XrefForm form) {
  Document document = create_versioned("1.7");
  document.xref_state.xref_form = form;
  append_object(document,
                Dictionary::from_pairs({{"Type", Name("Catalog")}, {"Pages", ObjectId{2, 0}}}));
  append_object(document,
                Dictionary::from_pairs(
                    {{"Type", Name("Pages")}, {"Kids", make_array(ObjectId{3, 0})}, {"Count", 1}}));
  append_object(
      document,
      Dictionary::from_pairs(
          {{"Type", Name("Page")},
           {"Parent", ObjectId{2, 0}},
           {"MediaBox", make_array(0, 0, 595, 842)},
           {"Contents", ObjectId{4, 0}},
           {"Resources", Dictionary::from_pairs(
                             {{"Font", Dictionary::from_pairs({{"F1", ObjectId{5, 0}}})}})}}));
  append_object(document, make_stream(Dictionary(), "BT /F1 12 Tf 72 720 Td (" + text + ") Tj ET"));
  append_object(document, Dictionary::from_pairs({{"Type", Name("Font")},
                                                  {"Subtype", Name("Type1")},
                                                  {"BaseFont", Name("Helvetica")}}));
  document.trailer.set("Root", ObjectId{1, 0});
  return document;
}

// Every kind, extremes and empty containers, in an array, a dictionary and a stream dictionary.
void add_every_kind(Document& document) {
  Array kinds =
      make_array(Null{}, true, false, std::numeric_limits<std::int64_t>::min(),
                 std::numeric_limits<std::int64_t>::max(), 0, 0.1f, -1.5f, -0.0f, 1e-7f,
                 123456789.0f, Name("A"), Name(""), literal_string("s"), hex_string("\x00\xAB"),
                 Array(), Dictionary(), ObjectId{4, 0}, literal_string(""), hex_string(""));
  append_object(document, Object(clone(Object(std::move(kinds)))));
  append_object(
      document,
      Dictionary::from_pairs(
          {{"Null", Null{}},
           {"Nested", Dictionary::from_pairs(
                          {{"Inner", Dictionary::from_pairs(
                                         {{"Deepest", make_array(make_array(make_array(1)))}})}})},
           {"Empty", Dictionary()},
           {"Ref", ObjectId{999, 0}}}));
  append_object(document,
                make_stream(Dictionary::from_pairs({{"Kinds", make_array(Null{}, 1, 2.5f, Name("N"),
                                                                         literal_string("(x)"))}}),
                            all_bytes(0)));
  append_object(document, 42);
  append_object(document, Name("Alone"));
  append_object(document, Null{});
  append_object(document, make_array(ObjectId{8, 0}, ObjectId{8, 0}));  // streams from an array
}

// Names and keys with every byte a name can carry, strings with every byte, and parentheses that
// balance, do not balance, or nest.
void add_every_byte(Document& document) {
  Dictionary keys;
  for (int byte = 1; byte < 256; ++byte) keys.set(std::string(1, static_cast<char>(byte)), byte);
  append_object(document, std::move(keys));
  Array names;
  for (int byte = 1; byte < 256; ++byte)
    names.emplace_back(Name(std::string(1, static_cast<char>(byte)) + "x"));
  // Every byte in three names: mupdf warns about names longer than 127 bytes, the limit readers
  // are allowed to have.
  const std::string every = all_bytes(1);
  for (std::size_t start = 0; start < every.size(); start += 85)
    names.emplace_back(Name(every.substr(start, 85)));
  append_object(document, std::move(names));
  append_object(document, literal_string(all_bytes(0)));
  append_object(document, hex_string(all_bytes(0)));
  append_object(document,
                make_array(literal_string("a(b)c"), literal_string("a)b"), literal_string("("),
                           literal_string(")("), literal_string("((a)"), literal_string(")()"),
                           literal_string("C:\\d"), literal_string("a\rb\nc\r\n"),
                           literal_string("((((deep))))")));
}

// Gaps, objects a save leaves out, and a number reserved at the top but never stored.
void add_gaps(Document& document) {
  const std::uint32_t base = document.highest_number;
  put_object(document, {base + 2, 0}, literal_string("after a gap"));
  put_object(document, {base + 3, 0}, Dictionary::from_pairs({{"Type", Name("XRef")}}));
  put_object(document, {base + 4, 0},
             make_stream(Dictionary::from_pairs({{"Type", Name("ObjStm")}}), "x"));
  put_object(document, {base + 5, 0}, Dictionary::from_pairs({{"Linearized", 1}}));
  put_object(document, {base + 7, 0}, make_array(1, 2));
  put_object(document, {base + 8, 0}, 8);
  put_object(document, {base + 11, 0}, Dictionary::from_pairs({{"Last", true}}));
  reserve_id(document);
}

// A 256 by 256 RGB gradient, the kind of image the PNG Up predictor is for.
void add_gradient_image(Document& document) {
  std::string samples;
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      samples += static_cast<char>(x);
      samples += static_cast<char>(y);
      samples += static_cast<char>((x + y) / 2);
    }
  }
  append_object(document, make_stream(Dictionary::from_pairs({{"Type", Name("XObject")},
                                                              {"Subtype", Name("Image")},
                                                              {"Width", 256},
                                                              {"Height", 256},
                                                              {"ColorSpace", Name("DeviceRGB")},
                                                              {"BitsPerComponent", 8}}),
                                      Bytes(samples)));
}

// The compact forms beside the plain ones: Flate in both cross-reference forms, object streams
// alone, and both with the image predictor.
struct CompactForm {
  const char* suffix;
  XrefForm form;
  SaveOptions options;
};
const CompactForm compact_forms[] = {
    {"-flate-stream", XrefForm::XrefStreamForm, SaveOptions{.compression_level = 6}},
    {"-flate-table", XrefForm::XrefTableForm, SaveOptions{.compression_level = 1}},
    {"-objstm", XrefForm::XrefStreamForm,
     SaveOptions{.object_streams = true, .objects_per_stream = 3}},
    {"-compact", XrefForm::XrefStreamForm,
     SaveOptions{.compression_level = 12,
                 .png_predictor_for_images = true,
                 .object_streams = true,
                 .objects_per_stream = 100}},
};

struct CorpusFile {
  fs::path path;
  std::string text;  // the line the page shows
};

class Readers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/vantril-readers-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    directory_ = new fs::path(pattern);
    corpus_ = new std::vector<CorpusFile>();
    // The command's own file.
    const Ran command = run("cd " + quoted(*directory_) + " && " + VANTRIL_BINARY_PATH);
    ASSERT_EQ(command.exit_status, 0) << command.output;
    corpus_->push_back({*directory_ / "clean.pdf", "Clean PDF Generated for Signing Test"});
    // The library's corpus, each in both forms.
    const std::pair<const char*, void (*)(Document&)> builders[] = {{"kinds", &add_every_kind},
                                                                    {"bytes", &add_every_byte},
                                                                    {"gaps", &add_gaps},
                                                                    {"image", &add_gradient_image}};
    for (const auto& [name, add] : builders) {
      for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
        const std::string stem =
            std::string(name) + (form == XrefForm::XrefStreamForm ? "-stream" : "-table");
        Document document = one_page("Corpus " + stem, form);
        add(document);
        save(document, stem);
      }
      if (!compression_available()) continue;
      for (const CompactForm& compact : compact_forms) {
        const std::string stem = std::string(name) + compact.suffix;
        Document document = one_page("Corpus " + stem, compact.form);
        add(document);
        save(document, stem, compact.options);
      }
    }
    // An Info dictionary stored one above the counter, with an object appended after it: neither
    // may share a number with the other or with a cross-reference stream.
    for (XrefForm form : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
      const std::string stem =
          std::string("above-") + (form == XrefForm::XrefStreamForm ? "stream" : "table");
      Document document = one_page("Corpus " + stem, form);
      const ObjectId info{document.highest_number + 1, 0};
      put_object(document, info, Dictionary::from_pairs({{"Title", literal_string(stem)}}));
      append_object(document, literal_string("appended"));
      reserve_id(document);  // reserved at the top, never stored
      document.trailer.set("Info", info);
      save(document, stem);
    }
    // The same document saved twice, in each order of the two forms: the second file must not
    // carry what the first save left in the document.
    for (XrefForm first : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
      for (XrefForm second : {XrefForm::XrefStreamForm, XrefForm::XrefTableForm}) {
        const auto name = [](XrefForm form) {
          return form == XrefForm::XrefStreamForm ? std::string("stream") : std::string("table");
        };
        const std::string stem = "resaved-" + name(first) + "-" + name(second);
        Document document = one_page("Corpus " + stem, first);
        add_gaps(document);
        save(document, stem + "-first");
        document.xref_state.xref_form = second;
        save(document, stem);
      }
    }
    // Random documents in both forms, and (stream form) compact.
    for (std::uint64_t seed = 0; seed < 8; ++seed) {
      const XrefForm form = seed % 2 == 0 ? XrefForm::XrefStreamForm : XrefForm::XrefTableForm;
      Document document = random_page(seed, form);
      save(document, "random-" + std::to_string(seed));
      if (!compression_available()) continue;
      for (const CompactForm& compact : compact_forms) {
        if (compact.form != XrefForm::XrefStreamForm) continue;
        Document again = random_page(seed, XrefForm::XrefStreamForm);
        save(again, "random-" + std::to_string(seed) + compact.suffix, compact.options);
      }
    }
  }

  // A random document with the one page as objects 1 to 5.
  static Document random_page(std::uint64_t seed, XrefForm form) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document document = testing_support::random_document(entropy);
    document.xref_state.xref_form = form;
    Document page = one_page("Corpus random " + std::to_string(seed), form);
    for (auto it = document.object_table.begin(); it != document.object_table.end();) {
      it = it->first.number <= 5 ? document.object_table.erase(it) : std::next(it);
    }
    for (std::uint32_t number = 1; number <= 5; ++number) {
      put_object(document, {number, 0}, std::move(page.object_table.at({number, 0})));
    }
    return document;
  }

  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*directory_, ignored);
    delete directory_;
    delete corpus_;
  }

  static void save(Document& document, const std::string& stem, const SaveOptions& options = {}) {
    const fs::path path = *directory_ / (stem + ".pdf");
    const Result<OutputFile> file = save_to_path(document, path.string(), options);
    ASSERT_TRUE(file.ok());
    const Object* content = document.object_table.at({4, 0}).stream() != nullptr
                                ? &document.object_table.at({4, 0})
                                : nullptr;
    ASSERT_NE(content, nullptr);
    const std::string data = content->stream()->data;
    const std::size_t open = data.find('(');
    corpus_->push_back({path, data.substr(open + 1, data.rfind(')') - open - 1)});
  }

  static fs::path* directory_;
  static std::vector<CorpusFile>* corpus_;
};

fs::path* Readers::directory_ = nullptr;
std::vector<CorpusFile>* Readers::corpus_ = nullptr;

// Fails the test when a reader is missing, rather than passing without it.
void require_tool(const std::string& tool) {
  ASSERT_EQ(run("command -v " + tool).exit_status, 0)
      << tool << " is missing: run `make test` as root to install the test tools";
}

TEST_F(Readers, QpdfChecksEveryFileWithoutWarnings) {
  require_tool("qpdf");
  for (const CorpusFile& file : *corpus_) {
    const Ran ran = run("qpdf --check " + quoted(file.path));
    EXPECT_EQ(ran.exit_status, 0) << file.path << "\n" << ran.output;
    EXPECT_NE(ran.output.find("No syntax or stream encoding errors found"), std::string::npos)
        << file.path << "\n"
        << ran.output;
  }
}

// poppler reports repairs on standard error ("Syntax Error", "Syntax Warning"); none may appear.
TEST_F(Readers, PopplerReadsOnePageAndItsText) {
  require_tool("pdfinfo");
  require_tool("pdftotext");
  for (const CorpusFile& file : *corpus_) {
    const Ran info = run("pdfinfo " + quoted(file.path));
    EXPECT_EQ(info.exit_status, 0) << file.path << "\n" << info.output;
    EXPECT_EQ(info.output.find("Syntax"), std::string::npos) << file.path << "\n" << info.output;
    EXPECT_NE(info.output.find("\nPages:           1\n"), std::string::npos) << file.path << "\n"
                                                                             << info.output;
    EXPECT_NE(info.output.find("\nPage size:       595 x 842 pts (A4)\n"), std::string::npos)
        << file.path << "\n"
        << info.output;
    const Ran text = run("pdftotext " + quoted(file.path) + " -");
    EXPECT_EQ(text.exit_status, 0) << file.path << "\n" << text.output;
    EXPECT_EQ(text.output, file.text + "\n\n\f") << file.path;
  }
}

// mupdf prints "warning:" or "error:" lines for anything it has to repair.
TEST_F(Readers, MupdfShowsEveryObjectWithoutComplaint) {
  require_tool("mutool");
  for (const CorpusFile& file : *corpus_) {
    const Ran info = run("mutool info " + quoted(file.path));
    EXPECT_EQ(info.exit_status, 0) << file.path << "\n" << info.output;
    EXPECT_NE(info.output.find("Pages: 1\n"), std::string::npos) << file.path << "\n"
                                                                 << info.output;
    const Ran objects = run("mutool show " + quoted(file.path) + " grep");
    EXPECT_EQ(objects.exit_status, 0) << file.path;
    const Ran trailer = run("mutool show " + quoted(file.path) + " trailer");
    EXPECT_NE(trailer.output.find("/Root "), std::string::npos) << file.path << "\n"
                                                                << trailer.output;
    for (const Ran* ran : {&info, &objects, &trailer}) {
      EXPECT_EQ(ran->output.find("warning"), std::string::npos) << file.path << "\n" << ran->output;
      EXPECT_EQ(ran->output.find("error"), std::string::npos) << file.path << "\n" << ran->output;
    }
  }
}

// pikepdf under the system Python: one page, every object and stream readable, and the corpus's
// byte strings back exactly.
constexpr const char* pikepdf_script = R"(
import sys, pikepdf
for path in sys.argv[1:]:
    with pikepdf.open(path) as pdf:
        problems = []
        if len(pdf.pages) != 1: problems.append("pages %d" % len(pdf.pages))
        if [float(x) for x in pdf.pages[0].mediabox] != [0, 0, 595, 842]: problems.append("mediabox")
        for obj in pdf.objects:
            if isinstance(obj, pikepdf.Stream): obj.read_raw_bytes()
        if "/bytes-" in path:
            everything = bytes(range(256))
            if bytes(pdf.get_object(8, 0)) != everything: problems.append("literal string")
            if bytes(pdf.get_object(9, 0)) != everything: problems.append("hex string")
            # keys() would decode the names as UTF-8, which keys such as /#80 are not.
            if len(pdf.get_object(6, 0)) != 255: problems.append("keys")
        if "/kinds-" in path and pdf.get_object(8, 0).read_bytes() != bytes(range(256)):
            problems.append("stream data")
        if "/image-" in path:
            at = (100 * 256 + 200) * 3
            if pdf.get_object(6, 0).read_bytes()[at:at + 3] != bytes([200, 100, 150]):
                problems.append("image pixel")
        for obj in pdf.objects:
            if isinstance(obj, pikepdf.Stream): obj.read_bytes()
        print(path, "ok" if not problems and not pdf.get_warnings() else problems + pdf.get_warnings())
)";

TEST_F(Readers, PikepdfReadsEveryObject) {
  ASSERT_EQ(run("/usr/bin/python3 -c 'import pikepdf'").exit_status, 0)
      << "python3-pikepdf is missing: run `make test` as root to install the test tools";
  const fs::path script = *directory_ / "check.py";
  std::ofstream(script) << pikepdf_script;
  std::string command = "/usr/bin/python3 " + quoted(script);
  std::string expected;
  for (const CorpusFile& file : *corpus_) {
    command += ' ';
    command += quoted(file.path);
    expected += file.path.string() + " ok\n";
  }
  const Ran ran = run(command);
  EXPECT_EQ(ran.exit_status, 0);
  EXPECT_EQ(ran.output, expected);
}

// pypdf in strict mode, which raises where other readers repair: one page, every object its
// cross-reference section lists resolved, and not one warning logged. The random documents and
// the byte corpus are left out: their names hold bytes and escaped delimiters that pypdf's name
// parser refuses, although the format allows them and every other reader here reads them.
constexpr const char* pypdf_script = R"(
import io, logging, sys, warnings
import pypdf
warnings.simplefilter("error")
log = io.StringIO()
logging.getLogger("pypdf").addHandler(logging.StreamHandler(log))
for path in sys.argv[1:]:
    problems = []
    try:
        reader = pypdf.PdfReader(path, strict=True)
        if len(reader.pages) != 1: problems.append("pages %d" % len(reader.pages))
        for generation, numbers in reader.xref.items():
            for number in numbers:
                reader.get_object(pypdf.generic.IndirectObject(number, generation, reader))
    except Exception as error:
        problems.append(repr(error))
    if log.getvalue(): problems.append(log.getvalue())
    log.seek(0); log.truncate()
    print(path, "ok" if not problems else problems)
)";

TEST_F(Readers, PypdfReadsEveryFileInStrictMode) {
  ASSERT_EQ(run("/usr/bin/python3 -c 'import pypdf'").exit_status, 0)
      << "python3-pypdf is missing: run `make test` as root to install the test tools";
  const fs::path script = *directory_ / "check_pypdf.py";
  std::ofstream(script) << pypdf_script;
  std::string command = "/usr/bin/python3 " + quoted(script);
  std::string expected;
  for (const CorpusFile& file : *corpus_) {
    const std::string name = file.path.filename().string();
    if (name.starts_with("random-") || name.starts_with("bytes-")) continue;
    command += " " + quoted(file.path);
    expected += file.path.string() + " ok\n";
  }
  const Ran ran = run(command);
  EXPECT_EQ(ran.exit_status, 0);
  EXPECT_EQ(ran.output, expected);
}

}  // namespace
}  // namespace vantril
