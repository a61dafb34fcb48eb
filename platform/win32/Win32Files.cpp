#include "platform/win32/Win32Files.h"

#include <algorithm>
#include <string>

#include "platform/CodePage.h"
#include "platform/LineFile.h"
#include "platform/StepwiseReplace.h"
#include "platform/Temporaries.h"
#include "platform/Unicode.h"
#include "platform/win32/Handles.h"
#include "platform/win32/WindowsVersion.h"

namespace taloveric::win32 {

std::string ErrorText(DWORD error) {
  char* text = nullptr;
  const DWORD length = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = length > 0 ? std::string(text, length) : "";
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  if (message.empty()) return "error " + std::to_string(error);
  return ToUtf8(CodePage().FromAnsi(message));
}

namespace {

[[noreturn]] void Fail(const char* what, const std::string& path, DWORD error = ::GetLastError()) {
  throw FileError(std::string(what) + " " + ToUtf8(CodePage().FromAnsi(path)) + ": " + ErrorText(error));
}

// The renames of a replace on Windows 95, 98 and Me.
class Win32RenameSteps : public RenameSteps {
 public:
  bool Exists(const std::string& path) override { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  void Move(const std::string& from, const std::string& to) override {
    if (!::MoveFileA(from.c_str(), to.c_str())) Fail("cannot replace", to);
  }
  void Remove(const std::string& path) override {
    if (!::DeleteFileA(path.c_str())) Fail("cannot delete", path);
  }
};

// Moves a complete file over its target: in one step on the NT family, in the
// steps of ReplaceStepwise on Windows 9x, where MoveFileEx is not supported.
void MoveOver(const std::string& fresh, const std::string& target) {
  if (IsWindows9x()) {
    Win32RenameSteps steps;
    ReplaceStepwise(steps, fresh, target);
    return;
  }
  // Windows NT 4.0 does not know MOVEFILE_WRITE_THROUGH.
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (IsWindows2000OrLater() ? MOVEFILE_WRITE_THROUGH : 0);
  if (!::MoveFileExA(fresh.c_str(), target.c_str(), flags)) Fail("cannot replace", target);
}

// Refuses a target that a save may not replace, as opening it for output does:
// a folder, or a read-only file. Renaming over it would succeed on Windows 9x,
// which renames read-only files and would set the protected one aside.
void CheckReplaceable(const std::string& target) {
  const DWORD attributes = ::GetFileAttributesA(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;  // absent: creating it will say what is wrong
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) Fail("cannot create", target, ERROR_ACCESS_DENIED);
}

// Whether process `pid` may still be writing: a process that cannot be opened
// for another reason than its absence is taken to be running.
bool ProcessRuns(DWORD pid) {
  if (pid == ::GetCurrentProcessId()) return true;
  const UniqueHandle process = MakeUniqueHandle(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid));
  if (!process) return ::GetLastError() != ERROR_INVALID_PARAMETER;
  DWORD code = 0;
  return !::GetExitCodeProcess(process.get(), &code) || code == STILL_ACTIVE;
}

// Removes what saves of processes that no longer run left beside `target`.
void RemoveStaleTemporaries(const std::string& target) {
  const std::size_t cut = target.find_last_of("\\/:");
  const std::string folder = cut == std::string::npos ? "" : target.substr(0, cut + 1);
  const std::string name = target.substr(folder.size());
  WIN32_FIND_DATAA found{};
  const UniqueFind search = MakeUniqueFind(::FindFirstFileA((target + ".~*").c_str(), &found));
  if (!search) return;
  do {
    const unsigned long pid = TemporaryOwner(found.cFileName, name);
    if (pid != 0 && !ProcessRuns(pid)) ::DeleteFileA((folder + found.cFileName).c_str());
  } while (::FindNextFileA(search.get(), &found));
}

// Puts right what earlier saves of `target` left when they were cut short: the
// earlier file set aside by a replace on Windows 9x, and the temporaries of
// processes that no longer run. On every Windows, as a folder may have been
// saved to from both families. Best effort: what cannot be tidied is left, and
// the save says so if it is in the way.
void TidyLeftovers(const std::string& target) {
  Win32RenameSteps steps;
  TryRecoverAside(steps, target);
  RemoveStaleTemporaries(target);
}

// A new file beside `target` that replaces it on Commit() and is deleted if
// abandoned before that.
class ReplacingFile {
 public:
  explicit ReplacingFile(const std::u16string& target) : target_(CodePage().ToAnsi(target)) {
    TidyLeftovers(target_);
    CheckReplaceable(target_);
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
      temp_ = TemporaryPath(target_, ::GetCurrentProcessId(), counter++);
      file_ = MakeUniqueHandle(::CreateFileA(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file_ && ::GetLastError() != ERROR_FILE_EXISTS) Fail("cannot create", target_);
    }
    if (!file_) Fail("cannot create", target_, ERROR_FILE_EXISTS);
  }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() {
    if (file_) file_.reset();
    if (!committed_) ::DeleteFileA(temp_.c_str());
  }

  void Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
      DWORD written = 0;
      if (!::WriteFile(file_.get(), bytes.data(), chunk, &written, nullptr)) Fail("cannot write", target_);
      bytes.remove_prefix(written);
    }
  }

  void Commit() {
    if (!::FlushFileBuffers(file_.get())) Fail("cannot write", target_);
    if (!::CloseHandle(file_.release())) Fail("cannot write", target_);
    CheckReplaceable(target_);  // it may have changed while the file was written
    MoveOver(temp_, target_);
    committed_ = true;
  }

 private:
  std::string target_;
  std::string temp_;
  UniqueHandle file_;
  bool committed_ = false;
};

}  // namespace

std::u16string FolderOf(const std::u16string& modulePath) {
  const std::size_t cut = modulePath.find_last_of(u'\\');
  if (cut == std::u16string::npos) return modulePath;
  std::u16string folder = modulePath.substr(0, cut);
  if (folder.size() == 2 && folder[1] == u':') folder += u'\\';
  return folder;
}

std::u16string Win32Files::ProgramFolder() {
  std::string path(MAX_PATH, '\0');
  while (true) {
    const DWORD length = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) Fail("cannot find the program's folder", "");
    if (length < path.size()) {
      path.resize(length);
      return FolderOf(CodePage().FromAnsi(path));
    }
    path.resize(path.size() * 2);
  }
}

std::unique_ptr<TextFile> Win32Files::CreateText(const std::u16string& path) {
  return std::make_unique<LineFile<ReplacingFile>>(path);
}

void Win32Files::Copy(const std::u16string& from, const std::u16string& to) {
  const std::string source = CodePage().ToAnsi(from);
  const UniqueHandle input = MakeUniqueHandle(::CreateFileA(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!input) Fail("cannot open", source);
  ReplacingFile target(to);
  char buffer[1 << 16];
  while (true) {
    DWORD read = 0;
    if (!::ReadFile(input.get(), buffer, sizeof buffer, &read, nullptr)) Fail("cannot read", source);
    if (read == 0) break;
    target.Write(std::string_view(buffer, read));
  }
  target.Commit();
}

}  // namespace taloveric::win32
