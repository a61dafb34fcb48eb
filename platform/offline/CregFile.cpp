#include "platform/ByteOrder.h"
#include "platform/offline/Bfio.h"
#include "platform/offline/CregFile.h"

#include <libcreg.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace taloveric {
namespace {

struct ErrorFree {
  void operator()(libcreg_error_t* e) const { libcreg_error_free(&e); }
};
using UniqueError = std::unique_ptr<libcreg_error_t, ErrorFree>;

struct FileFree {
  void operator()(libcreg_file_t* f) const {
    libcreg_file_close(f, nullptr);
    libcreg_file_free(&f, nullptr);
  }
};
struct KeyFree {
  void operator()(libcreg_key_t* k) const { libcreg_key_free(&k, nullptr); }
};
struct ValueFree {
  void operator()(libcreg_value_t* v) const { libcreg_value_free(&v, nullptr); }
};
using UniqueKey = std::unique_ptr<libcreg_key_t, KeyFree>;
using UniqueValue = std::unique_ptr<libcreg_value_t, ValueFree>;

std::string Describe(libcreg_error_t* raw) {
  const UniqueError error(raw);
  char text[512] = {};
  if (raw == nullptr || libcreg_error_sprint(raw, text, sizeof text) < 0) return "unreadable";
  std::string message(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '.')) message.pop_back();
  return message;
}

constexpr std::size_t kBlock = 0x20, kEntry = 28, kNone = 0xFFFFFFFF;

// A key's place in the data blocks: its data block number and its id there.
std::uint32_t DataId(std::string_view bytes, std::size_t entry) {
  return static_cast<std::uint32_t>(Le16(bytes, kBlock + entry + 26)) << 16 | Le16(bytes, kBlock + entry + 24);
}

// Every key's name in the data blocks (RGDB), by its DataId. Damaged records
// are passed over: their keys are then looked up through libcreg alone.
std::unordered_map<std::uint32_t, std::string> KeyNames(std::string_view bytes) {
  std::unordered_map<std::uint32_t, std::string> names;
  std::size_t block = Le32(bytes, 8);
  for (std::uint32_t number = 0; number < Le16(bytes, 16) && block + kBlock <= bytes.size(); ++number) {
    if (bytes.compare(block, 4, "RGDB") != 0) break;
    const std::size_t end = std::min<std::size_t>(bytes.size(), block + Le32(bytes, block + 4));
    if (end <= block + kBlock) break;
    for (std::size_t record = block + kBlock; record + 0x14 <= end;) {
      const std::size_t size = Le32(bytes, record);
      const std::size_t nameSize = Le16(bytes, record + 12);
      if (size < 0x14 || size > end - record) break;
      if (0x14 + nameSize <= size) {
        names.try_emplace(static_cast<std::uint32_t>(number) << 16 | Le16(bytes, record + 4),
                          std::string(bytes.substr(record + 0x14, nameSize)));
      }
      record += size;
    }
    block = end;
  }
  return names;
}

// Checks that the key tree of the navigation block (RGKN) is a tree: every
// link inside the block, no key reached twice. libcreg follows the links as
// they stand, and a loop among them would hold it for ever.
void CheckKeyTree(const std::string& name, std::string_view bytes) {
  const auto damaged = [&](const std::string& what) {
    return SourceError(name + ": not a readable Windows 95/98/Me registry file (" + what + ")");
  };
  if (bytes.size() < kBlock + kBlock || bytes.compare(kBlock, 4, "RGKN") != 0) throw damaged("no key block");
  const std::size_t blockSize = Le32(bytes, kBlock + 4);
  if (blockSize < kBlock || blockSize > bytes.size() - kBlock) throw damaged("the key block is cut short");
  const auto valid = [&](std::size_t offset) { return offset >= kBlock && offset <= blockSize - kEntry; };
  const std::size_t root = Le32(bytes, kBlock + 8);
  if (!valid(root)) throw damaged("the root key is outside the key block");
  std::vector<bool> seen(blockSize, false);
  std::vector<std::size_t> pending{root};
  seen[root] = true;
  while (!pending.empty()) {
    const std::size_t key = pending.back();
    pending.pop_back();
    for (std::size_t child = Le32(bytes, kBlock + key + 16); child != kNone;
         child = Le32(bytes, kBlock + child + 20)) {
      if (!valid(child)) throw damaged("a key link points outside the key block");
      if (seen[child]) throw damaged("the keys link back to themselves");
      seen[child] = true;
      pending.push_back(child);
    }
  }
}

class CregFile : public HiveFile {
 public:
  CregFile(MemoryFile bytes, const std::string& name)
      : name_(name), memory_(std::move(bytes)), bytes_(memory_.view()),
        io_([this](std::uint64_t at, char* buffer, std::size_t size) { return Read(at, buffer, size); }, bytes_.size()) {
    CheckKeyTree(name_, bytes_);
    names_ = KeyNames(bytes_);
    // libcreg reads no key in the last 32 bytes of the key block, where
    // Windows keeps keys too: it is handed the block 32 bytes longer, which
    // the links, checked to lie in the block, never reach.
    mended_.resize(4);
    PutLe32(mended_.data(), Le32(bytes_, kBlock + 4) + kBlock);
    Open();
  }

  Node Root() override {
    if (!file_) Open();
    return 0;
  }

  // libcreg's caches are some MiB a file, whatever its size.
  void Rest() override {
    keys_.clear();
    file_.reset();
  }

  // The sub keys are walked along the navigation block's links, and their
  // names read from the data blocks, so that a key with many sub keys costs one
  // pass: libcreg reaches its Nth sub key only by going through those before.
  std::optional<Node> Child(Node key, std::string_view name, const CodePage&) override {
    const std::size_t parent = keys_.at(key).entry;
    int index = 0;
    for (std::size_t child = Le32(bytes_, kBlock + parent + 16); child != kNone;
         child = Le32(bytes_, kBlock + child + 20), ++index) {
      const auto known = names_.find(DataId(bytes_, child));
      if (known != names_.end() && !SameRegName(known->second, name)) continue;
      UniqueKey found = SubKey(key, index);
      if (!SameRegName(NameOf(found.get()), name)) continue;
      keys_.push_back({std::move(found), child});
      return keys_.size() - 1;
    }
    return std::nullopt;
  }

  std::vector<std::string> ChildNames(Node key, const CodePage&) override {
    std::vector<std::string> names;
    int index = 0;
    for (std::size_t child = Le32(bytes_, kBlock + keys_.at(key).entry + 16); child != kNone;
         child = Le32(bytes_, kBlock + child + 20), ++index) {
      const auto known = names_.find(DataId(bytes_, child));
      names.push_back(known != names_.end() ? known->second : NameOf(SubKey(key, index).get()));
    }
    return names;
  }

  std::optional<RegValue> Value(Node key, std::string_view name, const CodePage&) override {
    libcreg_key_t* owner = keys_.at(key).key.get();
    int count = 0;
    libcreg_error_t* error = nullptr;
    if (libcreg_key_get_number_of_values(owner, &count, &error) != 1) Fail("a key's values", error);
    for (int i = 0; i < count; ++i) {
      libcreg_value_t* raw = nullptr;
      if (libcreg_key_get_value_by_index(owner, i, &raw, &error) != 1) Fail("a value", error);
      const UniqueValue value(raw);
      if (!SameRegName(ValueNameOf(value.get()), name)) continue;
      return Read(value.get());
    }
    return std::nullopt;
  }

 private:
  // libcreg opened on the bytes, and the root key as node 0.
  void Open() {
    libcreg_file_t* raw = nullptr;
    libcreg_error_t* error = nullptr;
    if (libcreg_file_initialize(&raw, &error) != 1) throw SourceError(name_ + ": " + Describe(error));
    std::unique_ptr<libcreg_file_t, FileFree> file(raw);
    libbfio_handle_t* handle = io_.Handle();
    if (handle == nullptr) throw SourceError(name_ + ": cannot be read from memory");
    if (libcreg_file_set_ascii_codepage(raw, LIBCREG_CODEPAGE_WINDOWS_1252, &error) != 1 ||
        libcreg_file_open_file_io_handle(raw, handle, LIBCREG_OPEN_READ, &error) != 1) {
      throw SourceError(name_ + ": not a readable Windows 95/98/Me registry file (" + Describe(error) + ")");
    }
    libcreg_key_t* root = nullptr;
    if (libcreg_file_get_root_key(raw, &root, &error) != 1) {
      throw SourceError(name_ + ": not a readable Windows 95/98/Me registry file (" +
                        (error != nullptr ? Describe(error) : std::string("no root key: cut short or damaged")) + ")");
    }
    file_ = std::move(file);
    keys_.push_back({UniqueKey(root), Le32(bytes_, kBlock + 8)});
  }

  // The file's bytes as libcreg is handed them: the key block's size mended.
  long long Read(std::uint64_t at, char* buffer, std::size_t size) const {
    if (at >= bytes_.size()) return 0;
    size = std::min<std::size_t>(size, bytes_.size() - at);
    std::memcpy(buffer, bytes_.data() + at, size);
    for (std::size_t i = 0; i < mended_.size(); ++i) {
      const std::size_t mended = kBlock + 4 + i;
      if (mended >= at && mended < at + size) buffer[mended - at] = mended_[i];
    }
    return static_cast<long long>(size);
  }

  struct Key {
    UniqueKey key;
    std::size_t entry = 0;  // in the navigation block
  };

  UniqueKey SubKey(Node parent, int index) {
    libcreg_key_t* raw = nullptr;
    libcreg_error_t* error = nullptr;
    if (libcreg_key_get_sub_key_by_index(keys_.at(parent).key.get(), index, &raw, &error) != 1) {
      Fail("a sub key", error);
    }
    return UniqueKey(raw);
  }

  [[noreturn]] void Fail(const char* what, libcreg_error_t* error) const {
    throw SourceError(name_ + ": " + what + " cannot be read (" + Describe(error) + ")");
  }

  // A key's or value's name in the file's own code page, through libcreg's
  // pair of calls for its size and its bytes.
  template <class Item>
  std::string NameOf(Item* item, int (*sizeOf)(Item*, std::size_t*, libcreg_error_t**),
                     int (*bytesOf)(Item*, uint8_t*, std::size_t, libcreg_error_t**), const char* what) const {
    std::size_t size = 0;
    libcreg_error_t* error = nullptr;
    if (sizeOf(item, &size, &error) != 1) Fail(what, error);
    std::string name(size, '\0');
    if (size > 0 && bytesOf(item, reinterpret_cast<uint8_t*>(name.data()), size, &error) != 1) Fail(what, error);
    while (!name.empty() && name.back() == '\0') name.pop_back();
    return name;
  }
  std::string NameOf(libcreg_key_t* key) const {
    return NameOf(key, libcreg_key_get_name_size, libcreg_key_get_name, "a key's name");
  }
  std::string ValueNameOf(libcreg_value_t* value) const {
    return NameOf(value, libcreg_value_get_name_size, libcreg_value_get_name, "a value's name");
  }

  RegValue Read(libcreg_value_t* value) const {
    RegValue result;
    libcreg_error_t* error = nullptr;
    if (libcreg_value_get_value_type(value, &result.type, &error) != 1) Fail("a value's type", error);
    std::size_t size = 0;
    if (libcreg_value_get_value_data_size(value, &size, &error) != 1) Fail("a value's data", error);
    result.data.assign(size, '\0');
    if (size > 0 &&
        libcreg_value_get_value_data(value, reinterpret_cast<uint8_t*>(result.data.data()), size, &error) != 1) {
      Fail("a value's data", error);
    }
    // The file keeps strings without their NUL; Windows 9x handed them out
    // with it, and counted it in the size.
    if ((result.type == kRegSz || result.type == kRegExpandSz) &&
        (result.data.empty() || result.data.back() != '\0')) {
      result.data += '\0';
    }
    return result;
  }

  std::string name_;
  MemoryFile memory_;
  std::string_view bytes_;  // the file, for its navigation and data blocks and for libcreg
  std::string mended_;  // what libcreg is handed of the key block's size
  BfioReader io_;      // libcreg's way to bytes_
  std::unordered_map<std::uint32_t, std::string> names_;
  std::unique_ptr<libcreg_file_t, FileFree> file_;
  std::vector<Key> keys_;  // every key found so far; a Node is its index
};

}  // namespace

std::shared_ptr<HiveFile> OpenCregFile(MemoryFile bytes, const std::string& name) {
  return std::make_shared<CregFile>(std::move(bytes), name);
}

}  // namespace taloveric
