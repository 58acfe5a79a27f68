#include "osa/xosafio.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

std::atomic<osa::testing::ReadFn> readFn{&::read};
std::atomic<osa::testing::WriteFn> writeFn{&::write};

constexpr mode_t kFileMode = 0644;
constexpr mode_t kDirMode = 0700;
constexpr std::int32_t kNoBuffer = -17;

// Copies path into a 256-byte buffer; false for a null path or one that would
// not leave room for its terminator.
bool CopyPath(const char* path, char (&buffer)[kOsaPathSize]) {
  if (path == nullptr) return false;
  const std::size_t n = strnlen(path, kOsaPathSize);
  if (n >= static_cast<std::size_t>(kOsaPathSize)) return false;
  std::memset(buffer, 0, sizeof buffer);
  std::memcpy(buffer, path, n);
  return true;
}

// A descriptor that holds its whole-file lock from open to close.
class LockedFd {
 public:
  LockedFd(const char* path, int flags, int lock) : fd_(::open(path, flags, kFileMode)) {
    if (fd_ >= 0) ::flock(fd_, lock);
  }
  LockedFd(const LockedFd&) = delete;
  LockedFd& operator=(const LockedFd&) = delete;
  ~LockedFd() { Close(); }
  void Close() {
    if (fd_ < 0) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
  }
  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  int fd_;
};

// The file's size through its own descriptor and shared lock; -1 when it cannot
// be opened or does not fit a 32-bit size.
off_t SizeOf(const char* path) {
  LockedFd f(path, O_RDONLY, LOCK_SH);
  if (!f.ok()) return -1;
  const off_t end = ::lseek(f.fd(), 0, SEEK_END);
  if (end < 0 || end > INT_MAX) return -1;
  return end;
}

// Moves exactly n bytes at offset; false on any shortfall.
bool ReadChunk(int fd, off_t offset, std::uint8_t* buf, std::size_t n) {
  if (::lseek(fd, offset, SEEK_SET) != offset) return false;
  return readFn.load()(fd, buf, n) == static_cast<ssize_t>(n);
}
bool WriteChunk(int fd, off_t offset, const std::uint8_t* buf, std::size_t n) {
  if (::lseek(fd, offset, SEEK_SET) != offset) return false;
  return writeFn.load()(fd, buf, n) == static_cast<ssize_t>(n);
}

}  // namespace

extern "C" std::int32_t OSA_OpenFile(const char* path, std::uint32_t flags, OSA_File* file) {
  if (file == nullptr) return -1;
  file->descriptor = -1;
  if (!CopyPath(path, file->path)) {
    std::memset(file->path, 0, sizeof file->path);
    return -1;
  }
  const bool readOnly = (flags & OSA_FILE_READONLY) != 0;
  int mode = readOnly ? O_RDONLY : O_RDWR;
  if (flags & OSA_FILE_CREATE) mode |= O_CREAT | O_TRUNC;
  file->descriptor = ::open(file->path, mode, kFileMode);
  if (file->descriptor < 0) {
    file->descriptor = -1;
    return -1;
  }
  ::flock(file->descriptor, readOnly ? LOCK_SH : LOCK_EX);
  return 0;
}

extern "C" std::int32_t OSA_CreateFile(const char* path, std::uint32_t flags, OSA_File* file) {
  return OSA_OpenFile(path, flags | OSA_FILE_CREATE, file);
}

extern "C" void OSA_CloseFile(OSA_File* file) {
  if (file == nullptr || file->descriptor < 0) return;
  ::flock(file->descriptor, LOCK_UN);
  ::close(file->descriptor);
  file->descriptor = -1;
}

extern "C" std::int32_t OSA_ReadBytes(OSA_File* file, std::int32_t offset, void* buf, std::int32_t size,
                                      std::int32_t* got) {
  if (file == nullptr || buf == nullptr || got == nullptr || size < 0) return -1;
  if (::lseek(file->descriptor, offset, SEEK_SET) < 0) return -1;
  const ssize_t n = readFn.load()(file->descriptor, buf, static_cast<std::size_t>(size));
  if (n < 0) return -1;
  *got = static_cast<std::int32_t>(n);
  return 0;
}

extern "C" std::int32_t OSA_WriteBytes(OSA_File* file, std::int32_t offset, const void* data, std::int32_t len,
                                       std::int32_t* put) {
  if (file == nullptr || data == nullptr || put == nullptr) return -1;
  *put = -1;
  // A failed seek would put the bytes wherever the descriptor happens to be.
  if (len < 0 || ::lseek(file->descriptor, offset, SEEK_SET) < 0) return -1;
  const ssize_t n = writeFn.load()(file->descriptor, data, static_cast<std::size_t>(len));
  *put = static_cast<std::int32_t>(n);
  return n == len ? 0 : -1;
}

extern "C" std::int32_t OSA_ReadFile(const char* path, std::uint8_t** out, std::int32_t* size) {
  if (out == nullptr || size == nullptr) return -1;
  *out = nullptr;
  *size = 0;
  char p[kOsaPathSize];
  if (!CopyPath(path, p)) return -1;
  const off_t noted = SizeOf(p);
  if (noted < 0) return -1;

  LockedFd f(p, O_RDONLY, LOCK_SH);
  if (!f.ok()) return -1;
  *size = static_cast<std::int32_t>(noted);
  // One byte more than asked, so an empty file still gets its own allocation.
  auto* data = static_cast<std::uint8_t*>(std::malloc(static_cast<std::size_t>(noted) + 1));
  if (data == nullptr) return -1;
  bool ok = true;
  for (off_t at = 0; ok && at < noted; at += kOsaChunkSize) {
    const off_t n = noted - at < kOsaChunkSize ? noted - at : kOsaChunkSize;
    ok = ReadChunk(f.fd(), at, data + at, static_cast<std::size_t>(n));
  }
  f.Close();
  if (!ok) {
    std::free(data);
    return -1;
  }
  *out = data;
  return 0;
}

extern "C" std::int32_t OSA_WriteFile(const char* path, const void* data, std::int32_t len) {
  char p[kOsaPathSize];
  if (!CopyPath(path, p) || len < 0 || (data == nullptr && len > 0)) return -1;
  ::unlink(p);
  LockedFd f(p, O_RDWR | O_CREAT | O_TRUNC, LOCK_EX);
  if (!f.ok()) return -1;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  for (std::int32_t at = 0; at < len; at += kOsaChunkSize) {
    const std::int32_t n = len - at < kOsaChunkSize ? len - at : kOsaChunkSize;
    if (!WriteChunk(f.fd(), at, bytes + at, static_cast<std::size_t>(n))) return -1;
  }
  return 0;
}

extern "C" std::int32_t OSA_CopyFile(const char* destination, const char* source) {
  char dst[kOsaPathSize], src[kOsaPathSize];
  if (!CopyPath(destination, dst) || !CopyPath(source, src)) return -1;
  auto* buffer = static_cast<std::uint8_t*>(std::malloc(kOsaChunkSize));
  if (buffer == nullptr) return kNoBuffer;
  std::int32_t result = -1;
  const off_t total = SizeOf(src);
  if (total >= 0) {
    LockedFd in(src, O_RDONLY, LOCK_SH);
    if (in.ok()) {
      LockedFd out(dst, O_RDWR | O_CREAT | O_TRUNC, LOCK_EX);
      if (out.ok()) {
        result = 0;
        off_t at = 0;
        for (; result == 0 && total - at > kOsaChunkSize; at += kOsaChunkSize) {
          if (!ReadChunk(in.fd(), at, buffer, kOsaChunkSize) || !WriteChunk(out.fd(), at, buffer, kOsaChunkSize))
            result = -1;
        }
        const auto rest = static_cast<std::size_t>(total - at);
        if (result == 0 && rest > 0) {
          if (!ReadChunk(in.fd(), at, buffer, rest) || !WriteChunk(out.fd(), at, buffer, rest)) result = -1;
        }
        // The source is let go first, then the destination.
        in.Close();
      }
    }
  }
  std::free(buffer);
  return result;
}

extern "C" std::int32_t OSA_DeleteFile(const char* path) {
  char p[kOsaPathSize];
  if (!CopyPath(path, p)) return -1;
  return ::unlink(p) == 0 ? 0 : -1;
}

extern "C" std::int32_t OSA_FileExist(const char* path) {
  char p[kOsaPathSize];
  if (!CopyPath(path, p)) return -1;
  LockedFd f(p, O_RDONLY, LOCK_SH);
  return f.ok() ? 0 : -1;
}

extern "C" std::int32_t OSA_GetFileSize(const char* path, std::int32_t* size) {
  if (size == nullptr) return -1;
  *size = 0;
  char p[kOsaPathSize];
  if (!CopyPath(path, p)) return -1;
  const off_t n = SizeOf(p);
  if (n < 0) return -1;
  *size = static_cast<std::int32_t>(n);
  return 0;
}

extern "C" std::int32_t OSA_Mkdir(const char* path) {
  char p[kOsaPathSize];
  if (!CopyPath(path, p)) return -1;
  return ::mkdir(p, kDirMode) == 0 ? 0 : -1;
}

extern "C" std::int32_t OSA_ExpandPath(const char* source, char* destination, std::int32_t len) {
  if (source == nullptr || destination == nullptr || len <= 0) return 0;
  std::strncpy(destination, source, static_cast<std::size_t>(len));
  return 0;
}

void osa::testing::SetFileIo(ReadFn read, WriteFn write) {
  readFn.store(read != nullptr ? read : &::read);
  writeFn.store(write != nullptr ? write : &::write);
}
