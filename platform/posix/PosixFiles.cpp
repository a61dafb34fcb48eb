#include "platform/posix/PosixFiles.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <optional>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/LineFile.h"
#include "platform/StepwiseReplace.h"
#include "platform/Temporaries.h"
#include "platform/Unicode.h"

namespace taloveric {
namespace {

std::string Describe(const std::string& path, const char* what, int error) {
  return what + (" " + path) + ": " + std::strerror(error);
}

// Owns a file descriptor.
class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }
  int get() const { return fd_; }
  // Closes now and reports whether close() succeeded.
  bool Reset() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

void WriteAll(int fd, std::string_view bytes, const std::string& path) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(Describe(path, "cannot write", errno));
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Removes what saves of processes that no longer run left beside `target`.
void RemoveStaleTemporaries(const std::string& target) {
  const std::filesystem::path path(target);
  const std::string targetName = path.filename().string();
  std::error_code ec;
  for (std::filesystem::directory_iterator it(path.parent_path().empty() ? "." : path.parent_path(), ec), end;
       !ec && it != end; it.increment(ec)) {
    const unsigned long pid = TemporaryOwner(it->path().filename().string(), targetName);
    if (pid == 0) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) ::unlink(it->path().c_str());
  }
}

// Refuses a target that a save may not replace, as Windows refuses to open it
// for output: a folder, or a read-only file.
void CheckReplaceable(const std::string& target) {
  struct stat info {};
  if (::stat(target.c_str(), &info) != 0) return;  // absent: creating it will say what is wrong
  if (S_ISDIR(info.st_mode)) throw FileError("cannot create " + target + ": it is a folder");
  if (S_ISREG(info.st_mode) && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw FileError("cannot create " + target + ": it is read-only");
  }
}

// The renames that put back an earlier file set aside by a replace that
// Windows 9x cut short in the same folder.
class PosixRenameSteps : public RenameSteps {
 public:
  bool Exists(const std::string& path) override {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
  }
  void Move(const std::string& from, const std::string& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) throw FileError(Describe(to, "cannot replace", errno));
  }
  void Remove(const std::string& path) override {
    if (::unlink(path.c_str()) != 0) throw FileError(Describe(path, "cannot delete", errno));
  }
};

// Puts right what earlier saves of `target` left when they were cut short, on
// this system or on Windows: the earlier file set aside by a replace, and the
// temporaries of processes that no longer run. Best effort: what cannot be
// tidied is left, and the save says so if it is in the way.
void TidyLeftovers(const std::string& target) {
  PosixRenameSteps steps;
  TryRecoverAside(steps, target);
  RemoveStaleTemporaries(target);
}

// A new file beside `target` that replaces it on Commit() and is removed if
// abandoned before that.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::string target) : target_(std::move(target)) {
    TidyLeftovers(target_);
    CheckReplaceable(target_);
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
      temp_ = TemporaryPath(target_, static_cast<unsigned long>(::getpid()), counter++);
      const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        fd_ = std::make_unique<UniqueFd>(fd);
        return;
      }
      if (errno != EEXIST) throw FileError(Describe(target_, "cannot create", errno));
    }
    throw FileError(Describe(target_, "cannot create", EEXIST));
  }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() {
    if (fd_) {
      fd_.reset();
      ::unlink(temp_.c_str());
    }
  }

  void Write(std::string_view bytes) { WriteAll(fd_->get(), bytes, target_); }

  void Commit() {
    if (::fsync(fd_->get()) != 0) throw FileError(Describe(target_, "cannot write", errno));
    if (!fd_->Reset()) throw FileError(Describe(target_, "cannot write", errno));
    CheckReplaceable(target_);  // it may have changed while the file was written
    if (::rename(temp_.c_str(), target_.c_str()) != 0) {
      throw FileError(Describe(target_, "cannot replace", errno));
    }
    fd_.reset();
  }

 private:
  std::string target_;
  std::string temp_;
  std::unique_ptr<UniqueFd> fd_;
};

}  // namespace

PosixFiles::PosixFiles(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::u16string PosixFiles::ProgramFolder() { return PathFromBytes(folder_.string()); }

std::u16string PosixFiles::Locate(std::u16string_view windowsPath) {
  const std::size_t cut = windowsPath.find_last_of(u"\\/");
  const std::u16string_view name = cut == std::u16string_view::npos ? windowsPath : windowsPath.substr(cut + 1);
  return PathFromBytes((folder_ / PathToBytes(name)).string());
}

std::unique_ptr<TextFile> PosixFiles::CreateText(const std::u16string& path) {
  return std::make_unique<LineFile<ReplacingFile>>(PathToBytes(path));
}

void PosixFiles::Copy(const std::u16string& from, const std::u16string& to) {
  const std::string source = PathToBytes(from);
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) throw FileError(Describe(source, "cannot open", errno));
  ReplacingFile out(PathToBytes(to));
  char buffer[1 << 16];
  while (true) {
    const ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw FileError(Describe(source, "cannot read", errno));
    if (n == 0) break;
    out.Write(std::string_view(buffer, static_cast<std::size_t>(n)));
  }
  out.Commit();
}

std::shared_ptr<void> PosixFiles::HoldForSave() {
  // An advisory lock on the folder, which holds both files here.
  auto folder = std::make_shared<UniqueFd>(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // A folder one may write into but not list cannot be held; its files are
  // saved all the same.
  if (folder->get() < 0 && errno == EACCES) return nullptr;
  if (folder->get() < 0) throw FileError(Describe(folder_.string(), "cannot open", errno));
  while (::flock(folder->get(), LOCK_EX) != 0) {
    if (errno != EINTR) throw FileError(Describe(folder_.string(), "cannot lock", errno));
  }
  return folder;  // closing it releases the lock
}

namespace {

// The descriptor this process already has that `path` names: /dev/stdout,
// /dev/stderr, /dev/fd/N and /proc/self/fd/N. Written through it, a
// redirection's file is appended to or replaced as the shell opened it.
std::optional<int> InheritedDescriptor(const std::string& path) {
  std::optional<unsigned long> fd;
  if (path == "/dev/stdout") fd = STDOUT_FILENO;
  if (path == "/dev/stderr") fd = STDERR_FILENO;
  for (const std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (path.starts_with(prefix)) fd = WholeNumber(std::string_view(path).substr(prefix.size()), 6);
  }
  if (!fd || ::fcntl(static_cast<int>(*fd), F_GETFD) < 0) return std::nullopt;
  return static_cast<int>(*fd);
}

}  // namespace

void WriteFileSafely(const std::filesystem::path& path, std::string_view bytes) {
  const std::string name = path.string();
  if (const auto fd = InheritedDescriptor(name)) {
    WriteAll(*fd, bytes, name);
    return;
  }
  struct stat info {};
  if (::stat(name.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
    // A FIFO, a terminal or a device such as /dev/null is written into,
    // never replaced; a disk is never written onto.
    if (S_ISBLK(info.st_mode)) throw FileError("cannot write " + name + ": it is a disk, which is never written onto");
    UniqueFd fd(::open(name.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) throw FileError(Describe(name, "cannot open", errno));
    WriteAll(fd.get(), bytes, name);
    if (!fd.Reset()) throw FileError(Describe(name, "cannot write", errno));
    return;
  }
  // A link to a regular file: the file it names is replaced, and the link kept.
  struct stat link {};
  std::error_code ec;
  const bool linked = ::lstat(name.c_str(), &link) == 0 && S_ISLNK(link.st_mode) && S_ISREG(info.st_mode);
  const std::filesystem::path target = linked ? std::filesystem::canonical(path, ec) : path;
  ReplacingFile file(ec ? name : target.string());
  file.Write(bytes);
  file.Commit();
}

GrowingOutput::GrowingOutput(const std::optional<std::filesystem::path>& path)
    : name_(path ? path->string() : "to standard output") {
  if (!path) {
    fd_ = STDOUT_FILENO;
    return;
  }
  if (const auto fd = InheritedDescriptor(name_)) {
    fd_ = *fd;
    return;
  }
  struct stat info {};
  const bool there = ::stat(name_.c_str(), &info) == 0;
  if (there && S_ISBLK(info.st_mode)) throw FileError("cannot write " + name_ + ": it is a disk, which is never written onto");
  if (!there || S_ISREG(info.st_mode)) CheckReplaceable(name_);
  fd_ = ::open(name_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (there && !S_ISREG(info.st_mode) ? 0 : O_CREAT | O_TRUNC),
               0666);
  if (fd_ < 0) throw FileError(Describe(name_, "cannot open", errno));
  owned_ = true;
}

GrowingOutput::~GrowingOutput() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

void GrowingOutput::Write(std::string_view bytes) { WriteAll(fd_, bytes, name_); }

void GrowingOutput::Close() {
  const int fd = fd_;
  fd_ = -1;
  if (owned_ && fd >= 0 && ::close(fd) != 0) throw FileError(Describe(name_, "cannot write", errno));
}

void WriteStandardOutput(std::string_view bytes) { WriteAll(STDOUT_FILENO, bytes, "to standard output"); }

std::filesystem::path ExecutableFolder() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::current_path() : exe.parent_path();
}

}  // namespace taloveric
