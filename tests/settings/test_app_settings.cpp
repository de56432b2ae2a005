#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <vector>

#include "app/settings/app_settings.h"
#include "app/settings/settings_location.h"
#include "tests/settings/temp_folder.h"

namespace {

// The keys of the settings file, in the order they are written.
const char* const kKeyOrder[] = {
    "WindowLeft",       "WindowTop",        "WindowWidth",     "WindowHeight",      "WindowMaximize",
    "ShowTilingWindow", "TilingWindowLeft", "TilingWindowTop", "TilingWindowWidth", "TilingWindowHeight",
    "ShowStockWindow",  "StockWindowLeft",  "StockWindowTop",  "StockWindowWidth",  "StockWindowHeight",
    "Render",           "Filter",           "Geometric",       "ImageWidth",        "ImageHeight",
    "Square",           "Seamless",         "Number",          "JPEGQuality",       "FileSaveDir",
    "SaveFormat",       "GeneratedCount"};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class AppSettingsFile : public ::testing::Test {
protected:
  AppSettings LoadFrom(const std::string& body) {
    WriteText(Path, "[Settings]\n" + body);
    AppSettings values;
    EXPECT_TRUE(LoadAppSettings(Path, values));
    return values;
  }

  TempFolder Folder;
  std::string Path = Folder.File("orvelle.ini");
};

// Each row loads one file over a copy of the defaults and reads back one key.
TEST_F(AppSettingsFile, LoadRules) {
  using Get = int64_t (*)(const AppSettings&);
  const Get render = [](const AppSettings& v) -> int64_t { return v.Render; };
  const Get width = [](const AppSettings& v) -> int64_t { return v.ImageWidth; };
  const Get height = [](const AppSettings& v) -> int64_t { return v.ImageHeight; };
  const Get number = [](const AppSettings& v) -> int64_t { return v.Number; };
  const Get seamless = [](const AppSettings& v) -> int64_t { return v.Seamless; };
  const struct {
    const char* Body;
    Get Read;
    int64_t Expected;
  } kCases[] = {
      // Choices are clamped into their range, sizes only raised to 1.
      {"Render=9\n", render, 5},
      {"Render=0\n", render, 1},
      {"Filter=-2\n", [](const AppSettings& v) -> int64_t { return v.Filter; }, 0},
      {"Geometric=6\n", [](const AppSettings& v) -> int64_t { return v.Geometric; }, 5},
      {"ImageWidth=0\n", width, 1},
      {"ImageWidth=99999\n", width, 99999},
      {"ImageHeight=-40\n", height, 1},
      {"ImageHeight=99999\n", height, 99999},
      // Numbers read as C literals; no number leaves the default.
      {"Number=0x10\n", number, 16},
      {"Number=010\n", number, 8},
      {"Number=\n", number, 12},
      {"Number=many\n", number, 12},
      {"GeneratedCount=4294967295\n", [](const AppSettings& v) -> int64_t { return v.GeneratedCount; }, 4294967295},
      // Bools take only words: a "1" leaves whatever was there.
      {"Seamless=TRUE\n", seamless, 1},
      {"Seamless=Yes\n", seamless, 1},
      {"Square=no\n", [](const AppSettings& v) -> int64_t { return v.Square; }, 0},
      {"ShowStockWindow=Yes\n", [](const AppSettings& v) -> int64_t { return v.ShowStockWindow; }, 1},
      {"ShowTilingWindow=1\n", [](const AppSettings& v) -> int64_t { return v.ShowTilingWindow; }, 0},
  };
  for (const auto& c : kCases) EXPECT_EQ(c.Read(LoadFrom(c.Body)), c.Expected) << c.Body;
  AppSettings before;
  before.Seamless = false;
  WriteText(Path, "[Settings]\nSeamless=1\n");
  ASSERT_TRUE(LoadAppSettings(Path, before));
  EXPECT_FALSE(before.Seamless);
}

TEST_F(AppSettingsFile, MissingFileOrSectionChangesNothing) {
  AppSettings expected;
  expected.FileSaveDir = "/home/user/Documents";  // set by start-up before loading
  expected.WindowLeft = 660;
  AppSettings values = expected;
  EXPECT_FALSE(LoadAppSettings(Folder.File("absent.ini"), values));
  EXPECT_TRUE(values == expected);
  WriteText(Path, "[Other]\nRender=5\n");
  ASSERT_TRUE(LoadAppSettings(Path, values));
  EXPECT_TRUE(values == expected);
  // An empty folder is no use to the save dialog; the one there stays.
  WriteText(Path, "[Settings]\nFileSaveDir=\n");
  ASSERT_TRUE(LoadAppSettings(Path, values));
  EXPECT_EQ(values.FileSaveDir, "/home/user/Documents");
}

TEST_F(AppSettingsFile, SavingTwiceKeepsOneLinePerKeyInTableOrder) {
  WriteText(Path, "[Other]\nKeep=1\n\n[Settings]\nRender=4\nMyOwnKey=stays\n");
  AppSettings values;
  values.FileSaveDir = "/tmp";
  values.GeneratedCount = 77;
  ASSERT_TRUE(SaveAppSettings(Path, values));
  values.GeneratedCount = 78;
  ASSERT_TRUE(SaveAppSettings(Path, values));

  const std::vector<std::string> lines = Lines(ReadText(Path));
  std::map<std::string, int> counts;
  std::vector<std::string> order;
  for (const std::string& line : lines) {
    const size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    if (++counts[key] == 1 && key != "Keep" && key != "MyOwnKey") order.push_back(key);
  }
  for (const char* key : kKeyOrder) EXPECT_EQ(counts[key], 1) << key;
  EXPECT_EQ(counts["Keep"], 1);
  EXPECT_EQ(counts["MyOwnKey"], 1);
  // Render was already in the file and kept its place; the rest follow in table order.
  std::vector<std::string> expected(std::begin(kKeyOrder), std::end(kKeyOrder));
  expected.erase(expected.begin() + 15);
  expected.insert(expected.begin(), "Render");
  EXPECT_EQ(order, expected);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "GeneratedCount=78"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "MyOwnKey=stays"), lines.end());
}

// Every value differs from its default, so a key that is not read or not
// written changes the text.
TEST_F(AppSettingsFile, EveryKeyRoundTripsToTheSameText) {
  const std::string text =
      "[Settings]\nWindowLeft=-8\nWindowTop=1200\nWindowWidth=1024\nWindowHeight=700\nWindowMaximize=yes\n"
      "ShowTilingWindow=yes\nTilingWindowLeft=5\nTilingWindowTop=6\nTilingWindowWidth=416\nTilingWindowHeight=439\n"
      "ShowStockWindow=yes\nStockWindowLeft=7\nStockWindowTop=8\nStockWindowWidth=500\nStockWindowHeight=501\n"
      "Render=5\nFilter=0\nGeometric=1\nImageWidth=256\nImageHeight=64\nSquare=no\nSeamless=no\nNumber=1000\n"
      "JPEGQuality=75\nFileSaveDir=\"\"/home/user/my textures \xC3\xB1\"\"\nSaveFormat=3\nGeneratedCount=4000000000\n";
  WriteText(Path, text);
  AppSettings values;
  ASSERT_TRUE(LoadAppSettings(Path, values));
  EXPECT_EQ(values.FileSaveDir, "\"/home/user/my textures \xC3\xB1\"");  // quotes of its own are kept
  const std::string copy = Folder.File("copy.ini");
  ASSERT_TRUE(SaveAppSettings(copy, values));
  EXPECT_EQ(ReadText(copy), text);
  AppSettings back;
  ASSERT_TRUE(LoadAppSettings(copy, back));
  EXPECT_TRUE(back == values);
}

TEST_F(AppSettingsFile, SaveDirThatCannotBeStoredKeepsPreviousValue) {
  AppSettings values;
  values.FileSaveDir = "/old";
  ASSERT_TRUE(SaveAppSettings(Path, values));
  values.FileSaveDir = "/new\n[Settings]\nRender=1";
  values.Number = 20;
  EXPECT_FALSE(SaveAppSettings(Path, values));  // reported, but the other keys are saved
  AppSettings back;
  ASSERT_TRUE(LoadAppSettings(Path, back));
  EXPECT_EQ(back.FileSaveDir, "/old");
  EXPECT_EQ(back.Number, 20);
  EXPECT_EQ(back.Render, 2);
}

TEST(AppSettingsDefaults, MainWindowCentredInWorkArea) {
  AppSettings values;
  ApplyDefaultMainPosition(values, 0, 30, 1920, 1050);
  EXPECT_EQ(values.WindowLeft, 660);
  EXPECT_EQ(values.WindowTop, 355);
  ApplyDefaultMainPosition(values, 100, 0, 501, 300);
  EXPECT_EQ(values.WindowLeft, 100 + (501 - 600) / 2);  // -49: halves round toward zero
  EXPECT_EQ(values.WindowTop, -50);
}

// Where the file lives.

EnvironmentLookup Env(std::map<std::string, std::string> vars) {
  return [vars](const char* name) -> std::optional<std::string> {
    auto it = vars.find(name);
    if (it == vars.end()) return std::nullopt;
    return it->second;
  };
}

TEST(SettingsLocation, IniNameFromProgramName) {
  EXPECT_EQ(IniPathBesideExecutable("/opt/orvelle/bin/orvelle"), "/opt/orvelle/bin/orvelle.ini");
  EXPECT_EQ(IniPathBesideExecutable("/opt/my.app/orvelle"), "/opt/my.app/orvelle.ini");
  EXPECT_EQ(IniPathBesideExecutable("/opt/orvelle.bin"), "/opt/orvelle.ini");
  EXPECT_EQ(IniPathBesideExecutable("/opt/.orvelle"), "/opt/.orvelle.ini");
  EXPECT_EQ(IniPathBesideExecutable(""), "");
}

TEST(SettingsLocation, UserPathFromEnvironment) {
  EXPECT_EQ(UserSettingsPath(Env({{"XDG_CONFIG_HOME", "/cfg/"}, {"HOME", "/home/u"}})), "/cfg/orvelle/orvelle.ini");
  EXPECT_EQ(UserSettingsPath(Env({{"HOME", "/home/u"}})), "/home/u/.config/orvelle/orvelle.ini");
  // Relative and empty values do not count.
  EXPECT_EQ(UserSettingsPath(Env({{"XDG_CONFIG_HOME", "cfg"}, {"HOME", "/home/u"}})),
            "/home/u/.config/orvelle/orvelle.ini");
  EXPECT_EQ(UserSettingsPath(Env({{"XDG_CONFIG_HOME", ""}, {"HOME", ""}})), "");
  // The stock's recipe files follow the data folder's rules.
  EXPECT_EQ(StockFolderPath(Env({{"XDG_DATA_HOME", "/data/"}, {"HOME", "/home/u"}})), "/data/orvelle/stock");
  EXPECT_EQ(StockFolderPath(Env({{"XDG_DATA_HOME", "data"}, {"HOME", "/"}})), "/.local/share/orvelle/stock");
  EXPECT_EQ(StockFolderPath(Env({{"HOME", "relative"}})), "");
}

TEST(SettingsLocation, WritableProgramFolderKeepsFileBesideProgram) {
  TempFolder folder;
  const SettingsLocation where =
      LocateSettingsFile(folder.File("orvelle"), Env({{"XDG_CONFIG_HOME", folder.File("cfg")}}));
  EXPECT_EQ(where.LoadPath, folder.File("orvelle.ini"));
  EXPECT_EQ(where.SavePath, folder.File("orvelle.ini"));
}

TEST(SettingsLocation, ReadOnlyProgramFolderFallsBackToUserFolder) {
  TempFolder folder;
  const std::string xdg = folder.File("cfg");
  const auto readOnly = [](const std::string&) { return false; };
  const SettingsLocation where =
      LocateSettingsFile(folder.File("bin/orvelle"), Env({{"XDG_CONFIG_HOME", xdg}}), readOnly);
  EXPECT_EQ(where.LoadPath, xdg + "/orvelle/orvelle.ini");
  EXPECT_EQ(where.SavePath, xdg + "/orvelle/orvelle.ini");

  // Saving creates the folder; the next run reads what was saved.
  AppSettings values;
  values.Number = 42;
  ASSERT_TRUE(SaveAppSettings(where.SavePath, values));
  AppSettings back;
  ASSERT_TRUE(LoadAppSettings(where.LoadPath, back));
  EXPECT_EQ(back.Number, 42);
}

TEST(SettingsLocation, RealCheckRejectsFolderThatCannotHoldFiles) {
  TempFolder folder;
  // The "program folder" is a plain file: nothing can be created in it,
  // whatever the permissions of the user running the test.
  WriteText(folder.File("notafolder"), "x");
  EXPECT_FALSE(IsWritableFolder(folder.File("notafolder")));
  EXPECT_TRUE(IsWritableFolder(folder.Path));
  const SettingsLocation where =
      LocateSettingsFile(folder.File("notafolder/orvelle"), Env({{"HOME", folder.File("home")}}));
  EXPECT_EQ(where.SavePath, folder.File("home/.config/orvelle/orvelle.ini"));
  // The probe leaves nothing behind.
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder.Path)) {
    (void)entry;
    ++files;
  }
  EXPECT_EQ(files, 1u);
}

TEST(SettingsLocation, FileBesideReadOnlyProgramIsReadOnceThenUserFileWins) {
  TempFolder folder;
  const std::string beside = folder.File("orvelle.ini");
  const std::string user = folder.File("cfg/orvelle/orvelle.ini");
  const auto readOnly = [](const std::string&) { return false; };
  const EnvironmentLookup env = Env({{"XDG_CONFIG_HOME", folder.File("cfg")}});
  WriteText(beside, "[Settings]\nNumber=33\n");

  SettingsLocation where = LocateSettingsFile(folder.File("orvelle"), env, readOnly);
  EXPECT_EQ(where.LoadPath, beside);
  EXPECT_EQ(where.SavePath, user);

  AppSettings values;
  ASSERT_TRUE(LoadAppSettings(where.LoadPath, values));
  EXPECT_EQ(values.Number, 33);
  values.Number = 34;
  ASSERT_TRUE(SaveAppSettings(where.SavePath, values));

  where = LocateSettingsFile(folder.File("orvelle"), env, readOnly);
  EXPECT_EQ(where.LoadPath, user);
  EXPECT_EQ(where.SavePath, user);
}

TEST(SettingsLocation, ThisProgramIsFound) {
  const std::string exe = ExecutablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(std::filesystem::exists(exe));
  EXPECT_EQ(LocateSettingsFile().SavePath.empty(), false);
}

}  // namespace
