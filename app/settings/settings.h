#pragma once
#include <cstddef>
#include <cstdint>

// A typed key/value store. Every read answers false and leaves its
// destination untouched when the key is missing or its text is unusable;
// every write answers whether the store accepted the value.
class SettingsStore {
public:
  virtual ~SettingsStore() = default;

  virtual void Close() = 0;
  virtual bool ClearSection() = 0;

  // count: bytes wanted on entry; on success every one of them was filled.
  virtual bool ReadBinary(const char* key, uint8_t* buffer, size_t& count) = 0;
  virtual bool ReadBool(const char* key, bool& value) = 0;
  // Copies at most bufferSize - 1 bytes and always terminates the text.
  virtual bool ReadString(const char* key, char* buffer, size_t bufferSize) = 0;
  virtual bool ReadUnsigned(const char* key, uint32_t& value) = 0;
  virtual bool ReadInt(const char* key, int32_t& value) = 0;
  // count: room in values on entry, items read on success.
  virtual bool ReadIntArray(const char* key, int32_t* values, size_t& count) = 0;

  virtual bool WriteBinary(const char* key, const uint8_t* bytes, size_t count) = 0;
  virtual bool WriteBool(const char* key, bool value) = 0;
  virtual bool WriteString(const char* key, const char* text) = 0;
  virtual bool WriteUnsigned(const char* key, uint32_t value) = 0;
  virtual bool WriteInt(const char* key, int32_t value) = 0;
  virtual bool WriteIntArray(const char* key, const int32_t* values, size_t count) = 0;
};
