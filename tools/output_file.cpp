#include "tools/output_file.h"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace tools {
namespace {

#ifdef _WIN32
int OpenForWriting(const std::string& path) {
  return _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _S_IREAD | _S_IWRITE);
}
long long WriteSome(int fd, const char* data, std::size_t size) {
  return _write(fd, data, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
// Windows has no pwrite: seek there and back to the end.
bool WriteAt(int fd, std::uint64_t offset, const char* data, std::size_t size) {
  if (_lseeki64(fd, static_cast<long long>(offset), SEEK_SET) < 0) return false;
  const bool written = _write(fd, data, static_cast<unsigned>(size)) == static_cast<int>(size);
  return _lseeki64(fd, 0, SEEK_END) >= 0 && written;
}
int CloseFile(int fd) { return _close(fd); }
int StandardOutput() {
  _setmode(1, _O_BINARY);
  return 1;
}
#else
int OpenForWriting(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666); }
long long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }
bool WriteAt(int fd, std::uint64_t offset, const char* data, std::size_t size) {
  return ::pwrite(fd, data, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
}
int CloseFile(int fd) { return ::close(fd); }
int StandardOutput() { return 1; }
#endif

}  // namespace

OutputFile::~OutputFile() {
  if (fd_ >= 0 && !IsStream()) CloseFile(fd_);
}

bool OutputFile::Fail(const char* what, int error_number) {
  if (error_.empty()) error_ = std::string("cannot ") + what + " " + path_ + ": " + std::strerror(error_number);
  return false;
}

bool OutputFile::Open(const std::string& path) {
  path_ = path;
  fd_ = IsStream() ? StandardOutput() : OpenForWriting(path);
  return fd_ >= 0 || Fail("create", errno);
}

bool OutputFile::Append(const void* data, std::size_t size) {
  if (Failed()) return false;
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {  // a write may take only part, as at the end of the space
    const long long written = WriteSome(fd_, bytes, size);
    if (written <= 0) return Fail("write", written < 0 ? errno : ENOSPC);
    size_ += static_cast<std::uint64_t>(written);
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

bool OutputFile::Rewrite(std::uint64_t offset, const void* data, std::size_t size) {
  if (IsStream() || fd_ < 0) return true;
  errno = ENOSPC;  // a short write without errno
  return WriteAt(fd_, offset, static_cast<const char*>(data), size) || Fail("write", errno);
}

bool OutputFile::Close() {
  if (fd_ < 0 || IsStream()) return !Failed();
  const int fd = fd_;
  fd_ = -1;
  if (CloseFile(fd) != 0) Fail("write", errno);
  return !Failed();
}

void OutputFile::Discard() {
  const bool remove = fd_ >= 0 && !IsStream();
  Close();
  if (remove) std::remove(path_.c_str());
}

}  // namespace tools
