#include "platform/MountedRegistry.h"

#include <algorithm>

#include "platform/Unicode.h"

namespace taloveric {
namespace {

std::vector<std::string> Split(std::string_view path) {
  const auto parts = SplitKeyPath(path);
  return {parts.begin(), parts.end()};
}

}  // namespace

void MountedRegistry::Mount(RegKey root, std::string_view path, std::shared_ptr<HiveFile> file,
                            HiveFile::Node node) {
  mounts_.push_back({{root, Split(path)}, std::move(file), node});
}

// Finds the file and key for a place: below a mount point, the file's keys; on
// the way to one, a key with no values.
RegStatus MountedRegistry::Resolve(const Place& place, OpenedKey& key) const {
  for (const MountPoint& mount : mounts_) {
    if (mount.at.root != place.root) continue;
    const auto& base = mount.at.path;
    const std::size_t common = std::min(base.size(), place.path.size());
    bool matches = true;
    for (std::size_t i = 0; i < common && matches; ++i) matches = SameRegName(base[i], place.path[i]);
    if (!matches) continue;
    if (place.path.size() < base.size()) {
      key = {place, nullptr, 0};
      return kErrorSuccess;
    }
    HiveFile::Node node = mount.node;
    for (std::size_t i = base.size(); i < place.path.size(); ++i) {
      const auto child = mount.file->Child(node, place.path[i], ansi_);
      if (!child) return kErrorFileNotFound;
      node = *child;
    }
    key = {place, mount.file.get(), node};
    return kErrorSuccess;
  }
  return kErrorFileNotFound;
}

RegStatus MountedRegistry::OpenKey(RegKey parent, std::string_view subKey, std::uint32_t, std::uint32_t,
                                   RegKey* result) {
  Place place;
  if (IsRootKey(parent)) {
    place.root = parent;
  } else {
    const auto it = handles_.find(parent);
    if (it == handles_.end()) return kErrorInvalidHandle;
    if (it->second.file != nullptr && !it->second.file->Exists(it->second.node)) return kErrorKeyDeleted;
    place = it->second.place;
  }
  for (std::string& part : Split(subKey)) place.path.push_back(std::move(part));
  OpenedKey key;
  try {
    const RegStatus status = Resolve(place, key);
    if (status != kErrorSuccess) return status;
  } catch (const SourceError& error) {
    Note(error.what());
    return kErrorFileNotFound;  // a damaged part of the file reads as missing
  }
  const RegKey handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = std::move(key);
  *result = handle;
  return kErrorSuccess;
}

RegStatus MountedRegistry::QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                                      unsigned char* data, std::uint32_t* size) {
  const auto it = handles_.find(key);
  if (it == handles_.end()) return kErrorInvalidHandle;
  if (it->second.file == nullptr) return kErrorFileNotFound;
  if (!it->second.file->Exists(it->second.node)) return kErrorKeyDeleted;
  std::optional<RegValue> value;
  try {
    value = it->second.file->Value(it->second.node, valueName, ansi_);
  } catch (const SourceError& error) {
    Note(error.what());
    return kErrorFileNotFound;
  }
  if (!value) return kErrorFileNotFound;
  // RegQueryValueExA hands a Unicode registry's text out in ANSI, and counts
  // the converted bytes.
  if (value->utf16) value->data = ansi_.ToAnsi(FromUtf16Le(value->data));
  return AnswerQuery(*value, type, data, size);
}

std::optional<std::vector<std::string>> MountedRegistry::SubKeyNames(RegKey key) {
  const auto it = handles_.find(key);
  if (it == handles_.end()) return std::nullopt;
  if (it->second.file == nullptr || !it->second.file->Exists(it->second.node)) return std::vector<std::string>();
  try {
    return it->second.file->ChildNames(it->second.node, ansi_);
  } catch (const SourceError& error) {
    Note(error.what());
    return std::vector<std::string>();
  }
}

void MountedRegistry::Note(const std::string& problem) {
  if (std::find(problems_.begin(), problems_.end(), problem) == problems_.end()) problems_.push_back(problem);
}

RegStatus MountedRegistry::CloseKey(RegKey key) {
  if (IsRootKey(key)) return kErrorSuccess;
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace taloveric
