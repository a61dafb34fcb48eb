#include "platform/win32/Win32Dialogs.h"

#include "platform/CodePage.h"
#include "platform/win32/WindowsApi.h"

namespace taloveric::win32 {

Answer Win32Dialogs::Show(const MessageBoxRequest& box) {
  UINT flags = 0;
  switch (box.buttons) {
    case Buttons::Ok: flags = MB_OK; break;
    case Buttons::OkCancel: flags = MB_OKCANCEL; break;
    case Buttons::YesNo: flags = MB_YESNO; break;
  }
  if (box.icon == Icon::Information) flags |= MB_ICONINFORMATION;
  flags |= box.defaultButton == 2 ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
  switch (::MessageBoxA(::GetActiveWindow(), CodePage().ToAnsi(box.prompt).c_str(), CodePage().ToAnsi(box.title).c_str(), flags)) {
    case IDOK: return Answer::Ok;
    case IDYES: return Answer::Yes;
    case IDNO: return Answer::No;
    default: return Answer::Cancel;  // closed, or the box could not be shown
  }
}

}  // namespace taloveric::win32
