// Files other writers make, made here at test time (qpdf in its several forms, Ghostscript's
// pdfwrite, mutool create and clean, pdftocairo, a pdfsig signature appended as a revision), read
// by vantril and by libqpdf and compared object by object. Such files are sound: each must read
// without a repair, strictly as well, and the lazy reader must load the same objects.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "../../fuzz/reader_checks.hpp"
#include "generator/random_document.hpp"
#include "model/type_label.hpp"
#include "qpdf/qpdf_reader.hpp"
#include "qpdf/read_comparison.hpp"
#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "vantril/reader.hpp"
#include "vantril/writer/counting_sink.hpp"
#include "vantril/writer/save.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;

using testing_support::quoted;
using testing_support::Ran;
using testing_support::read_file;
using testing_support::run;

// How each file is made: the files it is made from, and a command in which IN0, IN1, ... stand
// for their paths and OUT for the file's own.
struct Recipe {
  std::vector<std::string> inputs;
  std::string command;
};

const std::map<std::string, Recipe>& recipes() {
  static const std::map<std::string, Recipe> all = [] {
    std::map<std::string, Recipe> made;
    const std::string gs = "gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pdfwrite ";
    made["gs_text.pdf"] = {{"text.ps"}, gs + "-sOutputFile=OUT IN0"};
    made["gs_embedded.pdf"] = {{"text.ps"}, gs + "-dPDFSETTINGS=/prepress -sOutputFile=OUT IN0"};
    made["gs_clean.pdf"] = {{"clean.pdf"}, gs + "-sOutputFile=OUT IN0"};
    made["mutool_create.pdf"] = {{"page.txt"}, "mutool create -o OUT IN0"};
    made["mutool_clean_gs.pdf"] = {{"gs_embedded.pdf"}, "mutool clean -gggg IN0 OUT"};
    made["mutool_clean_create.pdf"] = {{"mutool_create.pdf"}, "mutool clean -gggg IN0 OUT"};
    made["mutool_clean_deflated.pdf"] = {{"gs_text.pdf"}, "mutool clean -gggg -z IN0 OUT"};
    made["cairo.pdf"] = {{"gs_embedded.pdf"}, "pdftocairo -pdf IN0 OUT"};
    const std::map<std::string, std::string> qpdf_forms = {
        {"plain", ""},
        {"objstm", "--object-streams=generate"},
        {"linearized", "--linearize"},
        {"linearized_objstm", "--linearize --object-streams=generate"},
        {"qdf", "--qdf"},
        {"compressed", "--compress-streams=y"},
        {"compressed_objstm", "--compress-streams=y --object-streams=generate"},
    };
    for (const std::string base : {"clean", "gs_embedded"}) {
      for (const auto& [form, options] : qpdf_forms) {
        made["qpdf_" + form + "_" + base + ".pdf"] = {{base + ".pdf"},
                                                      "qpdf " + options + " IN0 OUT"};
      }
    }
    // pdfsig appends the signature as a revision: to a stream-form file, a table-form one, and
    // one with object streams.
    const std::string sign =
        "pdfsig -nssdir sql:nss -nick testsigner -add-signature "
        "-new-signature-field-name Sig1 IN0 OUT";
    made["pdfsig_clean.pdf"] = {{"clean.pdf"}, sign};
    made["pdfsig_qpdf_plain.pdf"] = {{"qpdf_plain_clean.pdf"}, sign};
    made["pdfsig_qpdf_objstm.pdf"] = {{"qpdf_objstm_gs_embedded.pdf"}, sign};
    return made;
  }();
  return all;
}

class ForeignFiles : public ::testing::TestWithParam<std::string> {
 protected:
  static void SetUpTestSuite() { directory_ = testing_support::fresh_directory("foreign-read"); }

  // VANTRIL_KEEP_TEST_FILES keeps the files made, to look at after a failure.
  static void TearDownTestSuite() {
    if (std::getenv("VANTRIL_KEEP_TEST_FILES") != nullptr) return;
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  // The file, made with its inputs first unless this process made it already.
  static fs::path made(const std::string& name) {
    const fs::path path = directory_ / name;
    if (fs::exists(path)) return path;
    if (name == "clean.pdf") {
      fs::copy_file(fs::path(VANTRIL_TEST_DATA_DIR) / "clean.pdf", path);
    } else if (name == "text.ps") {
      std::ofstream(path) << "%!PS\n/Times-Roman findfont 24 scalefont setfont\n"
                             "72 700 moveto (Read by vantril, compared with libqpdf) show\n"
                             "showpage\n/Helvetica findfont 12 scalefont setfont\n"
                             "72 700 moveto (A second page, with a grey square) show\n"
                             "0.5 setgray 100 100 200 200 rectfill\nshowpage\n";
    } else if (name == "page.txt") {
      std::ofstream(path) << "%%MediaBox 0 0 595 842\n%%Font Tm Times-Roman\n"
                             "BT /Tm 24 Tf 72 700 Td (Made by mutool create) Tj ET\n";
    } else {
      const Recipe& recipe = recipes().at(name);
      if (recipe.command.find("pdfsig") != std::string::npos) make_signer();
      std::string command = recipe.command;
      for (std::size_t i = recipe.inputs.size(); i-- > 0;) {
        const std::string input = quoted(made(recipe.inputs[i]));
        const std::string mark = "IN" + std::to_string(i);
        for (std::size_t at = command.find(mark); at != std::string::npos;
             at = command.find(mark)) {
          command.replace(at, mark.size(), input);
        }
      }
      command.replace(command.find("OUT"), 3, quoted(path));
      const Ran ran = run("cd " + quoted(directory_) + " && " + command);
      EXPECT_EQ(ran.exit_status, 0) << command << "\n" << ran.output;
    }
    return path;
  }

  // A throw-away signer in an NSS database, for pdfsig.
  static void make_signer() {
    if (fs::exists(directory_ / "nss")) return;
    const Ran ran = run("cd " + quoted(directory_) +
                        " && openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem"
                        " -out cert.pem -days 2 -subj '/CN=vantril test signer'"
                        " && openssl pkcs12 -export -inkey key.pem -in cert.pem"
                        " -name testsigner -out id.p12 -passout pass:"
                        " && mkdir nss && certutil -N -d sql:nss --empty-password"
                        " && pk12util -i id.p12 -d sql:nss -W ''");
    EXPECT_EQ(ran.exit_status, 0) << ran.output;
  }

  static fs::path directory_;
};

fs::path ForeignFiles::directory_;

std::string repairs_text(const FileStructure& structure) {
  std::string text;
  for (const Repair& repair : structure.repairs) {
    text += "  at " + std::to_string(repair.offset) + ": " + repair.description + "\n";
  }
  return text;
}

// The checks every sound file of another writer passes; `file` names it in the messages.
void expect_reads_as_libqpdf_reads(const std::string& bytes, const std::string& file) {
  SCOPED_TRACE(file);
  Result<ReadFile> read = read_pdf_bytes(bytes);
  ASSERT_TRUE(read.ok()) << debug_form(read.error());
  const FileStructure& structure = read.value().structure;
  EXPECT_TRUE(structure.repairs.empty()) << "repaired a sound file:\n" << repairs_text(structure);
  EXPECT_FALSE(structure.rebuilt);
  EXPECT_EQ(structure.header_version, bytes.substr(5, structure.header_version.size()));

  const testing_support::ReadFile qpdf = testing_support::read_with_qpdf(bytes);
  ASSERT_TRUE(qpdf.refusal.empty()) << "libqpdf refuses the file: " << qpdf.refusal;
  EXPECT_TRUE(qpdf.warnings.empty()) << "libqpdf warns: " << qpdf.warnings.front();
  for (const std::string& difference : testing_support::qpdf_read_differences(read.value(), qpdf)) {
    ADD_FAILURE() << difference;
  }

  Result<ReadFile> strict = read_pdf_bytes(bytes, ReadOptions{.strict = true, .limits = {}});
  EXPECT_TRUE(strict.ok()) << debug_form(strict.error());

  Result<LazyReader> lazy = LazyReader::over_bytes(bytes);
  ASSERT_TRUE(lazy.ok()) << debug_form(lazy.error());
  Result<Document> loaded = lazy.value().load_document();
  ASSERT_TRUE(loaded.ok()) << debug_form(loaded.error());
  for (const std::string& difference :
       testing_support::document_differences(read.value().document, loaded.value(), false)) {
    ADD_FAILURE() << "lazy: " << difference;
  }
}

TEST_P(ForeignFiles, ReadTheSameObjectsAsLibqpdf) {
  const fs::path file = made(GetParam());
  ASSERT_FALSE(HasFailure()) << "the file could not be made";
  const std::string bytes = read_file(file);
  expect_reads_as_libqpdf_reads(bytes, GetParam());
  // By path too: the platform layer's mapping gives the same read.
  Result<ReadFile> by_path = read_pdf_file(file.string());
  ASSERT_TRUE(by_path.ok()) << debug_form(by_path.error());
  Result<ReadFile> by_bytes = read_pdf_bytes(bytes);
  ASSERT_TRUE(by_bytes.ok());
  for (const std::string& difference : testing_support::document_differences(
           by_bytes.value().document, by_path.value().document, false)) {
    ADD_FAILURE() << "by path: " << difference;
  }
}

std::vector<std::string> foreign_file_names() {
  std::vector<std::string> names;
  for (const auto& [name, recipe] : recipes()) names.push_back(name);
  return names;
}

std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.size() - 4);
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Tools, ForeignFiles, ::testing::ValuesIn(foreign_file_names()), test_name);

// The signed files are revisions appended to another file: the structure must show both, the
// signer's last.
TEST_F(ForeignFiles, SignedFilesShowTheSignatureAsTheLatestRevision) {
  for (const std::string name : {"pdfsig_clean.pdf", "pdfsig_qpdf_plain.pdf"}) {
    SCOPED_TRACE(name);
    const std::string signed_bytes = read_file(made(name));
    const std::string base_name =
        name == std::string("pdfsig_clean.pdf") ? "clean.pdf" : "qpdf_plain_clean.pdf";
    const std::string base = read_file(made(base_name));
    ASSERT_EQ(signed_bytes.compare(0, base.size(), base), 0) << "not an incremental update";
    Result<ReadFile> before = read_pdf_bytes(base);
    Result<ReadFile> after = read_pdf_bytes(signed_bytes);
    ASSERT_TRUE(before.ok() && after.ok());
    const auto& revisions = after.value().structure.revisions;
    ASSERT_EQ(revisions.size(), before.value().structure.revisions.size() + 1);
    EXPECT_GE(revisions.back().xref_offset, base.size());
    EXPECT_LT(revisions[revisions.size() - 2].xref_offset, base.size());
    // The signature's dictionary is among the objects the last revision defines.
    bool signature_defined = false;
    for (const ObjectId id : revisions.back().defined) {
      const auto found = after.value().document.object_table.find(id);
      if (found == after.value().document.object_table.end()) continue;
      const Dictionary* dictionary = dictionary_of(found->second);
      if (dictionary != nullptr && type_label(*dictionary) == "Sig") signature_defined = true;
    }
    EXPECT_TRUE(signature_defined);
  }
}

// Random documents, saved by vantril in either form and rewritten by qpdf or mutool: their
// serializers write names, strings and numbers their own way, and vantril must read what
// libqpdf reads.
TEST_F(ForeignFiles, RandomDocumentsRewrittenByOtherWritersRead) {
  const std::vector<std::string> rewrites = {
      "qpdf IN OUT",
      "qpdf --object-streams=generate IN OUT",
      "qpdf --qdf IN OUT",
      "qpdf --linearize --object-streams=generate IN OUT",
      "qpdf --compress-streams=y --decode-level=none IN OUT",
      "mutool clean -gggg IN OUT",
  };
  int compared = 0;
  int qpdf_warns = 0;
  for (std::uint64_t seed = 1; seed <= 60; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document document = testing_support::random_document(entropy);
    document.xref_state.xref_form =
        seed % 2 == 0 ? XrefForm::XrefTableForm : XrefForm::XrefStreamForm;
    std::string saved;
    CountingSink sink(saved);
    ASSERT_TRUE(write_document(document, sink).ok());
    const fs::path in = directory_ / ("random_" + std::to_string(seed) + ".pdf");
    const fs::path out = directory_ / ("random_" + std::to_string(seed) + "_rewritten.pdf");
    std::ofstream(in, std::ios::binary) << saved;
    std::string command = rewrites[seed % rewrites.size()];
    command.replace(command.find("IN"), 2, quoted(in));
    command.replace(command.find("OUT"), 3, quoted(out));
    const Ran ran = run(command);
    // qpdf exits 3 after warnings; a file it would not write cannot be compared.
    if (ran.exit_status != 0 && ran.exit_status != 3) continue;
    // qpdf writes a "#" inside a name as it is, and its own reader then warns and reads the
    // name otherwise than it was: such a file is no authority on what it holds.
    const std::string bytes = read_file(out);
    if (!testing_support::read_with_qpdf(bytes).warnings.empty()) {
      ++qpdf_warns;
      continue;
    }
    ++compared;
    expect_reads_as_libqpdf_reads(bytes, command);
  }
  std::printf("%d rewritten documents compared, %d left out on libqpdf's warnings\n", compared,
              qpdf_warns);
  EXPECT_GE(compared, 40);
}

}  // namespace
}  // namespace vantril
