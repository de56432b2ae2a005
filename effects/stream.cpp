#include "effects/stream.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

mvFileStream::~mvFileStream() { mvFileStream::Close(); }

bool mvFileStream::OpenForWrite(const char* path) {
  Close();
  HandleCell = new (std::nothrow) int(-1);
  if (!HandleCell) return false;
  int fd;
  do fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    delete HandleCell;
    HandleCell = nullptr;
    return false;
  }
  *HandleCell = fd;
  Mode = 1;
  return true;
}

bool mvFileStream::OpenForRead(const char* path) {
  Close();
  HandleCell = new (std::nothrow) int(-1);
  if (!HandleCell) return false;
  int fd;
  // Non-blocking first, so that a FIFO without a writer cannot hang the open.
  do fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  struct stat info;
  if (fd >= 0 && (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || ::fcntl(fd, F_SETFL, 0) != 0)) {
    ::close(fd);
    fd = -1;
    errno = EINVAL;
  }
  if (fd < 0) {
    delete HandleCell;
    HandleCell = nullptr;
    return false;
  }
  *HandleCell = fd;
  Mode = 1;
  return true;
}

void mvFileStream::Close() {
  if (HandleCell) {
    if (Mode == 1 && *HandleCell >= 0) ::close(*HandleCell);
    delete HandleCell;
    HandleCell = nullptr;
  }
  Mode = 0;
}

uint32_t mvFileStream::Read(uint32_t count, void* buffer) {
  if (!HandleCell || Mode != 1 || count == 0) return 0;
  ssize_t n;
  do n = ::read(*HandleCell, buffer, count);
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<uint32_t>(n);
}

uint32_t mvFileStream::Write(uint32_t count, const void* buffer) {
  if (!HandleCell || Mode != 1 || count == 0) return 0;
  ssize_t n;
  do n = ::write(*HandleCell, buffer, count);
  while (n < 0 && errno == EINTR);
  return n < 0 ? 0 : static_cast<uint32_t>(n);
}

bool mvFileStream::Flush() {
  if (!HandleCell || Mode != 1) return false;
  return !SyncOnFlush || ::fsync(*HandleCell) == 0;
}

bool mvFileStream::Skip(uint64_t count) {
  if (!HandleCell || Mode != 1) return false;
  return ::lseek(*HandleCell, static_cast<off_t>(count), SEEK_CUR) >= 0;
}

bool mvFileStream::BytesLeft(uint64_t& count) {
  if (!HandleCell || Mode != 1) return false;
  struct stat info;
  const off_t at = ::lseek(*HandleCell, 0, SEEK_CUR);
  if (at < 0 || ::fstat(*HandleCell, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  count = info.st_size > at ? static_cast<uint64_t>(info.st_size - at) : 0;
  return true;
}

bool mvFileStream::ReadAll(uint32_t count, void* buffer) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  while (count > 0) {
    uint32_t n = Read(count, p);
    if (n == 0) return false;
    p += n;
    count -= n;
  }
  return true;
}

bool mvFileStream::WriteAll(uint32_t count, const void* buffer) {
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    uint32_t n = Write(count, p);
    if (n == 0) return false;
    p += n;
    count -= n;
  }
  return true;
}

bool mvFileStream::ReadU32(uint32_t& v) {
  uint8_t b[4];
  if (!ReadAll(4, b)) return false;
  v = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
      static_cast<uint32_t>(b[3]) << 24;
  return true;
}

bool mvFileStream::WriteU32(uint32_t v) {
  uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                  static_cast<uint8_t>(v >> 24)};
  return WriteAll(4, b);
}

uint32_t mvMemoryStream::Read(uint32_t count, void* buffer) {
  if (ReadPos >= Data.size()) return 0;
  size_t n = Data.size() - ReadPos;
  if (n > count) n = count;
  std::memcpy(buffer, Data.data() + ReadPos, n);
  ReadPos += n;
  return static_cast<uint32_t>(n);
}

uint32_t mvMemoryStream::Write(uint32_t count, const void* buffer) {
  if (count == 0 || Data.size() >= WriteLimit) return 0;
  size_t n = count;
  if (n > WriteLimit - Data.size()) n = WriteLimit - Data.size();
  const uint8_t* p = static_cast<const uint8_t*>(buffer);
  Data.insert(Data.end(), p, p + n);
  return static_cast<uint32_t>(n);
}

bool mvMemoryStream::Skip(uint64_t count) {
  if (count > Data.size() - ReadPos) return false;
  ReadPos += static_cast<size_t>(count);
  return true;
}
