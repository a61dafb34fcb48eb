#include "platform/offline/CregFile.h"

#include <libcreg.h>

#include <fstream>
#include <string>
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

std::uint32_t Read32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (std::size_t i = 4; i-- > 0;) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
  return v;
}

// Checks that the key tree of the navigation block (RGKN) is a tree: every
// link inside the block, no key reached twice. libcreg follows the links as
// they stand, and a loop among them would hold it for ever.
void CheckKeyTree(const std::filesystem::path& path) {
  constexpr std::uintmax_t kLargest = 256u << 20;  // far above any Windows 9x registry
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) throw SourceError(path.string() + ": cannot be read (" + ec.message() + ")");
  if (size > kLargest) throw SourceError(path.string() + ": too large for a Windows 95/98/Me registry file");
  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    throw SourceError(path.string() + ": cannot be read to the end");
  }
  const auto damaged = [&](const std::string& what) {
    return SourceError(path.string() + ": not a readable Windows 95/98/Me registry file (" + what + ")");
  };
  constexpr std::size_t kBlock = 0x20, kEntry = 28, kNone = 0xFFFFFFFF;
  if (bytes.size() < kBlock + kBlock || bytes.compare(kBlock, 4, "RGKN") != 0) throw damaged("no key block");
  const std::size_t blockSize = Read32(bytes, kBlock + 4);
  if (blockSize < kBlock || blockSize > bytes.size() - kBlock) throw damaged("the key block is cut short");
  const auto valid = [&](std::size_t offset) { return offset >= kBlock && offset <= blockSize - kEntry; };
  const std::size_t root = Read32(bytes, kBlock + 8);
  if (!valid(root)) throw damaged("the root key is outside the key block");
  std::vector<bool> seen(blockSize, false);
  std::vector<std::size_t> pending{root};
  seen[root] = true;
  while (!pending.empty()) {
    const std::size_t key = pending.back();
    pending.pop_back();
    for (std::size_t child = Read32(bytes, kBlock + key + 16); child != kNone;
         child = Read32(bytes, kBlock + child + 20)) {
      if (!valid(child)) throw damaged("a key link points outside the key block");
      if (seen[child]) throw damaged("the keys link back to themselves");
      seen[child] = true;
      pending.push_back(child);
    }
  }
}

class CregFile : public HiveFile {
 public:
  explicit CregFile(const std::filesystem::path& path) : name_(path.string()) {
    CheckKeyTree(path);
    libcreg_file_t* file = nullptr;
    libcreg_error_t* error = nullptr;
    if (libcreg_file_initialize(&file, &error) != 1) throw SourceError(name_ + ": " + Describe(error));
    file_.reset(file);
    if (libcreg_file_set_ascii_codepage(file, LIBCREG_CODEPAGE_WINDOWS_1252, &error) != 1 ||
        libcreg_file_open(file, name_.c_str(), LIBCREG_OPEN_READ, &error) != 1) {
      throw SourceError(name_ + ": not a readable Windows 95/98/Me registry file (" + Describe(error) + ")");
    }
    libcreg_key_t* root = nullptr;
    if (libcreg_file_get_root_key(file, &root, &error) != 1) {
      throw SourceError(name_ + ": not a readable Windows 95/98/Me registry file (" +
                        (error != nullptr ? Describe(error) : std::string("no root key: cut short or damaged")) + ")");
    }
    keys_.emplace_back(root);
  }

  Node Root() override { return 0; }

  std::optional<Node> Child(Node key, std::string_view name) override {
    libcreg_key_t* parent = keys_.at(key).get();
    int count = 0;
    libcreg_error_t* error = nullptr;
    if (libcreg_key_get_number_of_sub_keys(parent, &count, &error) != 1) Fail("a key's sub keys", error);
    for (int i = 0; i < count; ++i) {
      libcreg_key_t* raw = nullptr;
      if (libcreg_key_get_sub_key_by_index(parent, i, &raw, &error) != 1) Fail("a sub key", error);
      UniqueKey child(raw);
      if (!SameRegName(NameOf(child.get()), name)) continue;
      keys_.push_back(std::move(child));
      return keys_.size() - 1;
    }
    return std::nullopt;
  }

  std::optional<RegValue> Value(Node key, std::string_view name) override {
    libcreg_key_t* owner = keys_.at(key).get();
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
  std::unique_ptr<libcreg_file_t, FileFree> file_;
  std::vector<UniqueKey> keys_;  // every key found so far; a Node is its index
};

}  // namespace

std::shared_ptr<HiveFile> OpenCregFile(const std::filesystem::path& file) { return std::make_shared<CregFile>(file); }

}  // namespace taloveric
