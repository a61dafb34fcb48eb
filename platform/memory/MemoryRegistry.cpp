#include "platform/memory/MemoryRegistry.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace taloveric {

struct MemoryRegistry::Node {
  std::map<std::string, std::unique_ptr<Node>, RegNameLess> subkeys;
  std::map<std::string, RegValue, RegNameLess> values;
};

namespace {

// Upper case of a byte in the ANSI code page, for the letters of ASCII and of
// Windows-1252 (the registry folds case on every letter it knows).
unsigned char FoldCase(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
    default: return c;
  }
}

bool IsRoot(RegKey key) { return key >= kHkeyClassesRoot && key <= kHkeyCurrentConfig; }

}  // namespace

std::vector<std::string_view> SplitKeyPath(std::string_view path) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t end = std::min(path.find('\\', start), path.size());
    if (end > start) parts.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

bool SameRegName(std::string_view a, std::string_view b) { return !RegNameLess{}(a, b) && !RegNameLess{}(b, a); }

bool RegNameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return FoldCase(static_cast<unsigned char>(x)) < FoldCase(static_cast<unsigned char>(y));
  });
}

RegValue StringValue(std::string_view ansi) {
  RegValue value{kRegSz, std::string(ansi)};
  value.data += '\0';
  return value;
}

RegValue DwordValue(std::uint32_t v) {
  RegValue value{kRegDword, std::string(4, '\0')};
  for (int i = 0; i < 4; ++i) value.data[static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return value;
}

RegKey RootKeyByName(std::string_view name) {
  static const std::map<std::string_view, RegKey, RegNameLess> kRoots = {
      {"HKEY_CLASSES_ROOT", kHkeyClassesRoot},   {"HKCR", kHkeyClassesRoot},
      {"HKEY_CURRENT_USER", kHkeyCurrentUser},   {"HKCU", kHkeyCurrentUser},
      {"HKEY_LOCAL_MACHINE", kHkeyLocalMachine}, {"HKLM", kHkeyLocalMachine},
      {"HKEY_USERS", kHkeyUsers},                {"HKU", kHkeyUsers},
      {"HKEY_CURRENT_CONFIG", kHkeyCurrentConfig}, {"HKCC", kHkeyCurrentConfig},
  };
  const auto it = kRoots.find(name);
  return it == kRoots.end() ? 0 : it->second;
}

MemoryRegistry::MemoryRegistry() = default;
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::Root(RegKey root) {
  if (!IsRoot(root)) return nullptr;
  auto& node = roots_[root];
  if (!node) node = std::make_unique<Node>();
  return node.get();
}

MemoryRegistry::Node* MemoryRegistry::Find(Node* from, std::string_view path) {
  for (std::string_view part : SplitKeyPath(path)) {
    if (from == nullptr) return nullptr;
    const auto it = from->subkeys.find(part);
    from = it == from->subkeys.end() ? nullptr : it->second.get();
  }
  return from;
}

MemoryRegistry::Node* MemoryRegistry::Make(RegKey root, std::string_view path) {
  Node* node = Root(root);
  for (std::string_view part : SplitKeyPath(path)) {
    if (node == nullptr) return nullptr;
    auto& child = node->subkeys[std::string(part)];
    if (!child) child = std::make_unique<Node>();
    node = child.get();
  }
  return node;
}

MemoryRegistry::Node* MemoryRegistry::Resolve(RegKey key) {
  if (IsRoot(key)) return Root(key);
  const auto it = handles_.find(key);
  return it == handles_.end() ? nullptr : it->second;
}

void MemoryRegistry::CreateKey(RegKey root, std::string_view path) { Make(root, path); }

void MemoryRegistry::SetValue(RegKey root, std::string_view path, std::string_view name,
                              RegValue value) {
  if (Node* node = Make(root, path)) node->values[std::string(name)] = std::move(value);
}

void MemoryRegistry::DeleteKey(RegKey root, std::string_view path) {
  const auto parts = SplitKeyPath(path);
  if (parts.empty()) return;
  Node* parent = Root(root);
  for (std::size_t i = 0; parent != nullptr && i + 1 < parts.size(); ++i) {
    const auto it = parent->subkeys.find(parts[i]);
    parent = it == parent->subkeys.end() ? nullptr : it->second.get();
  }
  if (parent == nullptr) return;
  const auto it = parent->subkeys.find(parts.back());
  if (it == parent->subkeys.end()) return;
  // Handles into the deleted tree answer as closed keys from now on.
  std::vector<const Node*> doomed{it->second.get()};
  for (std::size_t i = 0; i < doomed.size(); ++i) {
    for (const auto& [name, child] : doomed[i]->subkeys) doomed.push_back(child.get());
  }
  std::erase_if(handles_, [&](const auto& entry) {
    return std::find(doomed.begin(), doomed.end(), entry.second) != doomed.end();
  });
  parent->subkeys.erase(it);
}

void MemoryRegistry::DeleteValue(RegKey root, std::string_view path, std::string_view name) {
  if (Node* node = Find(Root(root), path)) {
    const auto it = node->values.find(name);
    if (it != node->values.end()) node->values.erase(it);
  }
}

RegStatus MemoryRegistry::OpenKey(RegKey parent, std::string_view subKey, std::uint32_t,
                                  std::uint32_t, RegKey* result) {
  Node* from = Resolve(parent);
  if (from == nullptr) return kErrorInvalidHandle;
  Node* node = Find(from, subKey);
  if (node == nullptr) return kErrorFileNotFound;
  const RegKey handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = node;
  *result = handle;
  return kErrorSuccess;
}

RegStatus MemoryRegistry::QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) {
  Node* node = Resolve(key);
  if (node == nullptr) return kErrorInvalidHandle;
  const auto it = node->values.find(valueName);
  if (it == node->values.end()) return kErrorFileNotFound;
  return AnswerQuery(it->second, type, data, size);
}

RegStatus AnswerQuery(const RegValue& value, std::uint32_t* type, unsigned char* data, std::uint32_t* size) {
  const auto needed = static_cast<std::uint32_t>(value.data.size());
  if (type != nullptr) *type = value.type;
  if (size == nullptr) return data == nullptr ? kErrorSuccess : kErrorInvalidParameter;
  if (data != nullptr && *size < needed) {
    *size = needed;
    return kErrorMoreData;
  }
  if (data != nullptr && needed > 0) std::memcpy(data, value.data.data(), needed);
  *size = needed;
  return kErrorSuccess;
}

RegStatus MemoryRegistry::CloseKey(RegKey key) {
  if (IsRoot(key)) return kErrorSuccess;
  return handles_.erase(key) == 1 ? kErrorSuccess : kErrorInvalidHandle;
}

}  // namespace taloveric

