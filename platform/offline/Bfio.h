#pragma once
// Bytes at an offset handed to a libyal library (libcreg, libvshadow,
// libvhdi, libqcow) through a libbfio handle of its own callbacks: reads and
// seeks, nothing else, and never a file opened by name.

#include <libbfio.h>

#include <cstddef>
#include <cstdint>
#include <functional>

namespace taloveric {

class BfioReader {
 public:
  // Up to `size` bytes at `offset`: how many, fewer at the end, or -1.
  using Read = std::function<long long(std::uint64_t offset, char* buffer, std::size_t size)>;

  BfioReader(Read read, std::uint64_t size) : read_(std::move(read)), size_(size) {}
  BfioReader(const BfioReader&) = delete;
  BfioReader& operator=(const BfioReader&) = delete;
  ~BfioReader();

  // The handle, made when first asked for; null when libbfio cannot make one.
  libbfio_handle_t* Handle();
  std::uint64_t Size() const { return size_; }

 private:
  static BfioReader& Of(intptr_t* io) { return *reinterpret_cast<BfioReader*>(io); }
  static int Open(intptr_t* io, int, libbfio_error_t**);
  static int Close(intptr_t* io, libbfio_error_t**);
  static ssize_t ReadAt(intptr_t* io, uint8_t* buffer, size_t size, libbfio_error_t**);
  static off64_t Seek(intptr_t* io, off64_t offset, int whence, libbfio_error_t**);
  static int Exists(intptr_t*, libbfio_error_t**) { return 1; }
  static int IsOpen(intptr_t* io, libbfio_error_t**) { return Of(io).open_ ? 1 : 0; }
  static int Size(intptr_t* io, size64_t* size, libbfio_error_t**);

  Read read_;
  std::uint64_t size_, at_ = 0;
  bool open_ = false;
  libbfio_handle_t* handle_ = nullptr;
};

}  // namespace taloveric
