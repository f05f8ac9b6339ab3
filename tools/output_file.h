// A file adc-record writes: appended to in one write per block, with its
// header rewritten in place. "-" is standard output, which cannot be
// rewritten. Failures are kept with the file's name and the system's reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tools {

class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates or truncates the file; false with Error() set when it cannot.
  bool Open(const std::string& path);
  bool Append(const void* data, std::size_t size);
  // Rewrites bytes already written (the header). Standard output ignores it.
  bool Rewrite(std::uint64_t offset, const void* data, std::size_t size);
  bool Close();
  // Removes the file again (after a failed start), unless it is standard output.
  void Discard();

  bool IsOpen() const { return fd_ >= 0; }
  bool IsStream() const { return path_ == "-"; }
  bool Failed() const { return !error_.empty(); }
  std::uint64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }
  // "cannot write FILE: reason", empty while nothing failed.
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* what, int error_number);

  std::string path_;
  int fd_ = -1;
  std::uint64_t size_ = 0;  // bytes appended that reached the file
  std::string error_;
};

}  // namespace tools
