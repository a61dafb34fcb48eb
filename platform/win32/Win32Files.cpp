#include "platform/win32/Win32Files.h"

#include <string>

#include "platform/LineFile.h"
#include "platform/Unicode.h"
#include "platform/win32/Handles.h"

namespace taloveric::win32 {

std::string ErrorText(DWORD error) {
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
      0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::u16string message = length > 0 ? std::u16string(reinterpret_cast<char16_t*>(text), length) : u"";
  if (text != nullptr) ::LocalFree(text);
  while (!message.empty() && (message.back() == u'\n' || message.back() == u'\r' || message.back() == u' ')) {
    message.pop_back();
  }
  if (message.empty()) return "error " + std::to_string(error);
  return ToUtf8(message);
}

namespace {

[[noreturn]] void Fail(const char* what, const std::u16string& path, DWORD error = ::GetLastError()) {
  throw FileError(std::string(what) + " " + ToUtf8(path) + ": " + ErrorText(error));
}

// A new file beside `target` that replaces it on Commit() and is deleted if
// abandoned before that.
class ReplacingFile {
 public:
  explicit ReplacingFile(std::u16string target) : target_(std::move(target)) {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100 && !file_; ++attempt) {
      temp_ = target_ + u".~" + Widen(std::to_string(::GetCurrentProcessId())) + u"-" +
              Widen(std::to_string(counter++));
      file_ = MakeUniqueHandle(::CreateFileW(Wide(temp_), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                             FILE_ATTRIBUTE_NORMAL, nullptr));
      if (!file_ && ::GetLastError() != ERROR_FILE_EXISTS) Fail("cannot create", target_);
    }
    if (!file_) Fail("cannot create", target_, ERROR_FILE_EXISTS);
  }
  ReplacingFile(const ReplacingFile&) = delete;
  ReplacingFile& operator=(const ReplacingFile&) = delete;
  ~ReplacingFile() {
    if (file_) {
      file_.reset();
      ::DeleteFileW(Wide(temp_));
    }
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
    if (!::CloseHandle(file_.release())) {
      const DWORD error = ::GetLastError();
      ::DeleteFileW(Wide(temp_));
      Fail("cannot write", target_, error);
    }
    if (!::MoveFileExW(Wide(temp_), Wide(target_), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      const DWORD error = ::GetLastError();
      ::DeleteFileW(Wide(temp_));
      Fail("cannot replace", target_, error);
    }
  }

 private:
  std::u16string target_;
  std::u16string temp_;
  UniqueHandle file_;
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
  std::u16string path(MAX_PATH, u'\0');
  while (true) {
    const DWORD length = ::GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()),
                                              static_cast<DWORD>(path.size()));
    if (length == 0) Fail("cannot find the program's folder", u"");
    if (length < path.size()) {
      path.resize(length);
      return FolderOf(path);
    }
    path.resize(path.size() * 2);
  }
}

std::unique_ptr<TextFile> Win32Files::CreateText(const std::u16string& path) {
  return std::make_unique<LineFile<ReplacingFile>>(path);
}

void Win32Files::Copy(const std::u16string& from, const std::u16string& to) {
  const UniqueHandle source = MakeUniqueHandle(::CreateFileW(Wide(from), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!source) Fail("cannot open", from);
  ReplacingFile target(to);
  char buffer[1 << 16];
  while (true) {
    DWORD read = 0;
    if (!::ReadFile(source.get(), buffer, sizeof buffer, &read, nullptr)) Fail("cannot read", from);
    if (read == 0) break;
    target.Write(std::string_view(buffer, read));
  }
  target.Commit();
}

}  // namespace taloveric::win32
