#pragma once
#include <cstdint>
#include <string>

#include "app/settings/settings.h"

// Section of the settings file that holds the program's keys.
inline constexpr const char* kSettingsSection = "Settings";
// Room for FileSaveDir, terminator included: a whole Linux path.
inline constexpr size_t kFileSaveDirCapacity = 4096;

// The program's settings, each named by its key in the settings file.
// Read once at start, written once at the end; the windows and commands
// read and change them in between. The desktop program's Program owns them.
struct AppSettings {
  // The start-up code centres the main window in the work area
  // (ApplyDefaultMainPosition) before loading.
  int32_t WindowLeft = 0;
  int32_t WindowTop = 0;
  int32_t WindowWidth = 600;
  int32_t WindowHeight = 400;
  bool WindowMaximize = false;
  bool ShowTilingWindow = false;
  int32_t TilingWindowLeft = 32;
  int32_t TilingWindowTop = 32;
  // The start-up code replaces these by the outer size of a window whose
  // client area is 400 x 400.
  int32_t TilingWindowWidth = 400;
  int32_t TilingWindowHeight = 400;
  bool ShowStockWindow = false;
  int32_t StockWindowLeft = 32;
  int32_t StockWindowTop = 32;
  int32_t StockWindowWidth = 320;
  int32_t StockWindowHeight = 320;
  int32_t Render = 2;
  int32_t Filter = 3;
  int32_t Geometric = 3;
  int32_t ImageWidth = 120;
  int32_t ImageHeight = 120;
  bool Square = true;
  bool Seamless = true;
  int32_t Number = 12;
  int32_t JPEGQuality = 90;
  // The start-up code sets the documents folder, else the current directory.
  std::string FileSaveDir;
  int32_t SaveFormat = 1;  // 1 = BMP, 2 = JPEG, 3 = PNG
  uint32_t GeneratedCount = 0;

  bool operator==(const AppSettings&) const = default;
};

// Centres the default 600 x 400 main window in a work area.
void ApplyDefaultMainPosition(AppSettings& values, int32_t workLeft, int32_t workTop, int32_t workWidth,
                              int32_t workHeight);

// Reads every key in the file's order, applying its load rule; a key that is
// missing or unusable leaves its value alone.
void ReadAppSettings(SettingsStore& store, AppSettings& values);
// Writes every key in the same order; true when every write was accepted.
bool WriteAppSettings(SettingsStore& store, const AppSettings& values);

// Loads from the file at path; false (and nothing changed) when there is no
// readable file.
bool LoadAppSettings(const std::string& path, AppSettings& values);
// Saves into the file at path, creating its folder when needed, and updates
// the file in place: other keys and sections survive. False when the file
// could not be written; the previous file is then left as it was.
bool SaveAppSettings(const std::string& path, const AppSettings& values);
