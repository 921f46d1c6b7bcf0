#include "platform/host/serve/common/state_folder.hpp"
#include "platform/host/serve/store/push_store.hpp"
#include "serve_support.hpp"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

namespace {

using serve_test::ScratchFolder;
namespace fs = std::filesystem;

mode_t modeOf(const fs::path& path) {
  struct stat info {};
  ::lstat(path.c_str(), &info);
  return info.st_mode & 07777;
}

// A folder others may write to lets them plant links where serve writes its key, and a folder
// others may read shows them every payload: serve refuses such a folder and never changes it.
TEST(StateFolder, UsesOnlyAFolderOfItsOwnUserClosedToOthers) {
  const ScratchFolder scratch("serve-folder");
  struct Case {
    const char* name;
    mode_t mode;
    const char* planted;  // an entry linking elsewhere, or nothing
    const char* refusal;  // what the error says, or nothing when the folder is fine
  };
  const Case cases[] = {
      {"private", 0700, nullptr, nullptr},
      {"sticky-open", 01777, nullptr, "is open to others (mode 1777)"},
      {"readable", 0755, nullptr, "is open to others (mode 0755)"},
      {"linked-key", 0700, "localhost-key.pem.new", "holds localhost-key.pem.new, a link"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = scratch.path / c.name;
    fs::create_directory(folder);
    ::chmod(folder.c_str(), c.mode);
    if (c.planted) fs::create_symlink(scratch.path / "victim", folder / c.planted);
    const auto why = host::serve::prepareStateFolder(folder);
    if (c.refusal) {
      ASSERT_TRUE(why);
      EXPECT_NE(why->find(c.refusal), std::string::npos) << *why;
    } else {
      EXPECT_FALSE(why) << *why;
    }
    EXPECT_EQ(modeOf(folder), c.mode);
  }
  // A missing folder is made, its own user's alone.
  const fs::path made = scratch.path / "new" / "state";
  EXPECT_FALSE(host::serve::prepareStateFolder(made));
  EXPECT_EQ(modeOf(made), 0700u);
  // A file of another user in it, when the test may make one.
  if (::geteuid() == 0) {
    const fs::path folder = scratch.path / "private";
    std::ofstream(folder / "serve.sqlite3") << "";
    ASSERT_EQ(::chown((folder / "serve.sqlite3").c_str(), 65534, 65534), 0);
    const auto why = host::serve::prepareStateFolder(folder);
    ASSERT_TRUE(why);
    EXPECT_NE(why->find("belongs to another user"), std::string::npos) << *why;
  }
}

// A link planted where a file is first written is not followed: what it names stays as it was.
TEST(StateFolder, WritesAFileWithoutFollowingAPlantedLink) {
  const ScratchFolder scratch("serve-write");
  const fs::path victim = scratch.path / "victim";
  std::ofstream(victim) << "precious";
  fs::create_symlink(victim, scratch.path / "key.pem.new");
  ASSERT_TRUE(host::serve::writeStateFile(scratch.path / "key.pem", 0600,
                                          [](FILE* f) { return std::fputs("secret", f) >= 0; }));
  std::ifstream in(victim);
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "precious");
  EXPECT_EQ(modeOf(scratch.path / "key.pem"), 0600u);
  EXPECT_FALSE(fs::exists(scratch.path / "key.pem.new"));
}

// A store that would answer every push 500 is refused at start-up, saying why.
TEST(PushStore, RefusesAtOpeningAStoreItCouldNotUse) {
  const ScratchFolder scratch("serve-unusable");
  {
    const fs::path folder = scratch.path / "damaged";
    fs::create_directory(folder);
    std::ofstream(folder / "serve.sqlite3") << std::string(8192, 'x');
    try {
      host::serve::PushStore::open(folder);
      ADD_FAILURE() << "opened a damaged store";
    } catch (const host::serve::StoreError& error) {
      EXPECT_NE(std::string(error.what()).find("serve.sqlite3"), std::string::npos) << error.what();
    }
  }
  {
    // Another process holds the store's write lock: a second serve on the same folder.
    const fs::path folder = scratch.path / "busy";
    fs::create_directory(folder);
    host::serve::PushStore::open(folder).reset();
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open((folder / "serve.sqlite3").c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
      host::serve::PushStore::open(folder);
      ADD_FAILURE() << "opened a store another process is writing";
    } catch (const host::serve::StoreError& error) {
      EXPECT_NE(std::string(error.what()).find("cannot write"), std::string::npos) << error.what();
    }
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
  }
}

}  // namespace
