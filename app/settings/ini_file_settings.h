#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings/settings.h"

// Mode bits of IniFileSettings::Open.
enum : uint32_t { IniModeRead = 1, IniModeWrite = 2 };
// Open flag: refuse to open for writing when the file already exists.
enum : uint32_t { IniFlagCreateNew = 1 };

// One section of an INI file, read and written by us with the long-standing
// rules of such files: section and key names compared ignoring case, blanks
// around values trimmed, one pair of matching surrounding quotes stripped on
// read. Keys, sections, comments and line endings we do not touch are kept
// as they were.
//
// Writes collect in memory and reach the disk in one atomic replacement at
// Flush or Close, so an interrupted save never leaves half a file behind.
class IniFileSettings : public SettingsStore {
public:
  IniFileSettings() = default;
  IniFileSettings(const IniFileSettings&) = delete;
  IniFileSettings& operator=(const IniFileSettings&) = delete;
  ~IniFileSettings() override;

  // Closes first if open. Opening only for reading fails when the file
  // cannot be read; opening for writing with IniFlagCreateNew fails when the
  // file exists.
  bool Open(const char* path, const char* section, uint32_t mode, uint32_t flags);
  // Writes pending changes to disk; true when there was nothing to write or
  // the new file is in place. Close calls it and drops the answer.
  bool Flush();
  bool IsOpen() const { return Opened; }

  void Close() override;
  bool ClearSection() override;

  bool ReadBinary(const char* key, uint8_t* buffer, size_t& count) override;
  bool ReadBool(const char* key, bool& value) override;
  bool ReadString(const char* key, char* buffer, size_t bufferSize) override;
  bool ReadUnsigned(const char* key, uint32_t& value) override;
  bool ReadInt(const char* key, int32_t& value) override;
  bool ReadIntArray(const char* key, int32_t* values, size_t& count) override;

  bool WriteBinary(const char* key, const uint8_t* bytes, size_t count) override;
  bool WriteBool(const char* key, bool value) override;
  bool WriteString(const char* key, const char* text) override;
  bool WriteUnsigned(const char* key, uint32_t value) override;
  bool WriteInt(const char* key, int32_t value) override;
  bool WriteIntArray(const char* key, const int32_t* values, size_t count) override;

  // Settings files are small; anything larger is not ours to rewrite.
  static constexpr size_t kMaxFileSize = 16u << 20;

private:
  struct Line {
    std::string Text;  // without its line ending
    std::string End;   // "\r\n", "\n", or "" for a last line without one
  };

  bool FindValue(const char* key, std::string& value) const;
  bool WriteValue(const char* key, const std::string& value);
  bool CanWrite() const;
  size_t FindSection() const;
  size_t SectionEnd(size_t header) const;
  size_t FindKey(size_t header, const char* key) const;
  void Parse(const std::string& content);
  std::string Serialize() const;
  std::string NewLineStyle() const;

  bool Opened = false;
  uint32_t Mode = 0;
  std::string Path;
  std::string Section;

  std::vector<Line> Lines;
  bool HasBom = false;
  bool Loaded = false;  // false when an existing file could not be read
  bool Dirty = false;
};
