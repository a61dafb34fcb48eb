#pragma once
// The Sleuth Kit's side of a disk's layers: its handles, each owned, and any
// reader of bytes at an offset (a container library, a shadow copy's store)
// seen by it as an image of its own, as tsk_img_open_external lets it be, for
// the layer above to read through.

#include <tsk/libtsk.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace taloveric {

struct ImageClose {
  void operator()(TSK_IMG_INFO* image) const { tsk_img_close(image); }
};
struct VolumesClose {
  void operator()(TSK_VS_INFO* volumes) const { tsk_vs_close(volumes); }
};
struct FsClose {
  void operator()(TSK_FS_INFO* fileSystem) const { tsk_fs_close(fileSystem); }
};
struct FileClose {
  void operator()(TSK_FS_FILE* file) const { tsk_fs_file_close(file); }
};
struct DirClose {
  void operator()(TSK_FS_DIR* dir) const { tsk_fs_dir_close(dir); }
};
using UniqueImage = std::unique_ptr<TSK_IMG_INFO, ImageClose>;
using UniqueFs = std::unique_ptr<TSK_FS_INFO, FsClose>;

// Bytes at an offset, as a layer reads the one below it.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Up to `size` bytes at `offset` into `buffer`: how many, fewer at the
  // end, or -1 when they cannot be read.
  virtual long long Read(std::uint64_t offset, char* buffer, std::size_t size) = 0;
};

// `source` as an image The Sleuth Kit reads, which then owns it; null with
// `why` set when it cannot be made one.
TSK_IMG_INFO* OpenAsImage(std::unique_ptr<ByteSource> source, std::string& why);

// The Sleuth Kit's last error, taken: it says no more of it after.
std::string TskError();

}  // namespace taloveric
