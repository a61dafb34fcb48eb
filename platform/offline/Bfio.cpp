#include "platform/offline/Bfio.h"

#include <cstdio>

namespace taloveric {

BfioReader::~BfioReader() {
  if (handle_ != nullptr) libbfio_handle_free(&handle_, nullptr);
}

libbfio_handle_t* BfioReader::Handle() {
  if (handle_ != nullptr) return handle_;
  libbfio_error_t* error = nullptr;
  if (libbfio_handle_initialize(&handle_, reinterpret_cast<intptr_t*>(this), nullptr, nullptr, Open, Close, ReadAt,
                                nullptr, Seek, Exists, IsOpen, Size, 0, &error) != 1) {
    libbfio_error_free(&error);
    handle_ = nullptr;
  }
  return handle_;
}

int BfioReader::Open(intptr_t* io, int, libbfio_error_t**) {
  Of(io).at_ = 0;
  Of(io).open_ = true;
  return 1;
}

int BfioReader::Close(intptr_t* io, libbfio_error_t**) {
  Of(io).open_ = false;
  return 0;
}

ssize_t BfioReader::ReadAt(intptr_t* io, uint8_t* buffer, size_t size, libbfio_error_t**) {
  BfioReader& reader = Of(io);
  if (reader.at_ >= reader.size_) return 0;
  if (size > reader.size_ - reader.at_) size = static_cast<size_t>(reader.size_ - reader.at_);
  const long long got = reader.read_(reader.at_, reinterpret_cast<char*>(buffer), size);
  if (got > 0) reader.at_ += static_cast<std::uint64_t>(got);
  return static_cast<ssize_t>(got);
}

off64_t BfioReader::Seek(intptr_t* io, off64_t offset, int whence, libbfio_error_t**) {
  BfioReader& reader = Of(io);
  const auto base = static_cast<off64_t>(whence == SEEK_CUR ? reader.at_ : whence == SEEK_END ? reader.size_ : 0);
  if (offset < -base) return -1;
  reader.at_ = static_cast<std::uint64_t>(base + offset);
  return static_cast<off64_t>(reader.at_);
}

int BfioReader::Size(intptr_t* io, size64_t* size, libbfio_error_t**) {
  *size = Of(io).size_;
  return 1;
}

}  // namespace taloveric
