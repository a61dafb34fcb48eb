#pragma once
// Bytes held in an anonymous file in this process's memory (a memfd), mapped
// for the program to read and change: what a registry file is read into,
// once, where it lies. A library that reads only by a file's name (hivex) is
// given this file's own name in /proc/self/fd, which no other process can
// swap, and maps the same pages: the bytes are never copied again.

#include <cstddef>
#include <string>
#include <string_view>

namespace taloveric {

class MemoryFile {
 public:
  MemoryFile() = default;
  // `size` bytes of zeros, or of `bytes`. Throws SourceError naming `shown`
  // when the system gives no memory for them.
  MemoryFile(std::size_t size, const std::string& shown);
  MemoryFile(std::string_view bytes, const std::string& shown);
  // Up to `size` bytes of the open file `fd` from its start, copied
  // by the system without passing through the program; fewer at its end.
  // Throws SourceError naming `shown` when it cannot be read.
  static MemoryFile Copy(int fd, std::size_t size, const std::string& shown);
  MemoryFile(MemoryFile&& other) noexcept;
  MemoryFile& operator=(MemoryFile&& other) noexcept;
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;
  ~MemoryFile();

  // Mapped as they are first asked for.
  char* data();
  std::size_t size() const { return size_; }
  std::string_view view() { return {data(), size_}; }
  // The first bytes, up to `count`, read without mapping the file.
  std::string Head(std::size_t count) const;

  // Grows or shrinks it, the bytes kept as far as both sizes reach and
  // zeros added; the data may move.
  void Resize(std::size_t size);

  // The name under which this process alone opens the file: /proc/self/fd/N.
  std::string Name() const;
  // Drops the program's own mapping once a library holds its own; the file
  // stays for as long as the library has it open.
  void Unmap();

 private:

  int fd_ = -1;
  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::string shown_;  // for messages
};

}  // namespace taloveric
