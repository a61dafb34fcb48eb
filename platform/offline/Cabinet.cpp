#include "platform/offline/Cabinet.h"

#include <mspack.h>

#include <memory>

#include "platform/Unicode.h"

namespace taloveric {
namespace fs = std::filesystem;

std::optional<fs::path> ExtractFromCabinet(const fs::path& cabinet, const std::string& name, const fs::path& to) {
  const std::unique_ptr<mscab_decompressor, void (*)(mscab_decompressor*)> reader(
      mspack_create_cab_decompressor(nullptr), mspack_destroy_cab_decompressor);
  if (!reader) return std::nullopt;
  mscabd_cabinet* opened = reader->open(reader.get(), cabinet.c_str());
  if (opened == nullptr) return std::nullopt;
  std::optional<fs::path> out;
  for (mscabd_file* file = opened->files; file != nullptr; file = file->next) {
    std::string stored = file->filename != nullptr ? file->filename : "";
    stored = stored.substr(stored.find_last_of("\\/") == std::string::npos ? 0 : stored.find_last_of("\\/") + 1);
    if (AsciiLower(stored) != AsciiLower(name)) continue;
    const fs::path target = to / name;
    if (reader->extract(reader.get(), file, target.c_str()) == MSPACK_ERR_OK) out = target;
    break;
  }
  reader->close(reader.get(), opened);
  return out;
}

}  // namespace taloveric
