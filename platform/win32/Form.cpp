#include "platform/win32/Form.h"

#include <map>
#include <stdexcept>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "platform/win32/Handles.h"

namespace taloveric::win32 {
namespace {

constexpr char kFormClass[] = "TalovericForm";
constexpr char kFrameClass[] = "TalovericFrame";
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL, which dialog keys send

COLORREF ToColorRef(Colour colour) {
  return (colour & 0x80000000u) ? ::GetSysColor(static_cast<int>(colour & 0xFF)) : static_cast<COLORREF>(colour);
}

[[noreturn]] void FailToCreate(const char* what) {
  throw std::runtime_error(std::string("cannot create ") + what + ": " + ErrorText(::GetLastError()));
}

// The top-level window that holds `hwnd`.
HWND RootOf(HWND hwnd) {
  while (hwnd != nullptr && (::GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD) != 0) hwnd = ::GetParent(hwnd);
  return hwnd;
}

bool IsPushButton(HWND hwnd) {
  char name[16] = {};
  ::GetClassNameA(hwnd, name, sizeof name);
  return ::lstrcmpiA(name, "Button") == 0 && (::GetWindowLongA(hwnd, GWL_STYLE) & BS_TYPEMASK) <= BS_DEFPUSHBUTTON;
}

}  // namespace

struct Form::Impl {
  FormLayout layout;
  FormEvents events;
  int dpiX = 96, dpiY = 96;
  std::vector<HWND> controls;  // in the order of layout.controls
  std::map<std::u16string, HWND> byName;
  std::map<Colour, UniqueBrush> brushes;
  std::vector<UniqueFont> fonts;
  std::vector<UniqueIcon> icons;
  UniqueWindow window;
  UniqueWindow tooltip;  // declared after the window so that it goes first

  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  int Px(int twips) const { return ::MulDiv(twips, dpiX, 1440); }
  int Py(int twips) const { return ::MulDiv(twips, dpiY, 1440); }
  RECT Rect(const Twips& t) const { return {Px(t.left), Py(t.top), Px(t.left) + Px(t.width), Py(t.top) + Py(t.height)}; }

  HBRUSH Brush(Colour colour) {
    if (colour & 0x80000000u) return ::GetSysColorBrush(static_cast<int>(colour & 0xFF));
    auto& brush = brushes[colour];
    if (!brush) brush.reset(::CreateSolidBrush(ToColorRef(colour)));
    return brush.get();
  }

  HFONT Font(const FontSpec& font) {
    const int height = -::MulDiv(font.hundredthsOfPoint, dpiY, 7200);
    fonts.emplace_back(::CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                     DEFAULT_PITCH | FF_DONTCARE, CodePage().ToAnsi(font.face).c_str()));
    return fonts.back().get();
  }

  const ControlLayout* LayoutOf(HWND hwnd) const {
    for (std::size_t i = 0; i < controls.size(); ++i) {
      if (controls[i] == hwnd) return &layout.controls[i];
    }
    return nullptr;
  }

  void CreateControls();
  void AddTip(HWND control, const std::u16string& text);
  static void RegisterClasses(HINSTANCE instance);
};

void Form::Impl::RegisterClasses(HINSTANCE instance) {
  static bool registered = false;
  if (registered) return;
  ::InitCommonControls();  // the tooltips
  WNDCLASSA form{};
  form.lpfnWndProc = &Form::Impl::Proc;
  form.hInstance = instance;
  form.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  form.lpszClassName = kFormClass;
  if (!::RegisterClassA(&form)) FailToCreate("the window class");
  WNDCLASSA frame = form;
  frame.lpszClassName = kFrameClass;
  if (!::RegisterClassA(&frame)) FailToCreate("the frame class");
  registered = true;
}

LRESULT CALLBACK Form::Impl::Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* impl = reinterpret_cast<Impl*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
  if (message == WM_NCDESTROY) ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  return impl != nullptr ? impl->Handle(hwnd, message, wParam, lParam)
                         : ::DefWindowProcA(hwnd, message, wParam, lParam);
}

LRESULT Form::Impl::Handle(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  const ControlLayout* self = LayoutOf(hwnd);  // a frame; null for the form
  switch (message) {
    case WM_ERASEBKGND: {
      RECT client;
      ::GetClientRect(hwnd, &client);
      ::FillRect(reinterpret_cast<HDC>(wParam), &client, Brush(self ? self->back : layout.back));
      return 1;
    }
    case WM_PAINT:
      if (self != nullptr) {  // a frame without a caption: an etched outline
        PAINTSTRUCT paint;
        HDC dc = ::BeginPaint(hwnd, &paint);
        RECT client;
        ::GetClientRect(hwnd, &client);
        ::DrawEdge(dc, &client, EDGE_ETCHED, BF_RECT);
        ::EndPaint(hwnd, &paint);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
      if (const ControlLayout* control = LayoutOf(reinterpret_cast<HWND>(lParam))) {
        const HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, ToColorRef(control->fore));
        ::SetBkColor(dc, ToColorRef(control->back));
        return reinterpret_cast<LRESULT>(Brush(control->back));
      }
      break;
    case WM_COMMAND:
      if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
        const ControlLayout* control = LayoutOf(reinterpret_cast<HWND>(lParam));
        if (control != nullptr && control->kind == ControlKind::Button && events.click) {
          events.click(control->name);
        }
        return 0;
      }
      break;
    case WM_CLOSE:
      if (events.close) events.close();
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

void Form::Impl::AddTip(HWND control, const std::u16string& text) {
  std::string ansi = CodePage().ToAnsi(text);  // the tooltip keeps its own copy
  TOOLINFOA tool{};
  tool.cbSize = TTTOOLINFOA_V1_SIZE;  // as comctl32 4.00 knows it
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = ::GetParent(control);
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = ansi.data();
  ::SendMessageA(tooltip.get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
}

void Form::Impl::CreateControls() {
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  for (std::size_t i = 0; i < layout.controls.size(); ++i) {
    const ControlLayout& c = layout.controls[i];
    const char* windowClass = "STATIC";
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (c.visible ? WS_VISIBLE : 0) | (c.tabStop ? WS_TABSTOP : 0);
    DWORD exStyle = 0;
    switch (c.kind) {
      case ControlKind::Label:
        style |= SS_LEFT | SS_NOPREFIX | SS_NOTIFY;
        break;
      case ControlKind::TextBox:
        windowClass = "EDIT";
        style |= ES_LEFT | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | WS_VSCROLL;
        exStyle |= WS_EX_CLIENTEDGE;
        break;
      case ControlKind::Frame:
        windowClass = kFrameClass;
        exStyle |= WS_EX_CONTROLPARENT;
        break;
      case ControlKind::Image:
        style |= c.iconResource ? (SS_ICON | SS_CENTERIMAGE | SS_NOTIFY) : SS_BLACKFRAME;
        if (c.border && c.iconResource) style |= WS_BORDER;
        break;
      case ControlKind::Button:
        windowClass = "BUTTON";
        style |= BS_PUSHBUTTON;
        break;
    }
    const HWND parent = c.parent.empty() ? window.get() : byName.at(c.parent);
    const RECT r = Rect(c.geometry);
    const HWND hwnd = ::CreateWindowExA(exStyle, windowClass, CodePage().ToAnsi(c.caption).c_str(), style, r.left, r.top,
                                        r.right - r.left, r.bottom - r.top, parent,
                                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + i)),
                                        instance, this);
    if (hwnd == nullptr) FailToCreate(ToUtf8(c.name).c_str());
    controls.push_back(hwnd);
    byName[c.name] = hwnd;
    ::SendMessageA(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(Font(c.font)), FALSE);
    if (c.kind == ControlKind::TextBox) ::SendMessageA(hwnd, EM_SETLIMITTEXT, 0, 0);
    if (c.iconResource) {
      icons.emplace_back(static_cast<HICON>(
          ::LoadImageA(instance, MAKEINTRESOURCEA(c.iconResource), IMAGE_ICON, 32, 32, 0)));
      ::SendMessageA(hwnd, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icons.back().get()));
      // Setting an icon sizes the control to it; the table's size stands.
      ::SetWindowPos(hwnd, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (!c.tip.empty()) AddTip(hwnd, c.tip);
  }
  // The table lists the top of the drawing order first.
  for (HWND hwnd : controls) {
    ::SetWindowPos(hwnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

Form::Form(FormLayout layout, FormEvents events) : impl_(std::make_unique<Impl>()) {
  impl_->layout = std::move(layout);
  impl_->events = std::move(events);
  const HINSTANCE instance = ::GetModuleHandleA(nullptr);
  Impl::RegisterClasses(instance);
  {
    const UniqueScreenDc screen(::GetDC(nullptr));
    impl_->dpiX = ::GetDeviceCaps(screen.get(), LOGPIXELSX);
    impl_->dpiY = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
  }
  const FormLayout& s = impl_->layout;
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  DWORD exStyle = WS_EX_CONTROLPARENT;
  if (s.border == FormBorder::FixedToolWindow) {
    exStyle |= WS_EX_TOOLWINDOW;  // also keeps it out of the taskbar
  } else {
    exStyle |= WS_EX_DLGMODALFRAME;  // a caption without an icon
    if (s.showInTaskbar) exStyle |= WS_EX_APPWINDOW;
  }
  RECT outer = impl_->Rect(s.client);
  ::AdjustWindowRectEx(&outer, style, FALSE, exStyle);
  impl_->window.reset(::CreateWindowExA(exStyle, kFormClass, CodePage().ToAnsi(s.caption).c_str(), style, outer.left,
                                        outer.top, outer.right - outer.left, outer.bottom - outer.top, nullptr,
                                        nullptr, instance, impl_.get()));
  if (!impl_->window) FailToCreate("the window");
  impl_->tooltip.reset(::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                                         CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                         impl_->window.get(), nullptr, instance, nullptr));
  if (!impl_->tooltip) FailToCreate("the tooltips");
  impl_->CreateControls();
}

Form::~Form() = default;

void Form::Show() {
  ::ShowWindow(impl_->window.get(), SW_SHOW);
  ::UpdateWindow(impl_->window.get());
  for (std::size_t i = 0; i < impl_->controls.size(); ++i) {
    const ControlLayout& c = impl_->layout.controls[i];
    if (c.tabStop && c.visible) {
      ::SetFocus(impl_->controls[i]);
      break;
    }
  }
}

void Form::Unload() {
  impl_->tooltip.reset();
  impl_->window.reset();
  impl_->controls.clear();
  impl_->byName.clear();
}

void Form::SetText(const std::u16string& control, const std::u16string& text) {
  ::SetWindowTextA(impl_->byName.at(control), CodePage().ToAnsi(text).c_str());
}

std::u16string Form::Text(const std::u16string& control) const {
  const HWND hwnd = impl_->byName.at(control);
  std::string text(static_cast<std::size_t>(::GetWindowTextLengthA(hwnd)) + 1, '\0');
  const int length = ::GetWindowTextA(hwnd, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length));
  return CodePage().FromAnsi(text);
}

int RunMessageLoop() {
  MSG message;
  while (::GetMessageA(&message, nullptr, 0, 0) > 0) {
    const HWND root = RootOf(message.hwnd);
    char rootClass[32] = {};
    if (root != nullptr) ::GetClassNameA(root, rootClass, sizeof rootClass);
    const bool ours = ::lstrcmpA(rootClass, kFormClass) == 0;
    if (ours && message.message == WM_KEYDOWN) {
      // Tab moves the focus even out of the multi-line report box.
      if (message.wParam == VK_TAB) {
        const bool back = ::GetKeyState(VK_SHIFT) < 0;
        if (const HWND next = ::GetNextDlgTabItem(root, ::GetFocus(), back)) ::SetFocus(next);
        continue;
      }
      // Enter presses the focused button, as in a dialog. The dialog manager
      // would send it as IDOK, since none of these buttons is a default one.
      const HWND focus = ::GetFocus();
      if (message.wParam == VK_RETURN && focus != nullptr && IsPushButton(focus)) {
        ::SendMessageA(::GetParent(focus), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(focus), BN_CLICKED),
                       reinterpret_cast<LPARAM>(focus));
        continue;
      }
    }
    if (ours && ::IsDialogMessageA(root, &message)) continue;
    ::TranslateMessage(&message);
    ::DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

void QuitMessageLoop(int exitCode) { ::PostQuitMessage(exitCode); }

void ShowFatalError(const char* what) {
  ::MessageBoxA(nullptr, CodePage().ToAnsi(FromUtf8(what)).c_str(), "Taloveric", MB_OK | MB_ICONSTOP);
}

}  // namespace taloveric::win32
