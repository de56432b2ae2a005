#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "core/atomic_file.h"

// A batch defers the syncs of new files to one at its end, but a file that
// replaces an existing one is synced before its rename even then; new files
// are created with the mode the umask gives, also while deferred.
TEST(AtomicFile, DeferredSyncsOnlyForNewFiles) {
  char dir[] = "/tmp/orvelle-atomic-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string existing = std::string(dir) + "/old", fresh = std::string(dir) + "/new";
  ASSERT_TRUE(WriteFileAtomically(existing, "old"));
  const mode_t mask = ::umask(027);
  for (bool defer : {false, true}) {
    DeferSyncs(defer);
    mvStagedFile replace, create;
    ASSERT_TRUE(StageFileContent(replace, existing, "new"));
    ASSERT_TRUE(StageFileContent(create, fresh, "x"));
    EXPECT_TRUE(replace.NeedsSync());
    EXPECT_EQ(create.NeedsSync(), !defer);
    EXPECT_TRUE(replace.Commit() && create.Commit());
    struct stat info;
    ASSERT_EQ(::stat(fresh.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    ::unlink(fresh.c_str());
  }
  DeferSyncs(false);
  EXPECT_TRUE(SyncDeferred());
  ::umask(mask);
  std::system(("rm -rf " + std::string(dir)).c_str());
}
