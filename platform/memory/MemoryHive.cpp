#include "platform/memory/MemoryHive.h"

#include <limits>

namespace taloveric {
namespace {

std::uint64_t Hash(bool value, HiveFile::Node owner, std::string_view name) {
  std::uint64_t hash = 14695981039346656037ull;
  const auto mix = [&](unsigned char byte) { hash = (hash ^ byte) * 1099511628211ull; };
  mix(value ? 1 : 0);
  for (int i = 0; i < 8; ++i) mix(static_cast<unsigned char>(owner >> (8 * i)));
  for (char c : name) mix(FoldCase(static_cast<unsigned char>(c)));
  return hash;
}

}  // namespace

MemoryHive::MemoryHive() : entries_(1), slots_(64, 0) {}

std::size_t MemoryHive::Bytes() const {
  return bytes_.capacity() + entries_.capacity() * sizeof(Entry) + slots_.capacity() * sizeof(std::uint32_t);
}

std::size_t MemoryHive::KeyBytes() { return sizeof(Entry) + 2 * sizeof(std::uint32_t); }

std::uint32_t MemoryHive::Append(std::string_view bytes) {
  if (bytes_.size() + bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    throw SourceError("a registry in memory cannot hold more than 4 GiB");
  }
  const auto at = static_cast<std::uint32_t>(bytes_.size());
  bytes_.append(bytes);
  return at;
}

std::optional<std::uint32_t> MemoryHive::Find(Kind kind, Node owner, std::string_view name) const {
  const std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = Hash(kind == Kind::Value, owner, name) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const std::uint32_t index = slots_[slot] - 1;
    const Entry& entry = entries_[index];
    if (!entry.deleted && entry.kind == kind && entry.owner == owner && SameRegName(NameOf(entry), name)) return index;
  }
  return std::nullopt;
}

void MemoryHive::Index(std::uint32_t index) {
  const Entry& entry = entries_[index];
  const std::size_t mask = slots_.size() - 1;
  std::size_t slot = Hash(entry.kind == Kind::Value, entry.owner, NameOf(entry)) & mask;
  while (slots_[slot] != 0) slot = (slot + 1) & mask;
  slots_[slot] = index + 1;
}

// Takes a deleted entry out of the index, moving back the entries after it in
// its run of slots, so that no lookup ever probes past what was deleted: an
// export that deletes and adds the same key again and again stays linear.
void MemoryHive::Unindex(std::uint32_t index) {
  const std::size_t mask = slots_.size() - 1;
  std::size_t hole = Hash(entries_[index].kind == Kind::Value, entries_[index].owner, NameOf(entries_[index])) & mask;
  while (slots_[hole] != index + 1) hole = (hole + 1) & mask;
  slots_[hole] = 0;
  for (std::size_t slot = (hole + 1) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    const Entry& entry = entries_[slots_[slot] - 1];
    const std::size_t home = Hash(entry.kind == Kind::Value, entry.owner, NameOf(entry)) & mask;
    // The entry may move into the hole unless its home lies after the hole
    // and up to its slot, going round the end.
    const bool stays = hole <= slot ? (hole < home && home <= slot) : (hole < home || home <= slot);
    if (stays) continue;
    slots_[hole] = slots_[slot];
    slots_[slot] = 0;
    hole = slot;
  }
}

// Doubles the index once it is half full; deleted entries are left out of it.
void MemoryHive::Grow() {
  if (entries_.size() * 2 < slots_.size()) return;
  slots_.assign(slots_.size() * 2, 0);
  for (std::uint32_t i = 1; i < entries_.size(); ++i) {
    if (!entries_[i].deleted) Index(i);
  }
}

std::uint32_t MemoryHive::Add(Kind kind, Node owner, std::string_view name) {
  if (entries_.size() >= std::numeric_limits<std::uint32_t>::max() - 1) {
    throw SourceError("a registry in memory cannot hold so many keys and values");
  }
  Entry entry;
  entry.owner = owner;
  entry.kind = kind;
  entry.name = Append(name);
  entry.nameSize = static_cast<std::uint32_t>(name.size());
  entries_.push_back(entry);
  const auto index = static_cast<std::uint32_t>(entries_.size() - 1);
  Grow();
  Index(index);
  return index;
}

std::optional<HiveFile::Node> MemoryHive::Child(Node key, std::string_view name, const CodePage&) {
  if (const auto index = Find(Kind::Key, key, name)) return *index;
  return std::nullopt;
}

std::optional<RegValue> MemoryHive::Value(Node key, std::string_view name, const CodePage&) {
  const auto index = Find(Kind::Value, key, name);
  if (!index) return std::nullopt;
  const Entry& entry = entries_[*index];
  return RegValue{entry.type, bytes_.substr(entry.data, entry.dataSize), entry.utf16};
}

std::vector<std::string> MemoryHive::ChildNames(Node key, const CodePage&) {
  std::vector<std::string> names;
  for (std::size_t i = 1; i < entries_.size(); ++i) {
    const Entry& entry = entries_[i];
    if (entry.kind == Kind::Key && entry.owner == key && !entry.deleted) names.emplace_back(NameOf(entry));
  }
  return names;
}

bool MemoryHive::Exists(Node key) {
  for (Node at = key;; at = entries_[at].owner) {
    if (entries_[at].deleted) return false;
    if (at == 0) return true;
  }
}

std::optional<HiveFile::Node> MemoryHive::FindKey(Node from, std::string_view path) {
  Node at = from;
  for (std::string_view part : SplitKeyPath(path)) {
    const auto child = Find(Kind::Key, at, part);
    if (!child) return std::nullopt;
    at = *child;
  }
  return at;
}

HiveFile::Node MemoryHive::MakeKey(Node from, std::string_view path) {
  Node at = from;
  for (std::string_view part : SplitKeyPath(path)) {
    const auto child = Find(Kind::Key, at, part);
    at = child ? *child : Add(Kind::Key, at, part);
  }
  return at;
}

void MemoryHive::SetValue(Node key, std::string_view name, const RegValue& value) {
  const auto found = Find(Kind::Value, key, name);
  const std::uint32_t index = found ? *found : Add(Kind::Value, key, name);
  const std::uint32_t data = Append(value.data);
  Entry& entry = entries_[index];
  entry.type = value.type;
  entry.utf16 = value.utf16;
  entry.data = data;
  entry.dataSize = static_cast<std::uint32_t>(value.data.size());
}

void MemoryHive::DeleteKey(Node from, std::string_view path) {
  const auto parts = SplitKeyPath(path);
  if (parts.empty()) return;
  Node parent = from;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    const auto child = Find(Kind::Key, parent, parts[i]);
    if (!child) return;
    parent = *child;
  }
  // The key can no longer be found, nor anything below it; handles still open
  // on them learn from Exists() that they are gone.
  if (const auto index = Find(Kind::Key, parent, parts.back())) {
    entries_[*index].deleted = true;
    Unindex(*index);
  }
}

void MemoryHive::DeleteValue(Node key, std::string_view name) {
  if (const auto index = Find(Kind::Value, key, name)) {
    entries_[*index].deleted = true;
    Unindex(*index);
  }
}

}  // namespace taloveric
