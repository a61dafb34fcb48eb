#include "platform/offline/NtHiveFile.h"

#include <hivex.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/CodePage.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

struct Free {
  void operator()(void* p) const { std::free(p); }
};
template <class T>
using Malloced = std::unique_ptr<T, Free>;

struct HiveClose {
  void operator()(hive_h* h) const { hivex_close(h); }
};

class NtHiveFile : public HiveFile {
 public:
  NtHiveFile(MemoryFile bytes, const std::string& name) : name_(name) {
    // Windows counts up the first of the header's two sequence numbers before
    // it writes a hive and the second once it is done: differing, the last
    // changes are only in the .LOG1 and .LOG2 files beside it.
    const std::string head = bytes.Head(12);
    if (head.size() >= 12 && head.starts_with("regf") && head.substr(4, 4) != head.substr(8, 4)) {
      caveat_ = "Windows did not finish writing this hive (as after a crash or a power cut); the changes kept in "
                "its .LOG1 and .LOG2 files are not applied, so the newest values may be missing";
    }
    // hivex opens a hive only by a name: it is given the name of the file in
    // memory that this process alone holds, and maps its pages itself.
    // Mapped once: the program's own mapping goes before hivex makes its own.
    bytes.Unmap();
    errno = 0;
    hive_.reset(hivex_open(bytes.Name().c_str(), 0));
    if (!hive_) {
      // hivex answers ENOTSUP for a file whose structure it does not accept.
      const std::string why = errno == ENOTSUP || errno == EINVAL ? "its structure is damaged"
                              : errno != 0                          ? std::strerror(errno)
                                                                    : "unknown error";
      throw SourceError(name_ + ": not a readable Windows NT registry hive (" + why + ")");
    }
    root_ = hivex_root(hive_.get());
    if (root_ == 0) throw SourceError(name_ + ": the hive has no root key");
  }

  Node Root() override { return root_; }

  std::optional<Node> Child(Node key, std::string_view name, const CodePage& ansi) override {
    errno = 0;
    const Malloced<hive_node_h> children(hivex_node_children(hive_.get(), key));
    if (!children) Fail("a key's sub keys");
    for (const hive_node_h* child = children.get(); *child != 0; ++child) {
      const Malloced<char> childName(hivex_node_name(hive_.get(), *child));
      if (!childName) Fail("a key's name");
      if (SameRegName(ansi.ToAnsi(FromUtf8(childName.get())), name)) return *child;
    }
    return std::nullopt;
  }

  std::optional<RegValue> Value(Node key, std::string_view name, const CodePage& ansi) override {
    errno = 0;
    const Malloced<hive_value_h> values(hivex_node_values(hive_.get(), key));
    if (!values) Fail("a key's values");
    for (const hive_value_h* value = values.get(); *value != 0; ++value) {
      const Malloced<char> valueName(hivex_value_key(hive_.get(), *value));
      if (!valueName) Fail("a value's name");
      if (!SameRegName(ansi.ToAnsi(FromUtf8(valueName.get())), name)) continue;
      hive_type stored = hive_t_none;
      std::size_t length = 0;
      const Malloced<char> data(hivex_value_value(hive_.get(), *value, &stored, &length));
      if (!data && length > 0) Fail("a value's data");
      // The type is any 32-bit number a file holds, not only hivex's named
      // ones: copied out as a number, never read as the enumeration.
      std::uint32_t type = 0;
      static_assert(sizeof type == sizeof stored);
      std::memcpy(&type, &stored, sizeof type);
      // The hive keeps strings in UTF-16.
      const bool text = type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
      return RegValue{type, std::string(data ? data.get() : "", data ? length : 0), text};
    }
    return std::nullopt;
  }

 private:
  // hivex reports a damaged hive through errno values of its own choosing
  // (EFAULT, "Bad address", among them): only a failing disk or memory is the
  // system's word; anything else is the file's damage.
  [[noreturn]] void Fail(const char* what) const {
    const bool system = errno == EIO || errno == ENOMEM || errno == EACCES;
    throw SourceError(name_ + ": " + what + " cannot be read (" +
                      (system ? std::strerror(errno) : "the hive is damaged there") + ")");
  }

  std::string Caveat() const override { return caveat_; }

 private:
  std::string name_;
  std::string caveat_;
  std::unique_ptr<hive_h, HiveClose> hive_;
  Node root_ = 0;
};

}  // namespace

std::shared_ptr<HiveFile> OpenNtHiveFile(MemoryFile bytes, const std::string& name) {
  return std::make_shared<NtHiveFile>(std::move(bytes), name);
}

}  // namespace taloveric
