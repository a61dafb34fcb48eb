#include "platform/memory/MemoryRegistry.h"

namespace taloveric {

MemoryRegistry::MemoryRegistry() : hive_(std::make_shared<MemoryHive>()) {
  for (const auto& [root, name] : {std::pair{kHkeyClassesRoot, "HKEY_CLASSES_ROOT"},
                                   {kHkeyCurrentUser, "HKEY_CURRENT_USER"},
                                   {kHkeyLocalMachine, "HKEY_LOCAL_MACHINE"},
                                   {kHkeyUsers, "HKEY_USERS"},
                                   {kHkeyCurrentConfig, "HKEY_CURRENT_CONFIG"}}) {
    roots_[root] = hive_->MakeKey(hive_->Root(), name);
    Mount(root, "", hive_, roots_[root]);
  }
}

void MemoryRegistry::CreateKey(RegKey root, std::string_view path) { hive_->MakeKey(Top(root), path); }

void MemoryRegistry::SetValue(RegKey root, std::string_view path, std::string_view name, RegValue value) {
  hive_->SetValue(hive_->MakeKey(Top(root), path), name, value);
}

void MemoryRegistry::DeleteKey(RegKey root, std::string_view path) { hive_->DeleteKey(Top(root), path); }

void MemoryRegistry::DeleteValue(RegKey root, std::string_view path, std::string_view name) {
  if (const auto key = hive_->FindKey(Top(root), path)) hive_->DeleteValue(*key, name);
}

}  // namespace taloveric
