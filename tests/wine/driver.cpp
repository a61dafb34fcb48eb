// Drives taloveric.exe under Wine as a user would, one step a run:
//   driver wait CAPTION              a window with that caption is shown
//   driver gone CAPTION              no window with that caption is left
//   driver click CAPTION BUTTON      presses a button of a window
//   driver close CAPTION             the window's close box
//   driver text CAPTION CONTROL      prints a control's text (CONTROL: Edit, or a label's caption prefix)
//   driver box TITLE                 waits for a message box, prints its title, text, icon and buttons
//   driver answer TITLE BUTTON       presses a message box's button
//   driver layout CAPTION            prints the window's and every control's rectangle and style
//   driver focus CAPTION             prints the control that has the focus
//   driver key CAPTION KEY           presses tab, shift-tab, enter, space or escape in the window
//   driver fonts CAPTION [N=FACE:PT100...]  prints the face each control's font gets, and whether its caption fits
//   driver memory CAPTION            prints the owning process's peak working set in bytes
//   driver tip CAPTION N             rests the mouse on the window's Nth control, prints the tip shown
//   driver delete-key PATH           deletes HKEY_LOCAL_MACHINE\PATH with all below it, in both registry views
//   driver serve                     runs the steps named on standard input, a line each (see wmain)
// Text is printed in UTF-8 with \r, \n, \\ and control characters escaped.
// Exit status: 0 done, 1 not found in time, 2 bad usage. A wait lasts up to
// TALOVERIC_WAIT_SECONDS (default 60): long enough for a busy machine.

#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

DWORD TimeoutMs() {
  wchar_t seconds[16] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"TALOVERIC_WAIT_SECONDS", seconds, 16);
  const int value = n > 0 && n < 16 ? _wtoi(seconds) : 0;
  return static_cast<DWORD>(value > 0 ? value : 60) * 1000;
}
const DWORD kTimeoutMs = TimeoutMs();

std::wstring Widen(const char* s) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, s, -1, out.data(), n);
  out.resize(static_cast<std::size_t>(n > 0 ? n - 1 : 0));
  return out;
}

std::string Escape(const std::wstring& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\r') out += "\\r";
    else if (c == L'\n') out += "\\n";
    else if (c == L'\\') out += "\\\\";
    else if (c < 0x20) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
      out += hex;
    } else {
      char bytes[8];
      const int n = ::WideCharToMultiByte(CP_UTF8, 0, &text[i], 1, bytes, sizeof bytes, nullptr, nullptr);
      out.append(bytes, static_cast<std::size_t>(n > 0 ? n : 0));
    }
  }
  return out;
}

// A message to another process's window, given up on if that window hangs.
LRESULT Ask(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!::SendMessageTimeoutW(hwnd, message, wParam, lParam, SMTO_ABORTIFHUNG, 2000, &result)) return 0;
  return static_cast<LRESULT>(result);
}

std::wstring TextOf(HWND hwnd) {
  // WM_GETTEXT works across processes; GetWindowText does not for controls.
  const LRESULT length = Ask(hwnd, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT got = Ask(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

// A top-level window's caption, read without sending it a message.
std::wstring CaptionOf(HWND hwnd) {
  wchar_t caption[256] = {};
  ::GetWindowTextW(hwnd, caption, 256);
  return caption;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  ::GetClassNameW(hwnd, name, 64);
  return name;
}

std::wstring WithoutAmpersand(std::wstring s) {
  std::wstring out;
  for (wchar_t c : s) {
    if (c != L'&') out += c;
  }
  return out;
}

struct Search {
  std::wstring caption;
  std::wstring windowClass;  // empty: any
  HWND found = nullptr;
};

BOOL CALLBACK FindTopLevel(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  if (!::IsWindowVisible(hwnd)) return TRUE;
  if (!search->windowClass.empty() && ClassOf(hwnd) != search->windowClass) return TRUE;
  if (CaptionOf(hwnd) != search->caption) return TRUE;
  search->found = hwnd;
  return FALSE;
}

HWND Find(const std::wstring& caption, const std::wstring& windowClass = L"") {
  Search search{caption, windowClass};
  ::EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitFor(const std::wstring& caption, const std::wstring& windowClass = L"") {
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < kTimeoutMs) {
    if (HWND hwnd = Find(caption, windowClass)) return hwnd;
    ::Sleep(50);
  }
  return nullptr;
}

// The window's descendants, in z-order (top first) within each parent.
void Descendants(HWND parent, std::vector<HWND>& out) {
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    out.push_back(child);
    Descendants(child, out);
  }
}

HWND FindControl(HWND window, const std::wstring& what) {
  std::vector<HWND> all;
  Descendants(window, all);
  for (HWND hwnd : all) {
    if (ClassOf(hwnd) == what) return hwnd;
  }
  for (HWND hwnd : all) {
    if (WithoutAmpersand(TextOf(hwnd)).rfind(what, 0) == 0) return hwnd;
  }
  return nullptr;
}

int Fail(const std::string& what) {
  std::printf("not found: %s\n", what.c_str());
  return 1;
}

void PrintRect(HWND hwnd) {
  RECT r;
  ::GetWindowRect(hwnd, &r);
  POINT topLeft{r.left, r.top};
  ::ScreenToClient(::GetParent(hwnd), &topLeft);
  std::printf("%ld,%ld,%ld,%ld", topLeft.x, topLeft.y, r.right - r.left, r.bottom - r.top);
}

int Layout(HWND window) {
  RECT client;
  ::GetClientRect(window, &client);
  POINT origin{0, 0};
  ::ClientToScreen(window, &origin);
  const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
  const LONG_PTR exStyle = ::GetWindowLongPtrW(window, GWL_EXSTYLE);
  const bool icon = Ask(window, WM_GETICON, ICON_SMALL, 0) || Ask(window, WM_GETICON, ICON_BIG, 0) ||
                    ::GetClassLongPtrW(window, GCLP_HICON) || ::GetClassLongPtrW(window, GCLP_HICONSM);
  std::printf("window client=%ld,%ld,%ld,%ld minimize=%d maximize=%d sysmenu=%d toolwindow=%d appwindow=%d icon=%d\n",
              origin.x, origin.y, client.right, client.bottom, (style & WS_MINIMIZEBOX) != 0,
              (style & WS_MAXIMIZEBOX) != 0, (style & WS_SYSMENU) != 0, (exStyle & WS_EX_TOOLWINDOW) != 0,
              (exStyle & WS_EX_APPWINDOW) != 0, icon);
  std::vector<HWND> all;
  Descendants(window, all);
  for (HWND hwnd : all) {
    const LONG_PTR s = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    std::printf("control %s \"%s\" parent=%s rect=", Escape(ClassOf(hwnd)).c_str(),
                Escape(TextOf(hwnd).substr(0, 24)).c_str(),
                ::GetParent(hwnd) == window ? "form" : Escape(ClassOf(::GetParent(hwnd))).c_str());
    PrintRect(hwnd);
    std::printf(" visible=%d tabstop=%d\n", (s & WS_VISIBLE) != 0, (s & WS_TABSTOP) != 0);
  }
  return 0;
}

// Which face a control's font request gets on this machine, and whether the
// control's caption fits it: a label's wrapped text within its height, a
// button's line within its width. A window's font handle cannot be read from
// another process under Wine (WM_GETFONT answers nothing), so the requests come
// from the caller: `asked` holds "N=FACE:HUNDREDTHS_OF_POINT" for each control
// whose font differs from MS Sans Serif 8.25 pt.
int Fonts(HWND window, const std::vector<std::wstring>& asked) {
  std::vector<HWND> all;
  Descendants(window, all);
  const HDC dc = ::GetDC(window);
  const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::wstring request = L"MS Sans Serif";
    int hundredths = 825;
    const std::wstring prefix = std::to_wstring(i) + L"=";
    for (const std::wstring& given : asked) {
      if (given.rfind(prefix, 0) != 0) continue;
      const std::size_t colon = given.find(L':');
      request = given.substr(prefix.size(), colon - prefix.size());
      hundredths = _wtoi(given.c_str() + colon + 1);
    }
    LOGFONTW wanted{};
    wanted.lfHeight = -::MulDiv(hundredths, dpi, 7200);
    wanted.lfWeight = FW_NORMAL;
    wanted.lfCharSet = DEFAULT_CHARSET;
    request.copy(wanted.lfFaceName, LF_FACESIZE - 1);
    const HFONT font = ::CreateFontIndirectW(&wanted);
    const HGDIOBJ old = ::SelectObject(dc, font);
    wchar_t face[LF_FACESIZE] = {};
    ::GetTextFaceW(dc, LF_FACESIZE, face);
    const std::wstring text = TextOf(all[i]);
    RECT r;
    ::GetClientRect(all[i], &r);
    const bool button = ClassOf(all[i]) == L"Button";
    RECT need{0, 0, r.right, 0};
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &need,
                DT_CALCRECT | DT_NOPREFIX | (button ? DT_SINGLELINE : DT_WORDBREAK));
    const bool fits = button ? need.right <= r.right - 4 : need.bottom <= r.bottom;
    std::printf("%zu %s \"%s\" face=%s fits=%d\n", i, Escape(ClassOf(all[i])).c_str(),
                Escape(text.substr(0, 24)).c_str(), Escape(face).c_str(), fits);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
  }
  ::ReleaseDC(window, dc);
  return 0;
}

// Deletes a key and everything below it, deepest first; false if anything stays.
bool DeleteTree(HKEY parent, const std::wstring& path, REGSAM view) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(parent, path.c_str(), 0, KEY_ENUMERATE_SUB_KEYS | DELETE | view, &key) != ERROR_SUCCESS) {
    return true;  // nothing there
  }
  bool done = true;
  wchar_t child[256];
  DWORD length = 256;
  while (done && ::RegEnumKeyExW(key, 0, child, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
    done = DeleteTree(key, child, view);
    length = 256;
  }
  ::RegCloseKey(key);
  return done && ::RegDeleteKeyExW(parent, path.c_str(), view, 0) == ERROR_SUCCESS;
}

BOOL CALLBACK FindShownTip(HWND hwnd, LPARAM param) {
  if (!::IsWindowVisible(hwnd) || ClassOf(hwnd) != L"tooltips_class32") return TRUE;
  *reinterpret_cast<HWND*>(param) = hwnd;
  return FALSE;
}

HWND FocusOf(HWND window) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
  return info.hwndFocus;
}

int Box(HWND box) {
  std::printf("title: %s\n", Escape(CaptionOf(box)).c_str());
  std::vector<HWND> all;
  Descendants(box, all);
  std::string buttons, defaultButton;
  bool icon = false;
  for (HWND hwnd : all) {
    const std::wstring cls = ClassOf(hwnd);
    const LONG_PTR s = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    if (::GetDlgCtrlID(hwnd) == 0xFFFF) std::printf("prompt: %s\n", Escape(TextOf(hwnd)).c_str());
    if (cls == L"Static" && (s & SS_TYPEMASK) == SS_ICON && Ask(hwnd, STM_GETICON, 0, 0)) icon = true;
    if (cls == L"Button" && (s & WS_VISIBLE)) {
      const std::string label = Escape(WithoutAmpersand(TextOf(hwnd)));
      buttons += (buttons.empty() ? "" : ",") + label;
      if ((s & BS_TYPEMASK) == BS_DEFPUSHBUTTON) defaultButton = label;
    }
  }
  std::printf("icon: %s\nbuttons: %s\ndefault: %s\n", icon ? "yes" : "no", buttons.c_str(), defaultButton.c_str());
  return 0;
}

void Press(WORD key, bool shift) {
  std::vector<INPUT> inputs;
  const auto add = [&](WORD vk, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (shift) add(VK_SHIFT, false);
  add(key, false);
  add(key, true);
  if (shift) add(VK_SHIFT, true);
  ::SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// One step: words[0] is the command, words[1] the caption.
int Step(const std::vector<std::wstring>& words) {
  if (words.size() < 2) return 2;
  const std::wstring& command = words[0];
  const std::wstring& caption = words[1];
  const std::wstring arg = words.size() > 2 ? words[2] : L"";
  const std::string name = Escape(caption);

  if (command == L"delete-key") {
    bool done = true;
    for (const REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) done = DeleteTree(HKEY_LOCAL_MACHINE, caption, view) && done;
    return done ? 0 : Fail("cannot delete " + name);
  }
  if (command == L"gone") {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kTimeoutMs) {
      if (!Find(caption)) return 0;
      ::Sleep(50);
    }
    return Fail("still shown: " + name);
  }
  const bool isBox = command == L"box" || command == L"answer";
  HWND window = WaitFor(caption, isBox ? L"#32770" : L"");
  if (!window) return Fail(name);

  if (command == L"wait") return 0;
  if (command == L"layout") return Layout(window);
  if (command == L"box") return Box(window);
  if (command == L"close") {
    ::PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
  }
  if (command == L"click" || command == L"answer") {
    HWND button = FindControl(window, arg);
    if (!button || ClassOf(button) != L"Button") return Fail("button " + Escape(arg));
    // The press is posted as the notice a button gives its parent once
    // pressed, so that a message box it opens does not hold the driver.
    // BM_CLICK is no press to rely on here: it plays a mouse press, which
    // needs the button to take the capture and the focus, and Windows says it
    // may fail while its window is not the active one, as a box just opened
    // on a busy machine may not be yet: the press was then lost.
    ::PostMessageW(::GetParent(button), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(button), BN_CLICKED),
                   reinterpret_cast<LPARAM>(button));
    return 0;
  }
  if (command == L"text") {
    HWND control = FindControl(window, arg);
    if (!control) return Fail("control " + Escape(arg));
    std::printf("%s\n", Escape(TextOf(control)).c_str());
    return 0;
  }
  if (command == L"focus") {
    HWND focus = FocusOf(window);
    if (!focus) return Fail("focus");
    std::printf("%s \"%s\"\n", Escape(ClassOf(focus)).c_str(), Escape(TextOf(focus).substr(0, 24)).c_str());
    return 0;
  }
  if (command == L"key") {
    const WORD key = arg == L"enter" ? VK_RETURN : arg == L"space" ? VK_SPACE : arg == L"escape" ? VK_ESCAPE : VK_TAB;
    // Keys go to the foreground window's focused control: pressed only once
    // the window is in front and one of its controls has the focus. A window
    // just opened on a busy machine may not be yet, and a key sent then is
    // lost or lands in the window before it.
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < kTimeoutMs) {
      ::SetForegroundWindow(window);
      const HWND focus = FocusOf(window);
      if (::GetForegroundWindow() == window && focus != nullptr && ::IsChild(window, focus)) break;
      ::Sleep(50);
    }
    Press(key, arg == L"shift-tab");
    ::Sleep(200);
    return 0;
  }
  if (command == L"fonts") return Fonts(window, std::vector<std::wstring>(words.begin() + 2, words.end()));
  if (command == L"tip") {
    std::vector<HWND> all;
    Descendants(window, all);
    const std::size_t index = static_cast<std::size_t>(_wtoi(arg.c_str()));
    if (index >= all.size()) return Fail("control " + Escape(arg));
    RECT r;
    ::GetWindowRect(all[index], &r);
    ::SetForegroundWindow(window);
    // Into the control from outside, as a mouse would come.
    const auto moveTo = [](LONG x, LONG y) {
      INPUT move{};
      move.type = INPUT_MOUSE;
      move.mi.dx = ::MulDiv(x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
      move.mi.dy = ::MulDiv(y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
      move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
      ::SendInput(1, &move, sizeof move);
      ::Sleep(200);
    };
    moveTo(r.left - 10, r.top - 10);
    moveTo((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 5000) {
      HWND shown = nullptr;
      ::EnumWindows(FindShownTip, reinterpret_cast<LPARAM>(&shown));
      if (shown) {
        std::printf("%s\n", Escape(TextOf(shown)).c_str());
        return 0;
      }
      ::Sleep(100);
    }
    return Fail("a tip");
  }
  if (command == L"memory") {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    const BOOL ok = process && ::GetProcessMemoryInfo(process, &counters, sizeof counters);
    if (process) ::CloseHandle(process);
    if (!ok) return Fail("memory");
    std::printf("%llu\n", static_cast<unsigned long long>(counters.PeakWorkingSetSize));
    return 0;
  }
  return 2;
}

// UTF-8 to UTF-16.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return L"";
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wstring(argv[1]) == L"serve") {
    // Steps read from standard input, a line each, its words parted by tabs;
    // after each step's output, a line of \x1E and its exit status. One Wine
    // process for a run's thousand steps rather than one each.
    char line[8192];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
      std::string text(line);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
      std::vector<std::wstring> words;
      for (std::size_t at = 0;;) {
        const std::size_t tab = text.find('\t', at);
        words.push_back(Wide(text.substr(at, tab == std::string::npos ? std::string::npos : tab - at)));
        if (tab == std::string::npos) break;
        at = tab + 1;
      }
      const int status = Step(words);
      std::printf("\x1E%d\n", status);
      std::fflush(stdout);
    }
    return 0;
  }
  return Step(std::vector<std::wstring>(argv + 1, argv + argc));
}
