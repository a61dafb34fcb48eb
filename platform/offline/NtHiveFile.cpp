#include "platform/offline/NtHiveFile.h"

#include <hivex.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/ByteOrder.h"
#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "platform/offline/HiveRecovery.h"

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
  NtHiveFile(MemoryFile bytes, const std::string& name, const HiveLogReader& logs) : name_(name) {
    const std::string head = bytes.Head(kBaseBlock);
    // Windows NT 3.1 and 3.5 wrote hives of versions 1.1 and 1.2, whose cells
    // hivex does not read.
    if (head.size() >= 28 && head.starts_with("regf") && Le32(head, 20) == 1 && Le32(head, 24) < 3) {
      throw SourceError(name_ + ": a registry hive of Windows NT 3.1 or 3.5 (format version 1." +
                        std::to_string(Le32(head, 24)) + "), which cannot be read here");
    }
    HiveUndo undo;  // the hive without its logs, should what they make of it not be readable
    if (HiveIsDirty(head)) {
      std::vector<HiveLogFile> found = logs ? logs() : std::vector<HiveLogFile>();
      std::vector<HiveLog> views;
      for (HiveLogFile& log : found) {
        if (log.problem.empty()) {
          views.push_back({log.shown, log.bytes.view()});
        } else {
          caveats_.push_back(log.problem + "; it is not applied, so the report may lack the newest changes");
        }
      }
      const HiveRecovery recovery = RecoverHive(bytes, views, kLargestRegistryFile, undo);
      for (const std::string& problem : recovery.problems) {
        caveats_.push_back(problem + ", so the report may lack the newest changes");
      }
      if (!recovery.applied.empty()) {
        std::string logNames;
        for (const std::string& log : recovery.applied) logNames += (logNames.empty() ? "" : " and ") + log;
        notes_.push_back(name_ + ": Windows had not finished writing this hive; the changes it kept in " + logNames +
                         " were applied, as Windows applies them when it starts");
      } else {
        caveats_.push_back(std::string("Windows did not finish writing this hive (as after a crash or a power cut), ") +
                           (found.empty() ? "and no transaction log (.LOG1, .LOG2, .LOG) lies beside it"
                                          : "and its logs hold none of the changes it lacks") +
                           ", so the newest values may be missing");
      }
    }
    Open(bytes);
    if (!hive_ && !notes_.empty()) {
      // What the logs made of it cannot be read: the hive as it was.
      undo.Apply(bytes);
      Open(bytes);
      if (hive_) {
        notes_.clear();
        caveats_.push_back("what its transaction logs make of it cannot be read, so it is read without them, and "
                           "the newest values may be missing");
      }
    }
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

  std::vector<std::string> ChildNames(Node key, const CodePage& ansi) override {
    errno = 0;
    const Malloced<hive_node_h> children(hivex_node_children(hive_.get(), key));
    if (!children) Fail("a key's sub keys");
    std::vector<std::string> names;
    for (const hive_node_h* child = children.get(); *child != 0; ++child) {
      const Malloced<char> childName(hivex_node_name(hive_.get(), *child));
      if (!childName) Fail("a key's name");
      names.push_back(ansi.ToAnsi(FromUtf8(childName.get())));
    }
    return names;
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

  std::vector<std::string> Caveats() const override { return caveats_; }
  std::vector<std::string> Notes() const override { return notes_; }

  // hivex opens a hive only by a name: it is given the name of the file in
  // memory that this process alone holds, and maps its pages itself.
  void Open(MemoryFile& bytes) {
    // Mapped once: the program's own mapping goes before hivex makes its own.
    bytes.Unmap();
    errno = 0;
    hive_.reset(hivex_open(bytes.Name().c_str(), 0));
  }

 private:
  std::string name_;
  std::vector<std::string> caveats_, notes_;
  std::unique_ptr<hive_h, HiveClose> hive_;
  Node root_ = 0;
};

}  // namespace

std::shared_ptr<HiveFile> OpenNtHiveFile(MemoryFile bytes, const std::string& name, const HiveLogReader& logs) {
  return std::make_shared<NtHiveFile>(std::move(bytes), name, logs);
}

}  // namespace taloveric
