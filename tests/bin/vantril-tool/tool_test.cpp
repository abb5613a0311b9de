// vantril-tool end to end, the built program run on files made at test time: its exit statuses,
// what check reports, the bytes show prints, and rewrite's output read back with the library.
// The independent readers' views of the same files are in posix/tool_validators_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "bin/vantril-tool/run_program.hpp"
#include "bin/vantril-tool/sample_files.hpp"
#include "generator/random_document.hpp"
#include "support/files.hpp"
#include "vantril/decode.hpp"
#include "vantril/reader.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::fresh_directory;
using testing_support::ProgramRun;
using testing_support::run_tool;
using testing_support::three_page_document;
using testing_support::write_bytes;

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    directory_ = fresh_directory("tool");
    write_bytes(directory_ / "table.pdf",
                testing_support::saved_bytes(three_page_document(XrefForm::XrefTableForm)));
    write_bytes(directory_ / "stream.pdf",
                testing_support::saved_bytes(three_page_document(XrefForm::XrefStreamForm)));
    write_bytes(directory_ / "startxref.pdf",
                testing_support::with_wrong_startxref(
                    testing_support::saved_bytes(three_page_document(XrefForm::XrefTableForm))));
    write_bytes(directory_ / "text.txt", "This is not a PDF file.\n");
    write_bytes(directory_ / "empty.pdf", "");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }

  ProgramRun tool(const std::vector<std::string>& arguments) {
    return run_tool(arguments, directory_);
  }

  fs::path directory_;
};

// Every exit status, and that an error names the file it is about.
TEST_F(Tool, ExitStatusesAndMessages) {
  struct Case {
    std::vector<std::string> arguments;
    int status;
    std::string in_stderr;  // for status 2: the message names the file or the usage problem
  };
  const std::vector<Case> cases = {
      {{"check", "table.pdf"}, 0, ""},
      {{"check", "stream.pdf", "--json"}, 0, ""},
      {{"check", "table.pdf", "--strict"}, 0, ""},
      {{"check", "startxref.pdf"}, 3, ""},
      {{"check", "startxref.pdf", "--json"}, 3, ""},
      {{"check", "startxref.pdf", "--strict"}, 2, "vantril-tool: startxref.pdf: "},
      {{"check", "text.txt"}, 2, "vantril-tool: text.txt: "},
      {{"check", "empty.pdf"}, 2, "vantril-tool: empty.pdf: "},
      {{"check", "missing.pdf"}, 2, "vantril-tool: missing.pdf: "},
      {{"show", "missing.pdf", "1"}, 2, "vantril-tool: missing.pdf: "},
      {{"rewrite", "text.txt", "out.pdf"}, 2, "vantril-tool: text.txt: "},
      {{"rewrite", "startxref.pdf", "out.pdf"}, 3, "startxref.pdf: repaired at offset "},
      {{"rewrite", "startxref.pdf", "out.pdf", "--strict"}, 2, "vantril-tool: startxref.pdf: "},
      {{"rewrite", "table.pdf", "table.pdf"}, 2, "vantril-tool: table.pdf: "},
      {{"show", "table.pdf", "10"}, 2, "object 10 0 is not in use"},
      {{"show", "table.pdf", "1", "1"}, 2, "object 1 1 is not in use"},
      {{"show", "table.pdf", "1", "--decode"}, 2, "table.pdf: object 1 0: not a stream"},
      // Usage errors.
      {{}, 2, "a subcommand is needed"},
      {{"inspect", "table.pdf"}, 2, "unknown subcommand 'inspect'"},
      {{"check"}, 2, "check takes one FILE"},
      {{"check", "table.pdf", "stream.pdf"}, 2, "check takes one FILE"},
      {{"check", "table.pdf", "--jsn"}, 2, "unknown option '--jsn'"},
      {{"check", "table.pdf", "--json=yes"}, 2, "takes no value"},
      {{"show", "table.pdf"}, 2, "show takes FILE"},
      {{"show", "table.pdf", "one"}, 2, "'one' is not an object number"},
      {{"show", "table.pdf", "-1"}, 2, "unknown option '-1'"},
      {{"show", "table.pdf", "1", "65536"}, 2, "'65536' is not a generation"},
      {{"show", "table.pdf", "4294967296"}, 2, "is not an object number"},
      {{"rewrite", "table.pdf"}, 2, "rewrite takes IN and OUT"},
      {{"rewrite", "table.pdf", "o.pdf", "--compress"}, 2, "needs a value"},
      {{"rewrite", "table.pdf", "o.pdf", "--compress", "13"}, 2, "a level from 0 to 12"},
      {{"rewrite", "table.pdf", "o.pdf", "--compress=+1"}, 2, "a level from 0 to 12"},
      {{"rewrite", "table.pdf", "o.pdf", "--table", "--stream"}, 2, "exclude each other"},
      {{"rewrite", "table.pdf", "o.pdf", "--table", "--object-streams"}, 2, "needs the stream"},
      // Help and version.
      {{"--help"}, 0, ""},
      {{"check", "--help"}, 0, ""},
      {{"show", "--help"}, 0, ""},
      {{"rewrite", "--help"}, 0, ""},
      {{"--version"}, 0, ""},
  };
  for (const Case& test : cases) {
    std::string command;
    for (const std::string& argument : test.arguments) command += " " + argument;
    SCOPED_TRACE("vantril-tool" + command);
    const ProgramRun run = tool(test.arguments);
    EXPECT_EQ(run.status, test.status) << run.err;
    if (test.status == 2) {
      EXPECT_NE(run.err.find(test.in_stderr), std::string::npos) << run.err;
      EXPECT_EQ(run.err.rfind("vantril-tool: ", 0), 0u) << run.err;
      EXPECT_EQ(run.err.back(), '\n');
    } else if (!test.in_stderr.empty()) {
      EXPECT_NE(run.err.find(test.in_stderr), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.err, "");
      EXPECT_FALSE(run.out.empty());
    }
  }
  // A usage error writes nothing, and a refused rewrite leaves no output behind.
  EXPECT_FALSE(fs::exists(directory_ / "o.pdf"));
  EXPECT_EQ(tool({"--help"}).out.rfind("Usage: vantril-tool SUBCOMMAND", 0), 0u);
  EXPECT_EQ(tool({"--version"}).out.rfind("vantril-tool ", 0), 0u);
}

// The text report of files with one to three revisions in both forms, and of a repaired file.
TEST_F(Tool, CheckReportsPagesRevisionsAndRepairs) {
  struct Case {
    XrefForm form;
    int revisions;
    std::string form_label;
  };
  for (const Case& test :
       {Case{XrefForm::XrefTableForm, 1, "table"}, Case{XrefForm::XrefStreamForm, 1, "stream"},
        Case{XrefForm::XrefTableForm, 3, "table"}, Case{XrefForm::XrefStreamForm, 2, "stream"}}) {
    SCOPED_TRACE(test.form_label + " with " + std::to_string(test.revisions) + " revisions");
    testing_support::save_with_revisions(directory_ / "revised.pdf", test.form, test.revisions);
    const ProgramRun run = tool({"check", "revised.pdf"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("version: 1.7\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("objects: 9 (2 streams, 28 bytes of stream data)\n"), std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("pages: 3\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("revisions: " + std::to_string(test.revisions) + "\n"),
              std::string::npos)
        << run.out;
    for (int i = 1; i <= test.revisions; ++i) {
      EXPECT_NE(run.out.find("  " + std::to_string(i) + ": " + test.form_label + " at offset "),
                std::string::npos)
          << run.out;
    }
    EXPECT_NE(run.out.find("repairs: none\nwarnings: none\nencrypted: no\n"), std::string::npos)
        << run.out;
  }

  write_bytes(directory_ / "hybrid.pdf", testing_support::as_hybrid(testing_support::saved_bytes(
                                             three_page_document(XrefForm::XrefStreamForm))));
  const ProgramRun hybrid = tool({"check", "hybrid.pdf"});
  EXPECT_EQ(hybrid.status, 0) << hybrid.err;
  EXPECT_NE(hybrid.out.find("pages: 3\n"), std::string::npos) << hybrid.out;
  EXPECT_NE(hybrid.out.find("  1: hybrid at offset "), std::string::npos) << hybrid.out;
  const ProgramRun hybrid_json = tool({"check", "--json", "hybrid.pdf"});
  EXPECT_EQ(hybrid_json.status, 0) << hybrid_json.err;
  EXPECT_NE(hybrid_json.out.find("\"forms\": [\n    \"hybrid\"\n  ]"), std::string::npos)
      << hybrid_json.out;

  const ProgramRun repaired = tool({"check", "startxref.pdf"});
  EXPECT_EQ(repaired.status, 3);
  EXPECT_NE(repaired.out.find("pages: 3\n"), std::string::npos) << repaired.out;
  EXPECT_EQ(repaired.out.find("repairs: none"), std::string::npos) << repaired.out;
  EXPECT_NE(repaired.out.find("\n  offset "), std::string::npos) << repaired.out;
}

// A page tree that loops back to its root, and one whose /Count disagrees, are counted once and
// reported, not followed forever.
TEST_F(Tool, CheckSurvivesABadPageTree) {
  Document looping = three_page_document(XrefForm::XrefTableForm);
  looping.object_table.find(ObjectId{3, 0})
      ->second.dictionary()
      ->set("Kids", make_array(ObjectId{4, 0}, ObjectId{2, 0}, ObjectId{5, 0}, ObjectId{5, 0}));
  write_bytes(directory_ / "loop.pdf", testing_support::saved_bytes(std::move(looping)));
  const ProgramRun run = tool({"check", "loop.pdf"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("pages: 3\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("reaches object 2 0 more than once"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("reaches object 5 0 more than once"), std::string::npos) << run.out;

  Document miscounted = three_page_document(XrefForm::XrefTableForm);
  miscounted.object_table.find(ObjectId{2, 0})->second.dictionary()->set("Count", 7);
  write_bytes(directory_ / "count.pdf", testing_support::saved_bytes(std::move(miscounted)));
  const ProgramRun counted = tool({"check", "count.pdf"});
  EXPECT_EQ(counted.status, 0);
  EXPECT_NE(counted.out.find("/Count is 7, but 3 pages were found"), std::string::npos)
      << counted.out;
}

// show prints the serializer's bytes: a dictionary, a stream with its raw data, and with
// --decode the data through an indirect "/Filter".
TEST_F(Tool, ShowPrintsTheSerializersBytes) {
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
    int status = 0;
  };
  const std::vector<Case> cases = {
      {{"show", "table.pdf", "4"},
       "<</Type/Page/Parent 3 0 R/MediaBox[0 0 200 100]/Contents 7 0 R>>\n"},
      {{"show", "stream.pdf", "2", "0"}, "<</Type/Pages/Kids[3 0 R 6 0 R]/Count 3>>\n"},
      {{"show", "table.pdf", "9"}, "/ASCIIHexDecode\n"},
      {{"show", "stream.pdf", "7"}, "<</Length 5>>\nstream\nBT ET\nendstream\n"},
      {{"show", "table.pdf", "8"},
       "<</Filter 9 0 R/Length 23>>\nstream\n48656c6c6f2c20746f6f6c>\nendstream\n"},
      {{"show", "table.pdf", "8", "--decode"}, "Hello, tool"},
      {{"show", "stream.pdf", "--decode", "7"}, "BT ET"},
      // Shown from a file read after repairs, which are listed on standard error.
      {{"show", "startxref.pdf", "6"},
       "<</Type/Page/Parent 2 0 R/MediaBox[0 0 200 100]/Contents 7 0 R>>\n",
       3},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.arguments[2] + " " + test.arguments[1]);
    const ProgramRun run = tool(test.arguments);
    EXPECT_EQ(run.status, test.status) << run.err;
    EXPECT_EQ(run.out, test.out);
    const bool repairs_listed =
        run.err.rfind("vantril-tool: startxref.pdf: repaired at offset ", 0) == 0;
    EXPECT_EQ(repairs_listed, test.status == 3) << run.err;
  }
}

// A Flate stream decoded, where this build can decode Flate.
TEST_F(Tool, ShowDecodesACompressedStream) {
  if (!compression_available() || !flate_decoding_available()) GTEST_SKIP() << "no Flate here";
  Document document = three_page_document(XrefForm::XrefStreamForm);
  const std::string content(3000, 'x');
  put_object(document, {7, 0}, make_stream(Dictionary(), Bytes(content)));
  SaveOptions options;
  options.compression_level = 6;
  Result<OutputFile> saved = save_to_path(document, (directory_ / "flate.pdf").string(), options);
  ASSERT_TRUE(saved.ok());
  ASSERT_TRUE(saved.value().finish().ok());
  const ProgramRun raw = tool({"show", "flate.pdf", "7"});
  EXPECT_NE(raw.out.find("/Filter/FlateDecode"), std::string::npos) << raw.out;
  EXPECT_LT(raw.out.size(), content.size());
  const ProgramRun decoded = tool({"show", "flate.pdf", "7", "--decode"});
  EXPECT_EQ(decoded.status, 0) << decoded.err;
  EXPECT_EQ(decoded.out, content);
}

// One object's view for comparing two reads: a stream by its dictionary without the keys a
// compressed save adds, and its decoded data.
std::string comparable(const Object& object) {
  std::string text;
  CountingSink sink(text);
  if (const Stream* stream = object.stream()) {
    Dictionary dictionary = clone(stream->stream_dictionary);
    for (const char* key : {"Length", "Filter", "DecodeParms"}) dictionary.remove(key);
    EXPECT_TRUE(serialize_dictionary(sink, dictionary).ok());
    Result<Bytes> data = decode_stream(*stream);
    EXPECT_TRUE(data.ok());
    // Appended piece by piece: g++ 12 at -O3 flags the concatenated temporary's copy.
    if (data.ok()) {
      text += '|';
      text.append(std::string_view(data.value()));
    }
    return text;
  }
  EXPECT_TRUE(serialize_object(sink, object).ok());
  return text;
}

// rewrite in every form and option keeps every object under its number with its content, and
// the form asked for; the output reads without a repair.
TEST_F(Tool, RewriteKeepsNumbersAndContentInEveryForm) {
  struct Case {
    std::vector<std::string> options;
    bool compresses;
    std::optional<XrefForm> form;  // nothing: the input's own
  };
  const std::vector<Case> cases = {
      {{}, false, std::nullopt},
      {{"--table"}, false, XrefForm::XrefTableForm},
      {{"--stream"}, false, XrefForm::XrefStreamForm},
      {{"--compress", "6"}, true, std::nullopt},
      {{"--table", "--compress=1"}, true, XrefForm::XrefTableForm},
      {{"--object-streams"}, false, XrefForm::XrefStreamForm},
      {{"--object-streams", "--compress", "12", "--strict"}, true, XrefForm::XrefStreamForm},
  };
  for (std::uint64_t seed = 1; seed <= 6; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    Document generated = testing_support::random_document(entropy);
    const XrefForm input_form = generated.xref_state.xref_form;
    write_bytes(directory_ / "in.pdf", testing_support::saved_bytes(std::move(generated)));
    Result<ReadFile> input = read_pdf_file((directory_ / "in.pdf").string());
    ASSERT_TRUE(input.ok()) << display_form(input.error());
    for (const Case& test : cases) {
      std::vector<std::string> arguments{"rewrite", "in.pdf", "out.pdf"};
      arguments.insert(arguments.end(), test.options.begin(), test.options.end());
      std::string command;
      for (const std::string& argument : arguments) command += " " + argument;
      SCOPED_TRACE("seed " + std::to_string(seed) + ": vantril-tool" + command);
      fs::remove(directory_ / "out.pdf");
      const ProgramRun run = tool(arguments);
      if (test.compresses && !compression_available()) {
        EXPECT_EQ(run.status, 2);
        EXPECT_NE(run.err.find("out.pdf: "), std::string::npos) << run.err;
        continue;
      }
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(run.out, "");
      ReadOptions strict;
      strict.strict = true;
      Result<ReadFile> output = read_pdf_file((directory_ / "out.pdf").string(), strict);
      ASSERT_TRUE(output.ok()) << display_form(output.error());
      EXPECT_EQ(output.value().structure.revisions.back().form, test.form.value_or(input_form));
      const ObjectTable& before = input.value().document.object_table;
      const ObjectTable& after = output.value().document.object_table;
      ASSERT_EQ(after.size(), before.size());
      for (auto was = before.begin(), is = after.begin(); was != before.end(); ++was, ++is) {
        ASSERT_EQ(is->first, was->first);
        EXPECT_EQ(comparable(is->second), comparable(was->second))
            << "object " << was->first.number << " " << was->first.generation;
      }
      const Object* root = output.value().document.trailer.get("Root");
      ASSERT_NE(root, nullptr);
      EXPECT_EQ(*root->reference(), (ObjectId{1, 0}));
    }
  }
}

}  // namespace
}  // namespace vantril
