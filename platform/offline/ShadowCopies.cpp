#include "platform/offline/ShadowCopies.h"

#include <libvshadow.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <set>

#include "platform/ByteOrder.h"
#include "platform/HiveFile.h"
#include "platform/offline/Bfio.h"
#include "platform/offline/ImageTree.h"
#include "platform/offline/LibyalError.h"

namespace taloveric {
namespace {

// Where a volume keeps the header that says it has shadow copies, and the
// GUID that starts it: 3808876b-c176-4e48-b7ae-04046e6cc752.
constexpr std::uint64_t kHeaderAt = 0x1E00;
constexpr char kShadowCopyId[] = "\x6b\x87\x08\x38\x76\xc1\x48\x4e\xb7\xae\x04\x04\x6e\x6c\xc7\x52";

// What libvshadow says went wrong.
std::string Said(libvshadow_error_t* error) { return Described(error, libvshadow_error_sprint, libvshadow_error_free); }

// A FILETIME as "yyyy-mm-ddThh:mm:ssZ"; empty when it is no time.
std::string DateOf(std::uint64_t filetime) {
  if (filetime < 116444736000000000ULL) return "";
  const std::time_t seconds = static_cast<std::time_t>((filetime - 116444736000000000ULL) / 10000000);
  std::tm utc{};
  char text[32] = {};
  if (::gmtime_r(&seconds, &utc) == nullptr || std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc) == 0) {
    return "";
  }
  return text;
}

// The volume's bytes as libvshadow is handed them: read through The Sleuth
// Kit's image below the file system, at the file system's offset, with the
// links that would lead it astray mended.
class VolumeIo {
 public:
  explicit VolumeIo(TSK_FS_INFO* volume)
      : image_(volume->img_info), base_(static_cast<std::uint64_t>(volume->offset)),
        size_(static_cast<std::uint64_t>(volume->block_count) * volume->block_size),
        bfio_([this](std::uint64_t at, char* buffer, std::size_t size) { return ReadAt(at, buffer, size); }, size_) {}

  libbfio_handle_t* Handle() { return bfio_.Handle(); }
  std::uint64_t Size() const { return size_; }

  // Up to `size` bytes at `offset` of the volume, as mended.
  long long ReadAt(std::uint64_t offset, char* buffer, std::size_t size) const {
    if (offset >= size_) return 0;
    size = static_cast<std::size_t>(std::min<std::uint64_t>(size, size_ - offset));
    const ssize_t got = tsk_img_read(image_, static_cast<TSK_OFF_T>(base_ + offset), buffer, size);
    if (got < 0) {
      tsk_error_reset();
      return got;
    }
    for (const auto& [at, zeros] : mended_) {
      if (at + zeros > offset && at < offset + static_cast<std::uint64_t>(got)) {
        const std::uint64_t from = std::max(at, offset), to = std::min(at + zeros, offset + static_cast<std::uint64_t>(got));
        std::memset(buffer + (from - offset), 0, static_cast<std::size_t>(to - from));
      }
    }
    return got;
  }

  // Reads `zeros` bytes at `at` as zeros from now on: a link that would
  // lead libvshadow round for ever, or out of the volume, reads as none.
  void Mend(std::uint64_t at, std::uint64_t zeros) { mended_.emplace_back(at, zeros); }

 private:
  TSK_IMG_INFO* image_;
  std::uint64_t base_, size_;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> mended_;
  BfioReader bfio_;
};

// A store's bytes: the volume as it was when the copy was made.
class StoreSource : public ByteSource {
 public:
  StoreSource(libvshadow_store_t* store, std::uint64_t size) : store_(store), size_(size) {}
  std::uint64_t Size() const override { return size_; }
  long long Read(std::uint64_t offset, char* buffer, std::size_t size) override {
    libvshadow_error_t* error = nullptr;
    const ssize_t got = libvshadow_store_read_buffer_at_offset(store_, buffer, size, static_cast<off64_t>(offset), &error);
    libvshadow_error_free(&error);
    return got;
  }

 private:
  libvshadow_store_t* store_;
  std::uint64_t size_;
};

constexpr std::uint64_t kBlock = 0x4000;  // of every structure the copies keep
constexpr std::size_t kNextAt = 40;       // in a block's header: the next block of its chain

// Follows a chain of blocks of `type` from `first`: each block where it
// says it is, of its kind, and none twice. A link that leads back, out of
// the volume or to anything else is mended to read as the chain's end, and
// said in `problems`, naming `what` the chain is. The blocks it holds.
std::vector<std::uint64_t> FollowChain(VolumeIo& io, std::uint64_t first, std::uint32_t type, const std::string& what,
                                       std::vector<std::string>& problems) {
  std::vector<std::uint64_t> blocks;
  std::set<std::uint64_t> seen;
  const auto fits = [&](std::uint64_t at) { return at % 512 == 0 && at < io.Size() && io.Size() - at >= kBlock; };
  if (!fits(first)) return blocks;
  for (std::uint64_t at = first;;) {
    char header[128] = {};
    if (io.ReadAt(at, header, sizeof header) != sizeof header) break;
    const std::string_view bytes(header, sizeof header);
    if (std::memcmp(header, kShadowCopyId, 16) != 0 || Le32(bytes, 20) != type) break;
    seen.insert(at);
    blocks.push_back(at);
    const std::uint64_t next = Le64(bytes, kNextAt);
    if (next == 0) break;
    if (seen.count(next) != 0 || !fits(next)) {
      problems.push_back(what + (seen.count(next) != 0 ? " leads back to itself" : " leads out of the volume") +
                         " at byte " + std::to_string(at) + "; read as far as it holds");
      io.Mend(at + kNextAt, 8);
      break;
    }
    at = next;
  }
  return blocks;
}

// Mends every chain the copies keep before libvshadow follows them: the
// catalog, and each store's lists and bitmaps.
void MendChains(VolumeIo& io, std::uint64_t catalog, const std::string& shown, std::vector<std::string>& problems) {
  const std::vector<std::uint64_t> blocks = FollowChain(io, catalog, 2, shown + ": its shadow copies' catalog", problems);
  std::size_t store = 0;
  for (const std::uint64_t block : blocks) {
    for (std::uint64_t entry = block + 128; entry + 128 <= block + kBlock; entry += 128) {
      char bytes[128] = {};
      if (io.ReadAt(entry, bytes, sizeof bytes) != sizeof bytes) break;
      const std::string_view read(bytes, sizeof bytes);
      if (Le64(read, 0) != 3) continue;
      const std::string what = shown + ": the list of a shadow copy's blocks (the catalog's store " +
                               std::to_string(++store) + ")";
      FollowChain(io, Le64(read, 8), 3, what, problems);
      FollowChain(io, Le64(read, 40), 5, what, problems);
      FollowChain(io, Le64(read, 48), 6, what, problems);
      if (Le64(read, 72) != 0) FollowChain(io, Le64(read, 72), 6, what, problems);
    }
  }
}

}  // namespace

struct ShadowCopies::Volume {
  explicit Volume(TSK_FS_INFO* fileSystem) : io(fileSystem) {}
  ~Volume() {
    if (volume != nullptr) {
      libvshadow_volume_close(volume, nullptr);
      libvshadow_volume_free(&volume, nullptr);
    }
  }
  VolumeIo io;
  libvshadow_volume_t* volume = nullptr;
};

namespace {

// One shadow copy as a tree of files: its store read as a disk, its file
// system opened when it is first read.
class ShadowCopyTree : public FileTree {
 public:
  ShadowCopyTree(std::shared_ptr<ShadowCopies::Volume> volume, libvshadow_store_t* store, Place place)
      : volume_(std::move(volume)), store_(store), place_(std::move(place)) {}
  ~ShadowCopyTree() override {
    tree_.reset();
    image_.reset();
    libvshadow_store_free(&store_, nullptr);
  }

  std::optional<FileInfo> Stat(const std::string& file) override {
    return Opened() ? tree_->Stat(file) : std::nullopt;
  }
  std::optional<std::size_t> ReadAt(const std::string& file, std::uint64_t offset, char* buffer,
                                    std::size_t size) override {
    return Opened() ? tree_->ReadAt(file, offset, buffer, size) : std::nullopt;
  }
  MemoryFile ReadAll(const std::string& file, std::uint64_t limit) override {
    if (!Opened()) throw SourceError(Shown(file) + ": cannot be read, as " + problem_);
    return tree_->ReadAll(file, limit);
  }
  Place PlaceOf(const std::string& path) const override { return place_.At("/" + path); }

 protected:
  std::vector<Entry> ReadFolder(const std::string& folder, std::string& problem) override {
    if (!Opened()) {
      problem = Shown(folder) + ": " + problem_;
      return {};
    }
    return tree_->List(folder, &problem);
  }

 private:
  bool Opened() {
    if (tree_ || !problem_.empty()) return tree_ != nullptr;
    size64_t size = 0;
    libvshadow_error_t* error = nullptr;
    if (libvshadow_store_get_volume_size(store_, &size, &error) != 1) {
      problem_ = "the shadow copy cannot be read (" + Said(error) + ")";
      return false;
    }
    std::string why;
    image_.reset(OpenAsImage(std::make_unique<StoreSource>(store_, size), why));
    TSK_FS_INFO* fileSystem = image_ ? tsk_fs_open_img(image_.get(), 0, TSK_FS_TYPE_NTFS_DETECT) : nullptr;
    if (fileSystem == nullptr) {
      problem_ = "the shadow copy's file system cannot be read (" + (why.empty() ? TskError() : why) + ")";
      return false;
    }
    tree_ = std::make_unique<ImageTree>(fileSystem, place_);
    return true;
  }

  std::shared_ptr<ShadowCopies::Volume> volume_;  // which the store reads through
  libvshadow_store_t* store_;
  Place place_;
  UniqueImage image_;
  std::unique_ptr<ImageTree> tree_;
  std::string problem_;  // why it cannot be read, once tried
};

}  // namespace

ShadowCopies::ShadowCopies(TSK_FS_INFO* fileSystem, const Place& place)
    : volume_(std::make_shared<Volume>(fileSystem)) {
  // Most volumes have none: said by the volume's header, before libvshadow is asked.
  char header[16] = {};
  if (volume_->io.ReadAt(kHeaderAt, header, sizeof header) != sizeof header ||
      std::memcmp(header, kShadowCopyId, sizeof header) != 0) {
    return;
  }
  const std::string shown = Describe(place);
  char volumeHeader[64] = {};
  if (volume_->io.ReadAt(kHeaderAt, volumeHeader, sizeof volumeHeader) == sizeof volumeHeader) {
    MendChains(volume_->io, Le64(std::string_view(volumeHeader, sizeof volumeHeader), 48), shown, problems_);
  }
  libvshadow_error_t* error = nullptr;
  libbfio_handle_t* handle = volume_->io.Handle();
  if (handle == nullptr || libvshadow_volume_initialize(&volume_->volume, &error) != 1 ||
      libvshadow_volume_open_file_io_handle(volume_->volume, handle, LIBVSHADOW_OPEN_READ, &error) != 1) {
    problems_.push_back(shown + ": its shadow copies cannot be read (" + Said(error) + ")");
    if (volume_->volume != nullptr) libvshadow_volume_free(&volume_->volume, nullptr);
    return;
  }
  int count = 0;
  if (libvshadow_volume_get_number_of_stores(volume_->volume, &count, &error) != 1) {
    problems_.push_back(shown + ": its shadow copies cannot be read (" + Said(error) + ")");
    return;
  }
  struct Store {
    libvshadow_store_t* store;
    std::uint64_t made;
    int index;
  };
  std::vector<Store> stores;
  for (int i = 0; i < count; ++i) {
    libvshadow_store_t* store = nullptr;
    std::uint64_t made = 0;
    if (libvshadow_volume_get_store(volume_->volume, i, &store, &error) != 1 ||
        libvshadow_store_get_creation_time(store, &made, &error) != 1) {
      problems_.push_back(shown + ": its shadow copy " + std::to_string(i + 1) + " cannot be read (" +
                          Said(error) + ")");
      if (store != nullptr) libvshadow_store_free(&store, nullptr);
      continue;
    }
    stores.push_back({store, made, i});
  }
  // Numbered by age, 1 the oldest, as vshadowinfo numbers them.
  std::stable_sort(stores.begin(), stores.end(), [](const Store& a, const Store& b) { return a.made < b.made; });
  std::size_t older = 0;  // left out
  if (stores.size() > kMost) {
    problems_.push_back(shown + ": holds " + std::to_string(stores.size()) + " shadow copies, more than Windows keeps; "
                        "only the newest " + std::to_string(kMost) + " are read");
    older = stores.size() - kMost;
    for (std::size_t i = 0; i < older; ++i) libvshadow_store_free(&stores[i].store, nullptr);
    stores.erase(stores.begin(), stores.begin() + static_cast<std::ptrdiff_t>(older));
  }
  for (std::size_t i = stores.size(); i-- > 0;) {
    Place copy = place;
    copy.layers.push_back(
        {Layer::Kind::ShadowCopy, "", static_cast<unsigned>(older + i + 1), 0, DateOf(stores[i].made), 0, ""});
    copies_.push_back(std::make_unique<ShadowCopyTree>(volume_, stores[i].store, std::move(copy)));
  }
}

// The copies go before the volume they read through.
ShadowCopies::~ShadowCopies() { copies_.clear(); }

std::vector<FileTree*> ShadowCopies::NewestFirst() const {
  std::vector<FileTree*> out;
  for (const auto& copy : copies_) out.push_back(copy.get());
  return out;
}

}  // namespace taloveric
