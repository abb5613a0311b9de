// vantril-tool's output through independent programs: check's --json parsed by Python's json
// module, and rewrite's files checked by qpdf and compared object by object with qpdf's view of
// the input.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bin/vantril-tool/sample_files.hpp"
#include "generator/random_document.hpp"
#include "support/files.hpp"
#include "support/posix/shell.hpp"
#include "vantril/writer.hpp"

namespace vantril {
namespace {

namespace fs = std::filesystem;
using testing_support::quoted;
using testing_support::Ran;
using testing_support::run;
using testing_support::three_page_document;
using testing_support::write_bytes;

const std::string tool = VANTRIL_TOOL_PATH;

// Reads check's JSON from standard input, checks each required member's type, and prints the
// facts on one line: version, objects, pages, revisions, forms, repaired, encrypted, warnings and
// the file's name.
constexpr const char* json_facts = R"(
import json, sys
report = json.load(sys.stdin)
kinds = {"version": str, "objects": int, "pages": int, "revisions": int, "forms": list,
         "repaired": bool, "warnings": list, "encrypted": bool, "repairs": list}
for key, kind in kinds.items():
    assert type(report[key]) is kind, (key, report[key])
assert all(form in ("table", "stream", "hybrid") for form in report["forms"]), report["forms"]
assert len(report["forms"]) == report["revisions"]
assert all(type(w) is str for w in report["warnings"])
assert report["repaired"] == (len(report["repairs"]) > 0)
print(report["version"], report["objects"], report["pages"], report["revisions"],
      ",".join(report["forms"]), report["repaired"], report["encrypted"], len(report["warnings"]),
      report["file"])
)";

class ToolValidators : public ::testing::Test {
 protected:
  void SetUp() override { directory_ = testing_support::fresh_directory("tool-validators"); }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  fs::path directory_;
};

TEST_F(ToolValidators, CheckJsonParsesWithTheFactsOfEachFile) {
  write_bytes(directory_ / "table.pdf",
              testing_support::saved_bytes(three_page_document(XrefForm::XrefTableForm)));
  write_bytes(directory_ / "we\"ird\xff.pdf",
              testing_support::saved_bytes(three_page_document(XrefForm::XrefStreamForm)));
  write_bytes(directory_ / "startxref.pdf",
              testing_support::with_wrong_startxref(
                  testing_support::saved_bytes(three_page_document(XrefForm::XrefTableForm))));
  testing_support::save_with_revisions(directory_ / "revised.pdf", XrefForm::XrefStreamForm, 3);
  const Ran encrypted = run("qpdf --encrypt user owner 256 -- " + quoted(directory_ / "table.pdf") +
                            " " + quoted(directory_ / "encrypted.pdf"));
  ASSERT_EQ(encrypted.exit_status, 0) << encrypted.output;
  write_bytes(directory_ / "json_facts.py", json_facts);

  struct Case {
    std::string file;
    int status;
    std::string facts;  // the part of the facts line that does not depend on the encrypter
  };
  const std::vector<Case> cases = {
      {"table.pdf", 0, "1.7 9 3 1 table False False 0 table.pdf"},
      {"we\"ird\xff.pdf", 0, "1.7 9 3 1 stream False False 0 we\"ird\xef\xbf\xbd.pdf"},
      {"startxref.pdf", 3, "1.7 9 3 1 "},
      {"revised.pdf", 0, "1.7 9 3 3 stream,stream,stream False False 0 revised.pdf"},
      {"encrypted.pdf", 0, " True 1 encrypted.pdf"},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.file);
    const Ran checked =
        run("cd " + quoted(directory_) + " && " + tool + " check " + quoted(fs::path(test.file)) +
                " --json 2>/dev/null > out.json; echo $?",
            false);
    EXPECT_EQ(checked.output, std::to_string(test.status) + "\n");
    const Ran facts = run("python3 " + quoted(directory_ / "json_facts.py") + " < " +
                          quoted(directory_ / "out.json"));
    ASSERT_EQ(facts.exit_status, 0) << facts.output;
    EXPECT_NE(facts.output.find(test.facts), std::string::npos) << facts.output;
  }
  // A repaired read says so in JSON too, with the repair's offset.
  const Ran repaired =
      run("cd " + quoted(directory_) + " && " + tool +
          " check startxref.pdf --json | python3 -c 'import json,sys; r=json.load(sys.stdin); "
          "print(r[\"repaired\"], type(r[\"repairs\"][0][\"offset\"]).__name__)'");
  EXPECT_EQ(repaired.output, "True int\n");
}

// Compares qpdf's JSON view of two files object by object, streams by their dictionaries without
// the keys compression changes, leaving out the file's layout (object and cross-reference streams).
constexpr const char* same_objects = R"(
import json, subprocess, sys
def objects(path):
    text = subprocess.run(["qpdf", "--json=2", "--json-key=qpdf", path], check=True,
                          capture_output=True).stdout
    found = {}
    # qpdf writes a name's bytes as they are, UTF-8 or not.
    for key, value in json.loads(text.decode("utf-8", "surrogateescape"))["qpdf"][1].items():
        # A null is what a missing object reads as: qpdf lists the referenced ones among the
        # objects, and the output may give such a number to its cross-reference stream.
        if not key.startswith("obj:") or value.get("value", 0) is None:
            continue
        if "stream" in value:
            dictionary = dict(value["stream"]["dict"])
            if dictionary.get("/Type") in ("/XRef", "/ObjStm"):
                continue
            for layout in ("/Length", "/Filter", "/DecodeParms"):
                dictionary.pop(layout, None)
            value = {"stream": dictionary}
        found[key] = value
    return found
before, after = objects(sys.argv[1]), objects(sys.argv[2])
for key in sorted(set(before) | set(after)):
    if before.get(key) != after.get(key):
        print("differs:", key, before.get(key), after.get(key))
        sys.exit(1)
print("same", len(before))
)";

TEST_F(ToolValidators, RewritesPassQpdfCheckWithTheSameObjects) {
  write_bytes(directory_ / "same_objects.py", same_objects);
  const std::vector<std::string> option_sets = {"",
                                                "--table",
                                                "--stream",
                                                "--compress 6",
                                                "--table --compress 9",
                                                "--object-streams",
                                                "--object-streams --compress 3"};
  for (std::uint64_t seed = 11; seed <= 13; ++seed) {
    testing_support::Entropy entropy = testing_support::Entropy::seeded(seed);
    write_bytes(directory_ / "in.pdf",
                testing_support::saved_bytes(testing_support::random_document(entropy)));
    for (const std::string& options : option_sets) {
      if (options.find("--compress") != std::string::npos && !compression_available()) continue;
      SCOPED_TRACE("seed " + std::to_string(seed) + ": rewrite " + options);
      const std::string in = quoted(directory_ / "in.pdf");
      const std::string out = quoted(directory_ / "out.pdf");
      const Ran rewritten = run(tool + " rewrite " + in + " " + out + " " + options);
      ASSERT_EQ(rewritten.exit_status, 0) << rewritten.output;
      const Ran checked = run("qpdf --check " + out);
      EXPECT_EQ(checked.exit_status, 0) << checked.output;
      const Ran compared =
          run("python3 " + quoted(directory_ / "same_objects.py") + " " + in + " " + out);
      EXPECT_EQ(compared.exit_status, 0) << compared.output;
      EXPECT_EQ(compared.output.rfind("same ", 0), 0u) << compared.output;
    }
  }
}

}  // namespace
}  // namespace vantril
