// A Windows program of the tests' own, run under Wine by wine_e2e_test.cc to see what only
// a Windows program can see; text in and out is UTF-8 on binary standard streams.
//   run [--hold] PROGRAM  starts PROGRAM with the first line of input as its command line
//                         after its name, prints each message box as "caption: text" and
//                         dismisses it (with --hold after another line); exits as PROGRAM
//   clip-set, clip-get    the clipboard's Unicode text from input, to output (or <none>)
//   clip-set-other        the clipboard holding a format other than text
//   clip-hold MS          opens the clipboard, prints "held" and keeps it for MS ms
//   clip-unrendered MS    text on the clipboard that is never rendered when asked for;
//                         prints "held", owns the clipboard for MS ms
//   hang                  shows a window in front, prints "ready" and stops answering
//                         messages until a line of input comes
//   append FILE MARK      four lines of four million MARKs appended through the platform
//   pictures              the text of each picture of picture_table.h, a line each
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>

#include "platform/platform_win.h"
#include "platform/utf.h"
#include "tests/picture_table.h"

namespace jotlog {
namespace {

std::string ReadLine() {
  std::string line;
  std::getline(std::cin, line);
  return line;
}

void Print(std::u16string_view text) {
  const std::string bytes = EncodeUtf8(text);
  std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  std::fflush(stdout);
}

struct BoxSearch {
  DWORD process;
  HWND box;
};

BOOL CALLBACK FindBox(HWND window, LPARAM search) {
  auto* wanted = reinterpret_cast<BoxSearch*>(search);
  DWORD process = 0;
  ::GetWindowThreadProcessId(window, &process);
  wchar_t kind[16] = {};
  ::GetClassNameW(window, kind, 16);
  if (process != wanted->process || !::IsWindowVisible(window) || std::wcscmp(kind, L"#32770")) {
    return TRUE;
  }
  wanted->box = window;
  return FALSE;
}

std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<size_t>(::GetWindowTextW(window, text.data(), text.size())));
  return Utf16(text);
}

int Run(bool hold, const std::wstring& program) {
  std::wstring commandLine = L"\"" + program + L"\" " + Wide(DecodeUtf8(ReadLine()));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started = {};
  if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started)) {
    Print(u"cannot start\n");
    return 99;
  }
  WinHandle process(started.hProcess), thread(started.hThread);
  while (::WaitForSingleObject(process.get(), 10) == WAIT_TIMEOUT) {
    BoxSearch search{started.dwProcessId, nullptr};
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    if (search.box == nullptr) continue;
    // The text of a message box is the static control numbered 0xFFFF.
    Print(WindowText(search.box) + u": " + WindowText(::GetDlgItem(search.box, 0xFFFF)) + u"\n");
    if (hold) ReadLine();
    ::PostMessageW(search.box, WM_COMMAND, IDOK, 0);
    while (::IsWindow(search.box) && ::WaitForSingleObject(process.get(), 10) == WAIT_TIMEOUT) {
    }
  }
  DWORD code = 99;
  ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

bool SetClipboard(UINT format, const void* data, size_t bytes) {
  if (!::OpenClipboard(nullptr)) return false;
  ::EmptyClipboard();
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
  void* address = block != nullptr ? ::GlobalLock(block) : nullptr;
  bool set = false;
  if (address != nullptr) {
    std::memcpy(address, data, bytes);
    ::GlobalUnlock(block);
    set = ::SetClipboardData(format, block) != nullptr;
  }
  if (!set && block != nullptr) ::GlobalFree(block);
  ::CloseClipboard();
  return set;
}

int ClipboardGet() {
  if (!::OpenClipboard(nullptr)) return 1;
  HANDLE block = ::GetClipboardData(CF_UNICODETEXT);
  const auto* text = block != nullptr ? static_cast<const char16_t*>(::GlobalLock(block)) : nullptr;
  Print(text != nullptr ? std::u16string(text) : u"<none>");
  if (text != nullptr) ::GlobalUnlock(block);
  ::CloseClipboard();
  return 0;
}

int ClipboardHold(DWORD milliseconds) {
  if (!::OpenClipboard(nullptr)) return 1;
  Print(u"held\n");
  ::Sleep(milliseconds);
  ::CloseClipboard();
  return 0;
}

int ClipboardUnrendered(DWORD milliseconds) {
  HWND owner = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                 nullptr);
  if (owner == nullptr || !::OpenClipboard(owner)) return 1;
  ::EmptyClipboard();
  ::SetClipboardData(CF_UNICODETEXT, nullptr);  // rendered on request, which is ignored
  ::CloseClipboard();
  Print(u"held\n");
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  for (ULONGLONG now; (now = ::GetTickCount64()) < end;) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
      ::DispatchMessageW(&message);
    }
  }
  ::DestroyWindow(owner);
  return 0;
}

int Hang() {
  HWND window = ::CreateWindowExW(0, L"STATIC", L"hung", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                  200, 100, nullptr, nullptr, nullptr, nullptr);
  if (window == nullptr) return 1;
  ::SetForegroundWindow(window);
  for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
    ::DispatchMessageW(&message);
  }
  if (::GetForegroundWindow() != window) return 2;
  Print(u"ready\n");
  ReadLine();  // no message is answered meanwhile
  ::DestroyWindow(window);
  return 0;
}

int Append(const wchar_t* name, wchar_t mark) {
  WinPlatform platform(::GetModuleHandleW(nullptr));
  for (int i = 0; i < 4; ++i) {
    auto file = platform.OpenTextFile(Utf16(name), OpenMode::kAppend);
    if (!file || !file->Write(std::u16string(4000000, static_cast<char16_t>(mark)) + u"\n") ||
        !file->Close()) {
      return 1;
    }
  }
  return 0;
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

}  // namespace
}  // namespace jotlog

int wmain(int argc, wchar_t** argv) {
  using namespace jotlog;
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"run" && argc == 3) return Run(false, argv[2]);
  if (command == L"run" && argc == 4 && std::wstring(argv[2]) == L"--hold") {
    return Run(true, argv[3]);
  }
  if (command == L"clip-set") {
    const std::wstring text = Wide(DecodeUtf8(
        std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>())));
    return SetClipboard(CF_UNICODETEXT, text.c_str(), (text.size() + 1) * sizeof(wchar_t)) ? 0 : 1;
  }
  if (command == L"clip-set-other") {
    const char bytes[] = "not text";
    return SetClipboard(::RegisterClipboardFormatW(L"jotlog.test"), bytes, sizeof bytes) ? 0 : 1;
  }
  if (command == L"clip-get") return ClipboardGet();
  if (command == L"clip-hold" && argc == 3)
    return ClipboardHold(std::wcstoul(argv[2], nullptr, 10));
  if (command == L"clip-unrendered" && argc == 3) {
    return ClipboardUnrendered(std::wcstoul(argv[2], nullptr, 10));
  }
  if (command == L"hang") return Hang();
  if (command == L"append" && argc == 4) return Append(argv[2], argv[3][0]);
  if (command == L"pictures") return Pictures();
  return 2;
}
