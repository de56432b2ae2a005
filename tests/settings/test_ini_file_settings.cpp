#include <unistd.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstring>
#include <filesystem>
#include <optional>

#include "core/atomic_file.h"
#include "app/settings/ini_file_settings.h"
#include "tests/settings/temp_folder.h"

namespace {

// Opens a store for reading over the given file text.
class IniRead : public ::testing::Test {
protected:
  bool Load(const std::string& text, const char* section = "Settings") {
    WriteText(Path, text);
    return Store.Open(Path.c_str(), section, IniModeRead, 0);
  }
  std::string ReadStringOr(const char* key, const char* fallback) {
    char buffer[64];
    std::strcpy(buffer, fallback);
    Store.ReadString(key, buffer, sizeof buffer);
    return buffer;
  }

  TempFolder Folder;
  std::string Path = Folder.File("orvelle.ini");
  IniFileSettings Store;
};

// Each row reads one key from its own file; no value means the key is not
// found and the variable keeps what it held.
TEST_F(IniRead, SectionsKeysAndIntegerLiterals) {
  const struct {
    const char* File;
    const char* Key;
    std::optional<int32_t> Value;
  } kCases[] = {
      // Case and blanks around section names, keys and values do not count.
      {"[Other]\nwidth=1\n[ settings ]\n  WIDTH  =  \t42 \t\n", "Width", 42},
      // Keys before any section or in another one are invisible; a header
      // without its bracket still ends the section.
      {"Top=1\n[Settings]\nA=2\n[Next\nB=3\n", "Top", {}},
      {"Top=1\n[Settings]\nA=2\n[Next\nB=3\n", "B", {}},
      {"Top=1\n[Settings]\nA=2\n[Next\nB=3\n", "A", 2},
      // The first of duplicate sections and keys wins.
      {"[Settings]\nA=1\nA=2\n[Settings]\nA=3\nB=4\n", "A", 1},
      {"[Settings]\nA=1\nA=2\n[Settings]\nA=3\nB=4\n", "B", {}},
      // A byte-order mark, CR LF lines and a last line without its end.
      {"\xEF\xBB\xBF[Settings]\r\nA = 7\r\nB=8", "A", 7},
      {"\xEF\xBB\xBF[Settings]\r\nA = 7\r\nB=8", "B", 8},
      // Integers parse as C literals, saturated, a bad tail ignored.
      {"[Settings]\nV=0x1f", "V", 31},
      {"[Settings]\nV=010", "V", 8},
      {"[Settings]\nV=-12", "V", -12},
      {"[Settings]\nV=+5", "V", 5},
      {"[Settings]\nV=12abc", "V", 12},
      {"[Settings]\nV=09", "V", 0},
      {"[Settings]\nV=0x", "V", 0},
      {"[Settings]\nV=\"33\"", "V", 33},
      {"[Settings]\nV=0000000000000012", "V", 1},  // only the first 15 characters count: octal 000...01
      {"[Settings]\nV=99999999999", "V", INT32_MAX},
      {"[Settings]\nV=-99999999999", "V", INT32_MIN},
      {"[Settings]\nV=", "V", {}},
      {"[Settings]\nV=abc", "V", {}},
      {"[Settings]\nV=1", "Missing", {}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.File) + " / " + c.Key);
    ASSERT_TRUE(Load(c.File));
    int32_t value = -777;
    EXPECT_EQ(Store.ReadInt(c.Key, value), c.Value.has_value());
    EXPECT_EQ(value, c.Value.value_or(-777));
  }
  uint32_t u = 0;
  for (const char* text : {"4294967295", "-1", "0x1FFFFFFFF"}) {  // the full range, minus wraps, more saturates
    ASSERT_TRUE(Load(std::string("[Settings]\nV=") + text));
    EXPECT_TRUE(Store.ReadUnsigned("V", u));
    EXPECT_EQ(u, 4294967295u) << text;
  }
}

TEST_F(IniRead, StringsAndBools) {
  ASSERT_TRUE(
      Load("[Settings]\r\nName= two words \r\nCr=text\r\nD=\"a b\"\nS=  'x'  \nM=\"x'\nT=\"\"q\"\"\nO=\"\n"
           "E=\"\"\nMark=\x1A"
           "abc\nLong=abcdefgh\nU=ab\xC3\xA9\n"
           "B1=TRUE\nB2=Yes\nB3=no\nB4=False\nB5=1\nB6=yesterday\nB7=\n"));
  // One matching pair of quotes is stripped; no carriage return stays on a
  // value; a value marked with ^Z reads as missing.
  const std::pair<const char*, const char*> strings[] = {
      {"name", "two words"}, {"Cr", "text"}, {"D", "a b"}, {"S", "x"},       {"M", "\"x'"},
      {"T", "\"q\""},        {"O", "\""},    {"E", ""},    {"Mark", "keep"}, {"Missing", "keep"}};
  for (const auto& [key, expected] : strings) EXPECT_EQ(ReadStringOr(key, "keep"), expected) << key;
  EXPECT_FALSE(Store.ReadString("Missing", nullptr, 10));
  char small[5] = "zzzz";
  EXPECT_TRUE(Store.ReadString("Long", small, sizeof small));
  EXPECT_STREQ(small, "abcd");
  // Three bytes of room would split the two-byte character: it is left out whole.
  char three[4];
  EXPECT_TRUE(Store.ReadString("U", three, 4));
  EXPECT_STREQ(three, "ab");
  // Only the words count as bools; anything else leaves the value.
  const std::pair<const char*, std::optional<bool>> bools[] = {{"B1", true}, {"B2", true}, {"B3", false}, {"B4", false},
                                                               {"B5", {}},   {"B6", {}},   {"B7", {}}};
  for (const auto& [key, expected] : bools) {
    for (bool before : {false, true}) {
      bool v = before;
      EXPECT_EQ(Store.ReadBool(key, v), expected.has_value()) << key;
      EXPECT_EQ(v, expected.value_or(before)) << key;
    }
  }
}

TEST_F(IniRead, IntArraysSplitAtCommas) {
  ASSERT_TRUE(Load("[Settings]\nA=1, -2,\t30 ,0400\nB=7,8,\nBad=1,x,3\nHole=1,,3\nWide=123456789012345,2\n"));
  int32_t values[6] = {9, 9, 9, 9, 9, 9};
  size_t count = 6;
  EXPECT_TRUE(Store.ReadIntArray("A", values, count));
  ASSERT_EQ(count, 4u);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[1], -2);
  EXPECT_EQ(values[2], 30);
  EXPECT_EQ(values[3], 400);  // decimal, leading zero or not
  EXPECT_EQ(values[4], 9);

  count = 2;
  EXPECT_TRUE(Store.ReadIntArray("A", values, count));
  EXPECT_EQ(count, 2u);
  count = 6;
  EXPECT_TRUE(Store.ReadIntArray("B", values, count));
  EXPECT_EQ(count, 2u);
  count = 6;
  EXPECT_TRUE(Store.ReadIntArray("Wide", values, count));
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(values[0], INT32_MAX);  // 11 characters, saturated
  EXPECT_EQ(values[1], 2);

  int32_t kept[3] = {4, 5, 6};
  count = 3;
  EXPECT_FALSE(Store.ReadIntArray("Bad", kept, count));
  EXPECT_FALSE(Store.ReadIntArray("Hole", kept, count));
  EXPECT_FALSE(Store.ReadIntArray("Missing", kept, count));
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(kept[1], 5);
}

TEST_F(IniRead, BinaryNeedsTwoDigitsPerByte) {
  ASSERT_TRUE(Load("[Settings]\nB=00FFa5\nBad=0G\n"));
  uint8_t bytes[4] = {1, 1, 1, 1};
  size_t count = 3;
  EXPECT_TRUE(Store.ReadBinary("B", bytes, count));
  EXPECT_EQ(bytes[0], 0x00);
  EXPECT_EQ(bytes[1], 0xFF);
  EXPECT_EQ(bytes[2], 0xA5);
  count = 4;
  bytes[0] = 7;
  EXPECT_FALSE(Store.ReadBinary("B", bytes, count));
  count = 1;
  EXPECT_FALSE(Store.ReadBinary("Bad", bytes, count));
  EXPECT_EQ(bytes[0], 7);
}

class IniWrite : public ::testing::Test {
protected:
  TempFolder Folder;
  std::string Path = Folder.File("orvelle.ini");
};

TEST_F(IniWrite, OpenModesAndFlags) {
  IniFileSettings store;
  EXPECT_FALSE(store.Open(Path.c_str(), "Settings", IniModeRead, 0));         // missing file
  EXPECT_FALSE(store.Open(Folder.Path.c_str(), "Settings", IniModeRead, 0));  // a folder is no file
  EXPECT_FALSE(store.Open(Path.c_str(), "Bad]Name", IniModeWrite, 0));
  EXPECT_FALSE(store.Open(Path.c_str(), "", IniModeWrite, 0));
  EXPECT_FALSE(store.Open(nullptr, "Settings", IniModeWrite, 0));

  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeWrite, IniFlagCreateNew));
  store.Close();
  EXPECT_FALSE(std::filesystem::exists(Path));  // nothing written, nothing created

  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeWrite, IniFlagCreateNew));
  EXPECT_TRUE(store.WriteInt("A", 1));
  store.Close();
  EXPECT_EQ(ReadText(Path), "[Settings]\nA=1\n");

  EXPECT_FALSE(store.Open(Path.c_str(), "Settings", IniModeWrite, IniFlagCreateNew));
  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeWrite, 0));
  EXPECT_TRUE(store.WriteInt("A", 2));
  // Reopening closes, and closing writes.
  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeRead | IniModeWrite, 0));
  int32_t a = 0;
  EXPECT_TRUE(store.ReadInt("A", a));
  EXPECT_EQ(a, 2);
}

TEST_F(IniWrite, EncodingsRoundTrip) {
  IniFileSettings store;
  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeWrite, 0));
  const int32_t array[3] = {-5, 0, 2147483647};
  const uint8_t bytes[3] = {0x0A, 0xBC, 0xFF};
  EXPECT_TRUE(store.WriteInt("Int", -2147483647 - 1));
  EXPECT_TRUE(store.WriteUnsigned("Unsigned", 4000000000u));
  EXPECT_TRUE(store.WriteBool("Yes", true));
  EXPECT_TRUE(store.WriteBool("No", false));
  EXPECT_TRUE(store.WriteIntArray("Array", array, 3));
  EXPECT_TRUE(store.WriteBinary("Binary", bytes, 3));
  EXPECT_TRUE(store.WriteString("Quoted", "\"/home/a b\""));
  EXPECT_TRUE(store.WriteString("Single", "'x'"));
  EXPECT_TRUE(store.WriteString("HalfQuoted", "\"x"));
  EXPECT_TRUE(store.WriteString("Padded", " lead and trail\t"));
  EXPECT_TRUE(store.WriteString("Quote", "\""));
  ASSERT_TRUE(store.Flush());
  store.Close();
  EXPECT_EQ(ReadText(Path),
            "[Settings]\nInt=-2147483648\nUnsigned=4000000000\nYes=yes\nNo=no\nArray=-5,0,2147483647\n"
            "Binary=0ABCFF\nQuoted=\"\"/home/a b\"\"\nSingle=\"'x'\"\nHalfQuoted=\"x\n"
            "Padded=\" lead and trail\t\"\nQuote=\"\n");

  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeRead, 0));
  const std::pair<const char*, const char*> strings[] = {{"Quoted", "\"/home/a b\""},
                                                         {"Single", "'x'"},
                                                         {"HalfQuoted", "\"x"},
                                                         {"Padded", " lead and trail\t"},
                                                         {"Quote", "\""}};
  for (const auto& [key, expected] : strings) {
    SCOPED_TRACE(key);
    char text[64];
    ASSERT_TRUE(store.ReadString(key, text, sizeof text));
    EXPECT_STREQ(text, expected);
  }
  int32_t back[3] = {};
  size_t count = 3;
  EXPECT_TRUE(store.ReadIntArray("Array", back, count));
  EXPECT_EQ(back[0], -5);
  EXPECT_EQ(back[2], 2147483647);
  uint8_t binary[3] = {};
  count = 3;
  EXPECT_TRUE(store.ReadBinary("Binary", binary, count));
  EXPECT_EQ(std::memcmp(binary, bytes, 3), 0);
  uint32_t u = 0;
  EXPECT_TRUE(store.ReadUnsigned("Unsigned", u));
  EXPECT_EQ(u, 4000000000u);
}

// Each row opens a file, changes it (checking each step), closes it and
// compares the text left behind.
TEST_F(IniWrite, ChangesKeepEverythingElseAndRefusedOnesChangeNothing) {
  using Change = void (*)(IniFileSettings&);
  const struct {
    const char* Original;
    const char* Section;
    uint32_t Mode;
    Change Apply;
    const char* Expected;
  } kCases[] = {
      // Updated in place, new keys at the section's end; case, blanks, CR LF and other sections kept.
      {"; settings of the program\r\n[Other]\r\nA=keep\r\n\r\n[SETTINGS]\r\nwidth = 5\r\nUnknown=stays\r\n\r\n"
       "[Last]\r\nZ=1",
       "Settings", IniModeWrite,
       [](IniFileSettings& s) {
         EXPECT_TRUE(s.WriteInt("Width", 6));
         EXPECT_TRUE(s.WriteInt("Height", 7));
       },
       "; settings of the program\r\n[Other]\r\nA=keep\r\n\r\n[SETTINGS]\r\nWidth=6\r\nUnknown=stays\r\n"
       "Height=7\r\n\r\n[Last]\r\nZ=1"},
      // A new section after a last line without its end.
      {"[Other]\nA=1", "Settings", IniModeWrite, [](IniFileSettings& s) { EXPECT_TRUE(s.WriteBool("B", true)); },
       "[Other]\nA=1\n\n[Settings]\nB=yes\n"},
      // Clearing empties only this section, comments included.
      {"[Settings]\nA=1\n; note\nB=2\n\n[Other]\nC=3\n", "settings", IniModeRead | IniModeWrite,
       [](IniFileSettings& s) {
         EXPECT_TRUE(s.ClearSection());
         int32_t v = 0;
         EXPECT_FALSE(s.ReadInt("A", v));
         EXPECT_TRUE(s.WriteInt("D", 4));
       },
       "[Settings]\nD=4\n\n[Other]\nC=3\n"},
      // Text that would break the file is refused.
      {"[Settings]\nA=1\n", "Settings", IniModeWrite,
       [](IniFileSettings& s) {
         EXPECT_FALSE(s.WriteString("A", "dir\n[Evil]\nX=1"));
         EXPECT_FALSE(s.WriteString("A", "cr\rhere"));
         EXPECT_FALSE(s.WriteInt("Key=Value", 1));
         EXPECT_FALSE(s.WriteInt("[Section", 1));
         EXPECT_FALSE(s.WriteInt("", 1));
         EXPECT_FALSE(s.WriteString("A", nullptr));
       },
       "[Settings]\nA=1\n"},
      // A store opened for reading writes nothing.
      {"[Settings]\nA=1\n", "Settings", IniModeRead,
       [](IniFileSettings& s) {
         EXPECT_FALSE(s.WriteInt("A", 2));
         EXPECT_FALSE(s.ClearSection());
       },
       "[Settings]\nA=1\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.Original);
    WriteText(Path, c.Original);
    IniFileSettings store;
    ASSERT_TRUE(store.Open(Path.c_str(), c.Section, c.Mode, 0));
    c.Apply(store);
    store.Close();
    EXPECT_EQ(ReadText(Path), c.Expected);
  }
}

TEST_F(IniWrite, UnreadableExistingFileIsNeverOverwritten) {
  // Too large to load means we could not carry its other keys over.
  std::string big = "[Settings]\nA=1\n";
  big.resize(IniFileSettings::kMaxFileSize + 1, ';');
  WriteText(Path, big);
  IniFileSettings store;
  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeWrite, 0));
  EXPECT_FALSE(store.WriteInt("A", 2));
  EXPECT_TRUE(store.Flush());
  store.Close();
  EXPECT_EQ(std::filesystem::file_size(Path), big.size());
  EXPECT_FALSE(store.Open(Path.c_str(), "Settings", IniModeRead, 0));
}

TEST_F(IniWrite, FlushIntoMissingFolderFails) {
  WriteText(Folder.File("plain"), "x");
  const std::string path = Folder.File("plain/orvelle.ini");
  IniFileSettings store;
  ASSERT_TRUE(store.Open(path.c_str(), "Settings", IniModeWrite, 0));
  EXPECT_TRUE(store.WriteInt("A", 1));
  EXPECT_FALSE(store.Flush());
}

// A disk that fills up half-way through the save: the write of the new
// text fails, the old file must stay whole and no temporary may remain.
TEST_F(IniWrite, FailedWriteLeavesOldFileIntact) {
  const std::string original = "[Settings]\nA=1\n[Other]\nB=2\n";
  WriteText(Path, original);
  IniFileSettings store;
  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeWrite, 0));
  EXPECT_TRUE(store.WriteString("Long", std::string(4096, 'x').c_str()));

  struct rlimit saved;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 1024;
  void (*previous)(int) = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  const bool flushed = store.Flush();
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  EXPECT_FALSE(flushed);
  EXPECT_EQ(ReadText(Path), original);
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Folder.Path)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
  // With room again the same store gets its changes out.
  EXPECT_TRUE(store.Flush());
  int32_t a = 0;
  store.Close();
  ASSERT_TRUE(store.Open(Path.c_str(), "Settings", IniModeRead, 0));
  EXPECT_TRUE(store.ReadInt("A", a));
  EXPECT_EQ(a, 1);
}

TEST(AtomicFile, KeepsPermissionsAndFollowsLinks) {
  TempFolder folder;
  const std::string target = folder.File("real.ini");
  const std::string link = folder.File("link.ini");
  WriteText(target, "old");
  std::filesystem::permissions(target, std::filesystem::perms(0640));
  std::filesystem::create_symlink(target, link);
  ASSERT_TRUE(WriteFileAtomically(link, "new"));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadText(target), "new");
  EXPECT_EQ(std::filesystem::status(target).permissions() & std::filesystem::perms::all, std::filesystem::perms(0640));
}

TEST(AtomicFile, SpecialFilesAreWrittenInPlaceNeverReplaced) {
  TempFolder folder;
  const std::string fifo = folder.File("pipe");
  const std::string link = folder.File("link");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::filesystem::create_symlink(fifo, link);
  // Without a reader the write is refused at once instead of waiting.
  EXPECT_FALSE(WriteFileAtomically(link, "x"));
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  for (const std::string& path : {fifo, link}) {
    ASSERT_TRUE(WriteFileAtomically(path, "data")) << path;
    char got[8] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 4) << path;
    EXPECT_EQ(std::string(got), "data");
  }
  ::close(reader);
  EXPECT_TRUE(WriteFileAtomically("/dev/null", "x"));
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path), {}), 2);
  // Reading a pipe is refused without blocking on its open.
  std::string content;
  EXPECT_FALSE(ReadWholeFile(fifo, content, 100));
}

}  // namespace
