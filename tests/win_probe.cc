// What only a Windows program sees, for wine_e2e_test.cc; UTF-8 on binary standard streams.
//   run PROGRAM [hung]  PROGRAM with the first input line as its command line after its name;
//                       prints each box as "caption: text", dismissed at the next input line
//                       or its end; exits as PROGRAM. "hung": behind a window that never answers.
//                       An input box prints "caption: prompt [text] N wide" ("text" without
//                       brackets when not all selected; N the characters of average width that
//                       fit a line, at most 60) and takes the next line: "+TEXT" types TEXT in
//                       place of the selection and presses Enter, "=TEXT" types and clicks OK,
//                       "^TEXT" pastes TEXT from the clipboard (each "|" in it a line end, CR LF)
//                       and presses Enter, "-" presses Escape, "c" clicks Cancel, anything else
//                       closes the box
//   pictures            the text of each picture of picture_table.h, a line each
//   shortcut LINK       the shell link's target, arguments and hotkey, a line each; the
//                       hotkey as modifiers and key, "Ctrl+Alt+J" say
//   short NAME          NAME's short form (8.3), as GetShortPathNameW gives it
#include <fcntl.h>
#include <io.h>
#include <shlobj.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <iostream>
#include <vector>

#include "platform/win/platform_win.h"
#include "tests/picture_table.h"
#include "text/utf.h"

namespace jotlog {
namespace {

void Print(const std::u16string& text) { std::cout << EncodeUtf8(text) << std::flush; }

// Answers an input box of another process as the next input line says (see above).
void Answer(HWND box, HWND edit) {
  std::vector<wchar_t> text(::SendMessageW(edit, WM_GETTEXTLENGTH, 0, 0) + 1);
  wchar_t caption[256] = {}, prompt[256] = {};
  ::GetWindowTextW(box, caption, 256);
  ::GetDlgItemTextW(box, 0xFFFF, prompt, 256);
  ::SendMessageW(edit, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  const std::u16string all = Utf16(text.data());
  const LRESULT selection = ::SendMessageW(edit, EM_GETSEL, 0, 0);
  const bool selected = LOWORD(selection) == 0 && HIWORD(selection) == all.size();
  // The width of a line of text, in characters of the edit's font.
  RECT area = {};
  ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&area));
  HDC context = ::GetDC(edit);
  HGDIOBJ old =
      ::SelectObject(context, reinterpret_cast<HGDIOBJ>(::SendMessageW(edit, WM_GETFONT, 0, 0)));
  TEXTMETRICW metrics = {};
  ::GetTextMetricsW(context, &metrics);
  ::SelectObject(context, old);
  ::ReleaseDC(edit, context);
  const long wide =
      metrics.tmAveCharWidth > 0 ? (area.right - area.left) / metrics.tmAveCharWidth : 0;
  Print(Utf16(caption) + u": " + Utf16(prompt) + u" " + (selected ? u"[" + all + u"]" : all) +
        u" " + Utf16(std::to_wstring(std::min(wide, 60L))) + u" wide\n");
  std::string line;
  std::getline(std::cin, line);
  std::wstring typed = Wide(DecodeUtf8(line.empty() ? "" : line.substr(1)));
  if (!line.empty() && (line[0] == '+' || line[0] == '=')) {
    // As typing does, within the control's limit.
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(typed.c_str()));
  } else if (!line.empty() && line[0] == '^') {
    for (size_t at; (at = typed.find(L'|')) != std::wstring::npos;) typed.replace(at, 1, L"\r\n");
    if (::OpenClipboard(nullptr)) {
      ::EmptyClipboard();
      const size_t bytes = (typed.size() + 1) * sizeof(wchar_t);
      if (HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes); block != nullptr) {
        std::memcpy(::GlobalLock(block), typed.c_str(), bytes);
        ::GlobalUnlock(block);
        if (::SetClipboardData(CF_UNICODETEXT, block) == nullptr) ::GlobalFree(block);
      }
      ::CloseClipboard();
    }
    ::SendMessageW(edit, EM_SETSEL, 0, -1);
    ::SendMessageW(edit, WM_PASTE, 0, 0);
  }
  if (line == "-" || (!line.empty() && (line[0] == '+' || line[0] == '^'))) {
    ::PostMessageW(edit, WM_KEYDOWN, line == "-" ? VK_ESCAPE : VK_RETURN, 1);
  } else if (line == "c" || (!line.empty() && line[0] == '=')) {
    ::PostMessageW(::GetDlgItem(box, line == "c" ? IDCANCEL : IDOK), BM_CLICK, 0, 0);
  } else {
    ::PostMessageW(box, WM_CLOSE, 0, 0);
  }
}

int Run(const std::wstring& program, bool hung) {
  // A window in front that answers no message: nothing here takes messages.
  HWND window = hung ? ::CreateWindowExW(0, L"STATIC", L"hung", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                         0, 200, 100, nullptr, nullptr, nullptr, nullptr)
                     : nullptr;
  if (hung && (!::SetForegroundWindow(window) || ::GetForegroundWindow() != window)) return 98;
  std::string line;
  std::getline(std::cin, line);
  std::wstring commandLine = L"\"" + program + L"\" " + Wide(DecodeUtf8(line));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
    return 99;
  }
  WinHandle process(started.hProcess), thread(started.hThread);
  while (::WaitForSingleObject(process.get(), 10) == WAIT_TIMEOUT) {
    // A message box is a visible dialog of the program's; its text is control 0xFFFF.
    HWND box = nullptr;
    for (DWORD owner = 0; (box = ::FindWindowExW(nullptr, box, L"#32770", nullptr)) != nullptr;) {
      ::GetWindowThreadProcessId(box, &owner);
      if (owner == started.dwProcessId && ::IsWindowVisible(box)) break;
    }
    if (box == nullptr) continue;
    if (HWND edit = ::FindWindowExW(box, nullptr, L"Edit", nullptr); edit != nullptr) {
      Answer(box, edit);
    } else {
      wchar_t caption[256] = {}, text[1024] = {};
      ::GetWindowTextW(box, caption, 256);
      ::GetDlgItemTextW(box, 0xFFFF, text, 1024);
      Print(Utf16(caption) + u": " + Utf16(text) + u"\n");
      std::cin.ignore(INT_MAX, '\n');
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    while (::IsWindow(box) && ::WaitForSingleObject(process.get(), 10) == WAIT_TIMEOUT) {
    }
  }
  DWORD code = 99;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

int Pictures() {
  WinPlatform platform(::GetModuleHandleW(nullptr));
  for (const PictureCase& c : PictureCases()) {
    char16_t buffer[127];
    const int written = c.kind == PictureKind::kDate
                            ? platform.FormatDate(c.time, c.picture, buffer, 127)
                            : platform.FormatTime(c.time, c.picture, buffer, 127);
    Print((written > 0 ? std::u16string(buffer) : u"<failed>") + u"\n");
  }
  return 0;
}

// Releases a COM interface pointer as it goes.
template <class T>
struct Released {
  T* p = nullptr;
  ~Released() {
    if (p != nullptr) p->Release();
  }
};

int Shortcut(const wchar_t* link) {
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 97;
  int code = 1;
  {
    Released<IShellLinkW> shell;
    Released<IPersistFile> file;
    wchar_t target[MAX_PATH] = {}, arguments[1024] = {};
    WORD hotkey = 0;
    if (SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IShellLinkW, reinterpret_cast<void**>(&shell.p))) &&
        SUCCEEDED(shell.p->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file.p))) &&
        SUCCEEDED(file.p->Load(link, STGM_READ)) &&
        SUCCEEDED(shell.p->GetPath(target, MAX_PATH, nullptr, 0)) &&
        SUCCEEDED(shell.p->GetArguments(arguments, 1024)) &&
        SUCCEEDED(shell.p->GetHotkey(&hotkey))) {
      // The high byte holds HOTKEYF_* modifiers, the low one the virtual key.
      const BYTE modifiers = HIBYTE(hotkey), key = LOBYTE(hotkey);
      std::u16string keys;
      if (modifiers & HOTKEYF_CONTROL) keys += u"Ctrl+";
      if (modifiers & HOTKEYF_ALT) keys += u"Alt+";
      if (modifiers & HOTKEYF_SHIFT) keys += u"Shift+";
      if (modifiers & HOTKEYF_EXT) keys += u"Ext+";
      if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) {
        keys += static_cast<char16_t>(key);
      } else if (key != 0) {
        keys += u"VK" + Utf16(std::to_wstring(key).c_str());
      }
      Print(Utf16(target) + u"\n" + Utf16(arguments) + u"\n" + keys + u"\n");
      code = 0;
    }
  }
  ::CoUninitialize();
  return code;
}

}  // namespace
}  // namespace jotlog

int wmain(int argc, wchar_t** argv) {
  using namespace jotlog;
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"run" && (argc == 3 || argc == 4)) return Run(argv[2], argc == 4);
  if (command == L"pictures") return Pictures();
  if (command == L"shortcut" && argc == 3) return Shortcut(argv[2]);
  if (command == L"short" && argc == 3) {
    wchar_t name[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(argv[2], name, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    Print(Utf16(name));
    return 0;
  }
  return 2;
}
