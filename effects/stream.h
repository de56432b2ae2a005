#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The stream effects write their parameters to and codecs read and write
// images through. Files are plain POSIX descriptors; a memory stream serves
// tests and in-process round trips.
class mvFileStream {
public:
  mvFileStream() = default;
  mvFileStream(const mvFileStream&) = delete;
  mvFileStream& operator=(const mvFileStream&) = delete;
  virtual ~mvFileStream();

  bool OpenForWrite(const char* path);  // create or truncate
  // Only regular files are opened for reading: a FIFO or a device could
  // block forever or never end. errno is EINVAL for anything else.
  bool OpenForRead(const char* path);
  virtual void Close();
  // One read or write of count bytes; the number transferred, 0 on failure.
  virtual uint32_t Read(uint32_t count, void* buffer);
  virtual uint32_t Write(uint32_t count, const void* buffer);
  virtual bool Flush();  // pushes written data to the disk (fsync)
  // Moves the read position forward; false when the stream cannot.
  virtual bool Skip(uint64_t count);
  // Bytes from the read position to the end; false when the stream cannot tell.
  virtual bool BytesLeft(uint64_t& count);

  // Reads exactly count bytes, looping over short reads; false on end or error.
  bool ReadAll(uint32_t count, void* buffer);
  bool WriteAll(uint32_t count, const void* buffer);
  bool ReadU32(uint32_t& v);
  bool WriteU32(uint32_t v);

  uint32_t Mode = 0;  // 0 closed, 1 open on a file
  // False: Flush pushes nothing to the disk (a batch syncs once at its end).
  bool SyncOnFlush = true;

private:
  int* HandleCell = nullptr;
};

// A growable byte buffer with a read position.
class mvMemoryStream : public mvFileStream {
public:
  mvMemoryStream() { Mode = 1; }
  explicit mvMemoryStream(std::vector<uint8_t> bytes) : Data(std::move(bytes)) { Mode = 1; }
  void Close() override {}
  uint32_t Read(uint32_t count, void* buffer) override;
  uint32_t Write(uint32_t count, const void* buffer) override;
  bool Flush() override { return true; }
  bool Skip(uint64_t count) override;
  bool BytesLeft(uint64_t& count) override {
    count = ReadPos < Data.size() ? Data.size() - ReadPos : 0;
    return true;
  }

  std::vector<uint8_t> Data;
  size_t ReadPos = 0;
  // Fails every write once this many bytes are stored (tests of failing disks).
  size_t WriteLimit = SIZE_MAX;
};
