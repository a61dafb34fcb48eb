#include "platform/offline/Cabinet.h"

#include <mspack.h>

#include <algorithm>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/HiveFile.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

// libmspack's files, all in memory: the one cabinet it reads, and the one
// file it writes, which takes at most `limit` bytes.
struct MemoryFile {
  std::string_view in;
  std::string* out = nullptr;
  std::size_t at = 0;
};

// What libmspack would print of a damaged cabinet: the caller says it.
void Quiet(mspack_file*, const char*, ...) {}

struct MemorySystem : mspack_system {
  std::string_view cabinet;
  std::string extracted;
  std::size_t limit = 0;

  MemorySystem() : mspack_system{} {
    open = [](mspack_system* self, const char* name, int mode) -> mspack_file* {
      auto* system = static_cast<MemorySystem*>(self);
      // The names are this code's own: "cabinet" to read, "out" to write.
      if (mode == MSPACK_SYS_OPEN_READ && std::strcmp(name, "cabinet") == 0) {
        return reinterpret_cast<mspack_file*>(new MemoryFile{system->cabinet, nullptr, 0});
      }
      if (mode == MSPACK_SYS_OPEN_WRITE && std::strcmp(name, "out") == 0) {
        system->extracted.clear();
        return reinterpret_cast<mspack_file*>(new MemoryFile{{}, &system->extracted, 0});
      }
      return nullptr;
    };
    close = [](mspack_file* file) { delete reinterpret_cast<MemoryFile*>(file); };
    read = [](mspack_file* file, void* buffer, int bytes) -> int {
      auto* f = reinterpret_cast<MemoryFile*>(file);
      if (bytes < 0) return -1;
      const std::size_t count = std::min(static_cast<std::size_t>(bytes), f->in.size() - std::min(f->at, f->in.size()));
      std::memcpy(buffer, f->in.data() + f->at, count);
      f->at += count;
      return static_cast<int>(count);
    };
    write = [](mspack_file* file, void* buffer, int bytes) -> int {
      auto* f = reinterpret_cast<MemoryFile*>(file);
      if (f->out == nullptr || bytes < 0) return -1;
      f->out->append(static_cast<const char*>(buffer), static_cast<std::size_t>(bytes));
      return bytes;
    };
    seek = [](mspack_file* file, off_t offset, int mode) -> int {
      auto* f = reinterpret_cast<MemoryFile*>(file);
      const off_t base = mode == MSPACK_SYS_SEEK_CUR ? static_cast<off_t>(f->at)
                         : mode == MSPACK_SYS_SEEK_END ? static_cast<off_t>(f->in.size())
                                                       : 0;
      if (base + offset < 0 || base + offset > static_cast<off_t>(f->in.size())) return -1;
      f->at = static_cast<std::size_t>(base + offset);
      return 0;
    };
    tell = [](mspack_file* file) -> off_t { return static_cast<off_t>(reinterpret_cast<MemoryFile*>(file)->at); };
    message = Quiet;
    alloc = [](mspack_system*, size_t bytes) -> void* { return std::malloc(bytes); };
    free = [](void* pointer) { std::free(pointer); };
    copy = [](void* from, void* to, size_t bytes) { std::memmove(to, from, bytes); };
  }
};

}  // namespace

std::optional<std::string> ExtractFromCabinet(std::string_view cabinet, const std::string& name, std::uint64_t limit,
                                              const std::string& shown) {
  MemorySystem system;
  system.cabinet = cabinet;
  const std::unique_ptr<mscab_decompressor, void (*)(mscab_decompressor*)> reader(
      mspack_create_cab_decompressor(&system), mspack_destroy_cab_decompressor);
  if (!reader) return std::nullopt;
  mscabd_cabinet* opened = reader->open(reader.get(), "cabinet");
  if (opened == nullptr) return std::nullopt;
  const std::unique_ptr<mscabd_cabinet, std::function<void(mscabd_cabinet*)>> closer(
      opened, [&](mscabd_cabinet* each) { reader->close(reader.get(), each); });
  for (mscabd_file* file = opened->files; file != nullptr; file = file->next) {
    std::string stored = file->filename != nullptr ? file->filename : "";
    stored = stored.substr(stored.find_last_of("\\/") == std::string::npos ? 0 : stored.find_last_of("\\/") + 1);
    if (AsciiLower(stored) != AsciiLower(name)) continue;
    if (file->length > limit) {
      throw SourceError(shown + ": its " + name + " would unpack to " + std::to_string(file->length) +
                        " bytes, more than any registry file holds");
    }
    if (reader->extract(reader.get(), file, "out") != MSPACK_ERR_OK) return std::nullopt;
    return std::move(system.extracted);
  }
  return std::nullopt;
}

}  // namespace taloveric
