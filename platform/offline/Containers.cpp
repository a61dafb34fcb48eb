#include "platform/offline/Containers.h"

// Debian's libvhdi and libqcow export their libbfio entry points but say so
// in no header of theirs.
#define LIBVHDI_HAVE_BFIO 1
#define LIBQCOW_HAVE_BFIO 1

#include <libewf.h>
#include <libqcow.h>
#include <libvhdi.h>
#include <libvmdk.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/HiveFile.h"
#include "platform/offline/Bfio.h"
#include "platform/offline/LibyalError.h"
#include "platform/offline/VdiDisk.h"
#include "platform/posix/FileIdentity.h"

namespace taloveric {
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Unreadable(const SourceFile& image, const std::string& kind, const std::string& why) {
  throw SourceError(image.Path().string() + ": not a " + kind + " that can be read (" + why + ")");
}

[[noreturn]] void HoldsOnlyChanges(const SourceFile& image, const std::string& what) {
  throw SourceError(image.Path().string() + ": " + what + ", which is not followed; convert the two into one "
                    "disk first (qemu-img convert -O raw)");
}

// A part a library opens by name: a plain name of a regular file beside the
// image, or a link to one there.
void CheckPart(const SourceFile& image, const std::string& part) {
  const bool plainName = !part.empty() && part.find('/') == std::string::npos && part != "." && part != "..";
  if (!plainName || !RegularFileBeside(image.Path().parent_path() / part)) {
    throw SourceError(image.Path().string() + ": its part \"" + part +
                      "\" is not a regular file beside it; the parts of a disk image must be files in its folder");
  }
}

// A handle of one of libyal's libraries, closed and freed once with the
// library's own functions (a handle that never opened is closed harmlessly).
template <typename Handle, auto Close, auto Free>
class LibraryHandle {
 public:
  LibraryHandle() = default;
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;
  ~LibraryHandle() {
    if (handle_ != nullptr) {
      Close(handle_, nullptr);
      Free(&handle_, nullptr);
    }
  }
  Handle* get() const { return handle_; }
  Handle** put() { return &handle_; }

 private:
  Handle* handle_ = nullptr;
};

// Reads `size` bytes at `offset` of a descriptor, as pread gives them.
long long ReadDescriptor(int fd, std::uint64_t offset, char* buffer, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(fd, buffer + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return done > 0 ? static_cast<long long>(done) : -1;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  return static_cast<long long>(done);
}

// A raw image, a disk itself, or a split raw image's parts one after another.
class RawSource : public ByteSource {
 public:
  explicit RawSource(const SourceFile& image) {
    Add(::dup(image.Descriptor()), image.Size(), image);
    // disk.001, then disk.002 and on while they are there.
    const std::string extension = image.Path().extension().string();
    const bool split = extension.size() > 1 && std::all_of(extension.begin() + 1, extension.end(), ::isdigit);
    for (unsigned long part = split ? std::stoul(extension.substr(1)) + 1 : 0; split; ++part) {
      std::string number = std::to_string(part);
      if (number.size() > extension.size() - 1) break;
      number.insert(0, extension.size() - 1 - number.size(), '0');
      fs::path next = image.Path();
      next.replace_extension("." + number);
      std::error_code ec;
      if (!fs::exists(next, ec)) break;
      const SourceFile file(next);
      Add(::dup(file.Descriptor()), file.Size(), file);
    }
  }
  RawSource(const RawSource&) = delete;
  RawSource& operator=(const RawSource&) = delete;
  ~RawSource() override {
    for (const Part& part : parts_) ::close(part.fd);
  }

  std::uint64_t Size() const override { return size_; }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    long long done = 0;
    for (const Part& part : parts_) {
      if (size == 0) break;
      if (offset >= part.start + part.size) continue;
      const std::uint64_t within = offset - part.start;
      const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(size, part.size - within));
      const long long got = ReadDescriptor(part.fd, within, buffer, count);
      if (got < 0) return done > 0 ? done : -1;
      done += got;
      if (static_cast<std::size_t>(got) < count) break;
      offset += count;
      buffer += count;
      size -= count;
    }
    return done;
  }

 private:
  struct Part {
    int fd;
    std::uint64_t start, size;
  };
  void Add(int fd, std::uint64_t size, const SourceFile& file) {
    if (fd < 0) throw SourceError(file.Path().string() + ": cannot be read (" + std::strerror(errno) + ")");
    parts_.push_back({fd, size_, size});
    size_ += size;
  }

  std::vector<Part> parts_;
  std::uint64_t size_ = 0;
};

// The image's own descriptor as libbfio hands it to a library.
class DescriptorIo {
 public:
  explicit DescriptorIo(const SourceFile& image)
      : fd_(::dup(image.Descriptor())),
        bfio_([this](std::uint64_t at, char* buffer, std::size_t size) { return ReadDescriptor(fd_, at, buffer, size); },
              image.Size()) {
    if (fd_ < 0) throw SourceError(image.Path().string() + ": cannot be read (" + std::strerror(errno) + ")");
  }
  DescriptorIo(const DescriptorIo&) = delete;
  DescriptorIo& operator=(const DescriptorIo&) = delete;
  ~DescriptorIo() {
    if (fd_ >= 0) ::close(fd_);
  }
  libbfio_handle_t* Handle() { return bfio_.Handle(); }

 private:
  int fd_;
  BfioReader bfio_;
};

// VHD of Virtual PC and VHDX of Hyper-V, through libvhdi.
class VhdiSource : public ByteSource {
 public:
  VhdiSource(const SourceFile& image, const std::string& kind) : io_(image) {
    libvhdi_error_t* error = nullptr;
    std::uint32_t type = 0;
    if (libvhdi_file_initialize(file_.put(), &error) != 1 ||
        libvhdi_file_open_file_io_handle(file_.get(), io_.Handle(), LIBVHDI_OPEN_READ, &error) != 1 ||
        libvhdi_file_get_disk_type(file_.get(), &type, &error) != 1 ||
        libvhdi_file_get_media_size(file_.get(), &size_, &error) != 1) {
      Unreadable(image, kind, Described(error, libvhdi_error_sprint, libvhdi_error_free));
    }
    if (type == LIBVHDI_DISK_TYPE_DIFFERENTIAL) HoldsOnlyChanges(image, "a differencing " + kind + " that refers to a parent disk");
  }
  std::uint64_t Size() const override { return size_; }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    return libvhdi_file_read_buffer_at_offset(file_.get(), buffer, size, static_cast<off64_t>(offset), nullptr);
  }

 private:
  DescriptorIo io_;  // which the file reads through: made first, gone last
  LibraryHandle<libvhdi_file_t, libvhdi_file_close, libvhdi_file_free> file_;
  size64_t size_ = 0;
};

// QEMU's QCOW2, through libqcow.
class QcowSource : public ByteSource {
 public:
  explicit QcowSource(const SourceFile& image) : io_(image) {
    libqcow_error_t* error = nullptr;
    if (libqcow_file_initialize(file_.put(), &error) != 1 ||
        libqcow_file_open_file_io_handle(file_.get(), io_.Handle(), LIBQCOW_OPEN_READ, &error) != 1 ||
        libqcow_file_get_media_size(file_.get(), &size_, &error) != 1) {
      Unreadable(image, "QCOW2 disk", Described(error, libqcow_error_sprint, libqcow_error_free));
    }
  }
  std::uint64_t Size() const override { return size_; }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    return libqcow_file_read_buffer_at_offset(file_.get(), buffer, size, static_cast<off64_t>(offset), nullptr);
  }

 private:
  DescriptorIo io_;
  LibraryHandle<libqcow_file_t, libqcow_file_close, libqcow_file_free> file_;
  size64_t size_ = 0;
};

// VMware's VMDK, through libvmdk, which reads the descriptor (a file of its
// own, or inside a sparse extent, wherever the format puts it) and then opens
// the extents it names: each is checked, as libvmdk read its name, before.
class VmdkSource : public ByteSource {
 public:
  explicit VmdkSource(const SourceFile& image) {
    libvmdk_error_t* error = nullptr;
    const auto fail = [&] { Unreadable(image, "VMDK disk", Described(error, libvmdk_error_sprint, libvmdk_error_free)); };
    if (libvmdk_handle_initialize(handle_.put(), &error) != 1 ||
        libvmdk_handle_open(handle_.get(), image.Path().c_str(), LIBVMDK_OPEN_READ, &error) != 1) {
      fail();
    }
    std::uint32_t parent = 0;
    const int hasParent = libvmdk_handle_get_parent_content_identifier(handle_.get(), &parent, &error);
    std::size_t hintSize = 0;
    const int hasHint = libvmdk_handle_get_utf8_parent_filename_size(handle_.get(), &hintSize, &error);
    libvmdk_error_free(&error);
    if ((hasParent == 1 && parent != 0xFFFFFFFF) || (hasHint == 1 && hintSize > 1)) {
      HoldsOnlyChanges(image, "a VMDK disk that refers to a parent disk");
    }
    int extents = 0;
    if (libvmdk_handle_get_number_of_extents(handle_.get(), &extents, &error) != 1) fail();
    for (int i = 0; i < extents; ++i) {
      libvmdk_extent_descriptor_t* extent = nullptr;
      std::size_t size = 0;
      if (libvmdk_handle_get_extent_descriptor(handle_.get(), i, &extent, &error) != 1 ||
          libvmdk_extent_descriptor_get_utf8_filename_size(extent, &size, &error) != 1) {
        libvmdk_extent_descriptor_free(&extent, nullptr);
        fail();
      }
      std::string name(size, '\0');
      const int named = size > 0 ? libvmdk_extent_descriptor_get_utf8_filename(
                                       extent, reinterpret_cast<uint8_t*>(name.data()), size, &error)
                                 : 1;
      libvmdk_extent_descriptor_free(&extent, nullptr);
      if (named != 1) fail();
      while (!name.empty() && name.back() == '\0') name.pop_back();
      CheckPart(image, name);
    }
    const std::string folder = image.Path().has_parent_path() ? image.Path().parent_path().string() : ".";
    if (libvmdk_handle_set_extent_data_files_path(handle_.get(), folder.c_str(), folder.size(), &error) != 1 ||
        libvmdk_handle_open_extent_data_files(handle_.get(), &error) != 1 ||
        libvmdk_handle_get_media_size(handle_.get(), &size_, &error) != 1) {
      fail();
    }
  }
  std::uint64_t Size() const override { return size_; }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    return libvmdk_handle_read_buffer_at_offset(handle_.get(), buffer, size, static_cast<off64_t>(offset), nullptr);
  }

 private:
  LibraryHandle<libvmdk_handle_t, libvmdk_handle_close, libvmdk_handle_free> handle_;
  size64_t size_ = 0;
};

// An E01 set, through libewf: its segments as libewf finds them, each checked.
class EwfSource : public ByteSource {
 public:
  explicit EwfSource(const SourceFile& image) {
    libewf_error_t* error = nullptr;
    const auto fail = [&] { Unreadable(image, "E01 image", Described(error, libewf_error_sprint, libewf_error_free)); };
    char** names = nullptr;
    int count = 0;
    const std::string path = image.Path().string();
    if (libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &names, &count, &error) != 1) fail();
    struct Globbed {
      char** names;
      int count;
      ~Globbed() { libewf_glob_free(names, count, nullptr); }
    } globbed{names, count};
    for (int i = 0; i < count; ++i) {
      const fs::path segment = names[i];
      if (segment.filename() != image.Path().filename()) CheckPart(image, segment.filename().string());
    }
    if (libewf_handle_initialize(handle_.put(), &error) != 1 ||
        libewf_handle_open(handle_.get(), names, count, LIBEWF_OPEN_READ, &error) != 1 ||
        libewf_handle_get_media_size(handle_.get(), &size_, &error) != 1) {
      fail();
    }
  }
  std::uint64_t Size() const override { return size_; }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    return libewf_handle_read_random(handle_.get(), buffer, size, static_cast<off64_t>(offset), nullptr);
  }

 private:
  LibraryHandle<libewf_handle_t, libewf_handle_close, libewf_handle_free> handle_;
  size64_t size_ = 0;
};

// A VirtualBox disk, read by VdiDisk.
class VdiSource : public ByteSource {
 public:
  explicit VdiSource(const SourceFile& image) : disk_(image.Path()) {}
  std::uint64_t Size() const override { return disk_.Size(); }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override { return disk_.Read(offset, buffer, size); }

 private:
  VdiDisk disk_;
};

}  // namespace

std::unique_ptr<ByteSource> OpenContainer(const SourceFile& image, Kind kind) {
  switch (kind) {
    case Kind::Vhd: return std::make_unique<VhdiSource>(image, "VHD disk");
    case Kind::Vhdx: return std::make_unique<VhdiSource>(image, "VHDX disk");
    case Kind::Qcow2: return std::make_unique<QcowSource>(image);
    case Kind::Vmdk: return std::make_unique<VmdkSource>(image);
    case Kind::E01: return std::make_unique<EwfSource>(image);
    case Kind::Vdi: return std::make_unique<VdiSource>(image);
    default: return std::make_unique<RawSource>(image);
  }
}

}  // namespace taloveric
