// An append whose write fails midway: the file must be cut back to the revision it had, so that
// readers starting at its end still find a complete one. A file-size limit makes the system
// refuse the write after accepting part of it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "runtime/posix/child_process.hpp"
#include "vantril/model.hpp"
#include "vantril/revision.hpp"
#include "vantril/writer.hpp"
#include "writer/writer_test_support.hpp"

namespace vantril {
namespace {

TEST(AppendFault, AFailedWriteLeavesTheFileAsItWas) {
  const std::string path = (testing_support::fresh_directory("append-fault") / "file.pdf").string();
  Document document = create_versioned("1.7");
  const ObjectId catalog =
      append_object(document, Dictionary::from_pairs({{"Type", Name("Catalog")}}));
  document.trailer.set("Root", catalog);
  Result<RevisionState> saved = save_revisable(document, path);
  ASSERT_TRUE(saved.ok());
  const std::string before = testing_support::read_file(path);
  // Larger than what the limit lets through, so that the write stops partway.
  const ObjectId big = append_object(document, make_stream(Dictionary(), std::string(4096, 'x')));

  const testing_support::ChildOutcome outcome = testing_support::run_in_child([&] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{before.size() + 100, before.size() + 100};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
    const ObjectId ids[] = {big};
    Result<RevisionState> appended = append_revision(document, path, saved.value(), ids);
    if (appended.ok()) ::_exit(4);
    if (kind_of(appended.error()) != IoErrorKind::FileTooLarge) ::_exit(5);
  });
  EXPECT_FALSE(outcome.killed);
  EXPECT_EQ(outcome.exit_status, 0) << outcome.standard_error;
  EXPECT_EQ(testing_support::read_file(path), before);
  // The state still describes the file: a later append succeeds.
  const ObjectId ids[] = {big};
  EXPECT_TRUE(append_revision(document, path, saved.value(), ids).ok());
}

}  // namespace
}  // namespace vantril
