// The input box on Windows: a dialog of the program's own, made from a template in memory
// (an edit control, OK and Cancel), which Windows CE shows alike. Like the result box it
// has no owner and comes to the front.
#include <new>
#include <vector>

#include "platform/win/platform_win.h"
#include "text/utf.h"

namespace jotlog {

namespace {

constexpr WORD kEditId = 100;
constexpr WORD kPromptId =
    0xFFFF;  // a static that is never addressed, as the system's boxes have it
// The classes of the controls, as the atoms a template names them by.
constexpr WORD kButton = 0x0080, kEdit = 0x0081, kStatic = 0x0082;

// A dialog template, laid out word by word as DLGTEMPLATE and DLGITEMTEMPLATE are.
class Template {
 public:
  Template(DWORD style, short cx, short cy, const wchar_t* title, const wchar_t* font,
           WORD points) {
    Long(style);
    Long(0);
    words_.push_back(0);  // the number of controls, counted as they are added
    Rectangle(0, 0, cx, cy);
    words_.push_back(0);  // no menu
    words_.push_back(0);  // the dialog class
    Text(title);
    words_.push_back(points);
    Text(font);
  }
  void Add(WORD atom, DWORD style, short x, short y, short cx, short cy, WORD id,
           const wchar_t* text) {
    if (words_.size() % 2 != 0) words_.push_back(0);  // each control on a DWORD boundary
    Long(style | WS_CHILD | WS_VISIBLE);
    Long(0);
    Rectangle(x, y, cx, cy);
    words_.push_back(id);
    words_.push_back(0xFFFF);
    words_.push_back(atom);
    Text(text);
    words_.push_back(0);  // no creation data
    ++words_[4];
  }
  const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

 private:
  void Long(DWORD value) {
    words_.push_back(LOWORD(value));
    words_.push_back(HIWORD(value));
  }
  void Rectangle(short x, short y, short cx, short cy) {
    for (const short value : {x, y, cx, cy}) words_.push_back(static_cast<WORD>(value));
  }
  void Text(const wchar_t* text) {
    for (; *text != L'\0'; ++text) words_.push_back(static_cast<WORD>(*text));
    words_.push_back(0);
  }
  std::vector<WORD> words_;  // new's alignment puts the start on a DWORD boundary
};

struct Asking {
  const std::wstring* first;
  std::u16string* memo;
  bool outOfMemory = false;
};

INT_PTR CALLBACK InputProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    const Asking& asking = *reinterpret_cast<const Asking*>(lParam);
    HWND edit = ::GetDlgItem(dialog, kEditId);
    ::SendMessageW(edit, EM_LIMITTEXT, 0, 0);  // as much text as the control can hold
    ::SetWindowTextW(edit, asking.first->c_str());
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SetForegroundWindow(dialog);
    ::SetFocus(edit);
    return FALSE;  // the focus is set
  }
  if (message != WM_COMMAND || (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)) {
    return FALSE;
  }
  if (LOWORD(wParam) == IDOK) {
    Asking& asking = *reinterpret_cast<Asking*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    // No exception may pass through the system's dialog code: running out is noted.
    try {
      HWND edit = ::GetDlgItem(dialog, kEditId);
      std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(edit)) + 1, L'\0');
      text.resize(
          static_cast<size_t>(::GetWindowTextW(edit, text.data(), static_cast<int>(text.size()))));
      *asking.memo = Utf16(text);
    } catch (const std::bad_alloc&) {
      asking.outOfMemory = true;
    }
  }
  ::EndDialog(dialog, LOWORD(wParam));
  return TRUE;
}

}  // namespace

MemoAsked WinPlatform::AskForMemo(const std::u16string& caption, const std::u16string& prompt,
                                  const std::u16string& first, std::u16string& memo) {
  const std::wstring wideCaption = Wide(caption), widePrompt = Wide(prompt),
                     wideFirst = Wide(first);
  // In dialog units, four to a character of the system's dialog font: the text is some 60
  // characters wide and four lines high, the box centred on the screen. The edit takes
  // several lines, so a paste keeps all of them (with their CR LF); without ES_WANTRETURN,
  // Enter is still OK, and lines are only begun by a paste or Ctrl+Enter. Lines scroll
  // sideways rather than wrap, which keeps a paste of 100,000 characters quick.
  Template box(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER, 276, 84,
               wideCaption.c_str(), L"MS Shell Dlg", 8);
  box.Add(kStatic, SS_LEFT, 7, 7, 262, 9, kPromptId, widePrompt.c_str());
  box.Add(kEdit,
          WS_BORDER | WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL, 7,
          18, 262, 40, kEditId, L"");
  box.Add(kButton, WS_TABSTOP | BS_DEFPUSHBUTTON, 165, 64, 50, 14, IDOK, L"OK");
  box.Add(kButton, WS_TABSTOP | BS_PUSHBUTTON, 219, 64, 50, 14, IDCANCEL, L"キャンセル");
  std::u16string text;
  Asking asking{&wideFirst, &text};
  const INT_PTR answer = ::DialogBoxIndirectParamW(instance_, box.get(), nullptr, InputProc,
                                                   reinterpret_cast<LPARAM>(&asking));
  if (asking.outOfMemory) throw std::bad_alloc();
  if (answer == IDOK) {
    // Wide text from the system may hold lone surrogates, which no file should receive.
    ReplaceLoneSurrogates(text);
    memo = std::move(text);
    return MemoAsked::kGiven;
  }
  return answer == IDCANCEL ? MemoAsked::kCancelled : MemoAsked::kCannotAsk;
}

}  // namespace jotlog
