#include "app/settings/app_settings.h"

#include <cstring>
#include <memory>

#include "core/atomic_file.h"
#include "app/settings/ini_file_settings.h"

namespace {

enum class KeyType { Int, Bool, Unsigned, String };
enum class LoadRule { AsRead, Clamp, AtLeastOne };

// One row per key, in the order the file holds them.
struct KeyEntry {
  const char* Key;
  KeyType Type;
  int32_t AppSettings::*IntField = nullptr;
  bool AppSettings::*BoolField = nullptr;
  uint32_t AppSettings::*UnsignedField = nullptr;
  std::string AppSettings::*StringField = nullptr;
  LoadRule Rule = LoadRule::AsRead;
  int32_t Min = 0;
  int32_t Max = 0;
};

constexpr KeyEntry IntKey(const char* key, int32_t AppSettings::*field) { return {key, KeyType::Int, field}; }
constexpr KeyEntry ClampedKey(const char* key, int32_t AppSettings::*field, int32_t min, int32_t max) {
  return {key, KeyType::Int, field, nullptr, nullptr, nullptr, LoadRule::Clamp, min, max};
}
constexpr KeyEntry AtLeastOneKey(const char* key, int32_t AppSettings::*field) {
  return {key, KeyType::Int, field, nullptr, nullptr, nullptr, LoadRule::AtLeastOne};
}
constexpr KeyEntry BoolKey(const char* key, bool AppSettings::*field) { return {key, KeyType::Bool, nullptr, field}; }
constexpr KeyEntry UnsignedKey(const char* key, uint32_t AppSettings::*field) {
  return {key, KeyType::Unsigned, nullptr, nullptr, field};
}
constexpr KeyEntry StringKey(const char* key, std::string AppSettings::*field) {
  return {key, KeyType::String, nullptr, nullptr, nullptr, field};
}

constexpr KeyEntry kKeys[] = {
    IntKey("WindowLeft", &AppSettings::WindowLeft),
    IntKey("WindowTop", &AppSettings::WindowTop),
    IntKey("WindowWidth", &AppSettings::WindowWidth),
    IntKey("WindowHeight", &AppSettings::WindowHeight),
    BoolKey("WindowMaximize", &AppSettings::WindowMaximize),
    BoolKey("ShowTilingWindow", &AppSettings::ShowTilingWindow),
    IntKey("TilingWindowLeft", &AppSettings::TilingWindowLeft),
    IntKey("TilingWindowTop", &AppSettings::TilingWindowTop),
    IntKey("TilingWindowWidth", &AppSettings::TilingWindowWidth),
    IntKey("TilingWindowHeight", &AppSettings::TilingWindowHeight),
    BoolKey("ShowStockWindow", &AppSettings::ShowStockWindow),
    IntKey("StockWindowLeft", &AppSettings::StockWindowLeft),
    IntKey("StockWindowTop", &AppSettings::StockWindowTop),
    IntKey("StockWindowWidth", &AppSettings::StockWindowWidth),
    IntKey("StockWindowHeight", &AppSettings::StockWindowHeight),
    ClampedKey("Render", &AppSettings::Render, 1, 5),
    ClampedKey("Filter", &AppSettings::Filter, 0, 5),
    ClampedKey("Geometric", &AppSettings::Geometric, 0, 5),
    // No upper limit here: the options panel rejects oversized values at
    // the next Generate, with a message the user can act on.
    AtLeastOneKey("ImageWidth", &AppSettings::ImageWidth),
    AtLeastOneKey("ImageHeight", &AppSettings::ImageHeight),
    BoolKey("Square", &AppSettings::Square),
    BoolKey("Seamless", &AppSettings::Seamless),
    IntKey("Number", &AppSettings::Number),
    IntKey("JPEGQuality", &AppSettings::JPEGQuality),
    StringKey("FileSaveDir", &AppSettings::FileSaveDir),
    IntKey("SaveFormat", &AppSettings::SaveFormat),
    UnsignedKey("GeneratedCount", &AppSettings::GeneratedCount),
};
static_assert(sizeof kKeys / sizeof kKeys[0] == 27);

}  // namespace

void ApplyDefaultMainPosition(AppSettings& values, int32_t workLeft, int32_t workTop, int32_t workWidth,
                              int32_t workHeight) {
  constexpr int64_t kDefaultWidth = 600;
  constexpr int64_t kDefaultHeight = 400;
  // 64-bit intermediates: a hostile work area must not overflow.
  const int64_t left = workLeft + (static_cast<int64_t>(workWidth) - kDefaultWidth) / 2;
  const int64_t top = workTop + (static_cast<int64_t>(workHeight) - kDefaultHeight) / 2;
  auto toInt32 = [](int64_t v) {
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
  };
  values.WindowLeft = toInt32(left);
  values.WindowTop = toInt32(top);
  values.WindowWidth = static_cast<int32_t>(kDefaultWidth);
  values.WindowHeight = static_cast<int32_t>(kDefaultHeight);
}

void ReadAppSettings(SettingsStore& store, AppSettings& values) {
  for (const KeyEntry& entry : kKeys) {
    switch (entry.Type) {
      case KeyType::Int: {
        int32_t value = 0;
        if (!store.ReadInt(entry.Key, value)) break;
        if (entry.Rule == LoadRule::Clamp)
          value = value < entry.Min ? entry.Min : (value > entry.Max ? entry.Max : value);
        if (entry.Rule == LoadRule::AtLeastOne && value < 1) value = 1;
        values.*entry.IntField = value;
        break;
      }
      case KeyType::Bool: (void)store.ReadBool(entry.Key, values.*entry.BoolField); break;
      case KeyType::Unsigned: (void)store.ReadUnsigned(entry.Key, values.*entry.UnsignedField); break;
      case KeyType::String: {
        auto buffer = std::make_unique<char[]>(kFileSaveDirCapacity);
        // An empty folder name is no folder; the default serves better.
        if (store.ReadString(entry.Key, buffer.get(), kFileSaveDirCapacity) && buffer[0] != '\0') {
          values.*entry.StringField = buffer.get();
        }
        break;
      }
    }
  }
}

bool WriteAppSettings(SettingsStore& store, const AppSettings& values) {
  bool allWritten = true;
  for (const KeyEntry& entry : kKeys) {
    bool written = false;
    switch (entry.Type) {
      case KeyType::Int: written = store.WriteInt(entry.Key, values.*entry.IntField); break;
      case KeyType::Bool: written = store.WriteBool(entry.Key, values.*entry.BoolField); break;
      case KeyType::Unsigned: written = store.WriteUnsigned(entry.Key, values.*entry.UnsignedField); break;
      case KeyType::String: {
        const std::string& text = values.*entry.StringField;
        // A text longer than the load buffer would come back cut short;
        // keeping the key's previous value is the lesser harm.
        written = text.size() < kFileSaveDirCapacity && std::strlen(text.c_str()) == text.size() &&
                  store.WriteString(entry.Key, text.c_str());
        break;
      }
    }
    allWritten = allWritten && written;
  }
  return allWritten;
}

bool LoadAppSettings(const std::string& path, AppSettings& values) {
  IniFileSettings store;
  if (path.empty() || !store.Open(path.c_str(), kSettingsSection, IniModeRead, 0)) return false;
  ReadAppSettings(store, values);
  store.Close();
  return true;
}

bool SaveAppSettings(const std::string& path, const AppSettings& values) {
  if (path.empty()) return false;
  const size_t slash = path.rfind('/');
  // The per-user folder may not exist yet; private to the user as the
  // desktop conventions ask for configuration folders.
  if (slash != std::string::npos && slash > 0 && !CreateFolders(path.substr(0, slash), 0700)) return false;
  IniFileSettings store;
  if (!store.Open(path.c_str(), kSettingsSection, IniModeWrite, 0)) return false;
  const bool allWritten = WriteAppSettings(store, values);
  const bool flushed = store.Flush();
  store.Close();
  return allWritten && flushed;
}
