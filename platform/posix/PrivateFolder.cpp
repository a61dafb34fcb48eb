#include "platform/posix/PrivateFolder.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>

namespace taloveric {
namespace {

// The folders a signal removes. A signal handler may call only what is safe
// in one: no allocation, no locks, so the paths live in fixed slots and the
// folders are removed with system calls alone.
constexpr int kSlots = 16;
constexpr std::size_t kPathBytes = 4096;
char g_paths[kSlots][kPathBytes];
std::atomic<bool> g_used[kSlots];
std::mutex g_slotsLock;  // between threads making folders; never taken by the handler

// An entry as getdents64 hands it out.
struct LinuxDirent64 {
  std::uint64_t inode;
  std::int64_t offset;
  unsigned short length;
  unsigned char type;
  char name[1];
};

// Removes `name` below the open folder `parent`, and what it holds.
void RemoveTree(int parent, const char* name, int depth) {
  if (::unlinkat(parent, name, 0) == 0 || (errno != EISDIR && errno != EPERM) || depth > 32) return;
  const int folder = ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) return;
  alignas(8) char buffer[4096];
  // Entries may move while others go: read the folder again until it is empty.
  for (int pass = 0; pass < 4; ++pass) {
    ::lseek(folder, 0, SEEK_SET);
    bool removed = false;
    for (long got; (got = ::syscall(SYS_getdents64, folder, buffer, sizeof buffer)) > 0;) {
      for (long at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
        at += entry->length;
        if (std::strcmp(entry->name, ".") == 0 || std::strcmp(entry->name, "..") == 0) continue;
        RemoveTree(folder, entry->name, depth + 1);
        removed = true;
      }
    }
    if (!removed) break;
  }
  ::close(folder);
  ::unlinkat(parent, name, AT_REMOVEDIR);
}

void OnSignal(int signal) {
  const int saved = errno;
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) RemoveTree(AT_FDCWD, g_paths[i], 0);
  }
  errno = saved;
  // Ends as the signal would have ended the run.
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void InstallHandlers() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction action {}, before {};
      if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;  // nohup
      action.sa_handler = OnSignal;
      sigemptyset(&action.sa_mask);
      ::sigaction(signal, &action, nullptr);
    }
  });
}

}  // namespace

PrivateFolder::PrivateFolder(const std::string& prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (pattern.size() >= kPathBytes || ::mkdtemp(pattern.data()) == nullptr) return;
  path_ = pattern;
  InstallHandlers();
  const std::lock_guard<std::mutex> lock(g_slotsLock);
  for (int i = 0; i < kSlots; ++i) {
    if (g_used[i].load()) continue;
    std::memcpy(g_paths[i], pattern.c_str(), pattern.size() + 1);
    g_used[i].store(true);
    slot_ = i;
    break;
  }
}

PrivateFolder::~PrivateFolder() {
  if (slot_ >= 0) g_used[slot_].store(false);
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

}  // namespace taloveric
