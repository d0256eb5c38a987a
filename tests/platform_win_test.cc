// The Windows platform layer's files and names, on the real API (under Wine in CI).
#include "platform/win/platform_win.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/clipboard.h"
#include "text/text_file.h"

namespace jotlog {
namespace {

namespace fs = std::filesystem;

TEST(WinPathFor, MapsMyDocumentsAndLeavesOtherNamesAsTheyAre) {
  wchar_t documents[MAX_PATH + 1] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE));
  const std::wstring home = documents;
  // A NUL never cuts a name short.
  const std::pair<std::u16string, std::optional<std::wstring>> cases[] = {
      {u"\\my documents\\メモ\\a.txt", home + L"\\メモ\\a.txt"},
      {u"\\My Documents", home},
      {u"\\My Documents/a.txt", home + L"/a.txt"},
      {u"\\My Documentsx", L"\\My Documentsx"},
      {std::u16string(u"a.txt\0.exe", 10), std::nullopt}};
  for (const auto& [name, path] : cases) {
    EXPECT_EQ(WinPathFor(name), path) << std::string(name.begin(), name.end());
  }
}

TEST(LocalDriveForm, TakesThisMachinesAdministrativeShareForItsDrive) {
  const std::vector<std::wstring> hosts = {L"localhost", L"Pc1"};
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"\\\\PC1\\C$\\Program Files\\x", L"C:\\Program Files\\x"},
      {L"\\\\localhost\\d$", L"d:"},
      {L"\\\\other\\C$\\Program Files", L"\\\\other\\C$\\Program Files"},
      {L"\\\\pc1\\share\\x", L"\\\\pc1\\share\\x"},
      {L"\\\\pc1\\C$x", L"\\\\pc1\\C$x"},
      {L"\\\\pc\\C$", L"\\\\pc\\C$"},
      {L"C:\\Program Files", L"C:\\Program Files"}};
  for (const auto& [name, drive] : cases) EXPECT_EQ(LocalDriveForm(name, hosts), drive);
}

TEST(LongPathForm, GivesAbsoluteNamesPastTheLimitInTheFormWithoutOne) {
  const std::wstring a(100, L'a'), abc = a + L"\\" + std::wstring(100, L'b') + L"\\" + a;
  // Short enough, rooted in the current drive, or already a device name: as they are.
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\" + a, L"C:\\" + a},
      {L"\\" + abc, L"\\" + abc},
      {L"\\\\?\\C:\\" + abc, L"\\\\?\\C:\\" + abc},
      {L"Z:\\" + abc, L"\\\\?\\Z:\\" + abc},
      {L"A:\\..\\..\\" + abc, L"\\\\?\\A:\\" + abc},
      {L"z:/" + a + L"//./x/../" + abc + L"/", L"\\\\?\\z:\\" + a + L"\\" + abc + L"\\"},
      {L"\\\\srv\\share\\..\\" + abc, L"\\\\?\\UNC\\srv\\share\\" + abc},
      // trailing dots and blanks dropped from every part, as from a short name
      {L"Z:\\" + a + L". \\ . \\...\\" + abc + L"\\memo.txt. ",
       L"\\\\?\\Z:\\" + a + L"\\" + abc + L"\\memo.txt"},
  };
  for (const auto& [name, form] : cases) {
    EXPECT_EQ(LongPathForm(name), form) << std::string(name.begin(), name.end());
  }
}

// A host's text file over bytes in memory, as on Windows (text is UTF-16, with a code page):
// its code page takes each byte for the character of that number, and is handed whole
// characters only, which here end before a space.
class MemoryText : public ByteTextFile {
 public:
  explicit MemoryText(std::string bytes) : ByteTextFile(Encoding::kUtf8, true), bytes_(bytes) {}
  bool Close() override { return true; }
  size_t read = 0;

 protected:
  ptrdiff_t ReadBytes(char* buffer, size_t size) override {
    const size_t n = bytes_.copy(buffer, std::min<size_t>(size, 4096), read);
    read += n;
    return static_cast<ptrdiff_t>(n);
  }
  bool WriteBytes(std::string_view) override { return false; }
  bool DecodeLegacy(std::string_view bytes, std::u16string& out) override {
    EXPECT_TRUE(bytes.back() == ' ' || read == bytes_.size()) << bytes.size();
    out.assign(bytes.begin(), bytes.end());
    for (char16_t& unit : out) unit &= 0xFF;
    return true;
  }

 private:
  std::string bytes_;
};

TEST(ByteTextFile, ReadsUtf8OrTheCodePageAsItGoesAndNoByteThatIsNotText) {
  const std::string block(70000, 'x');
  // The bytes; the text; how many bytes are read before the first unit comes.
  const std::tuple<std::string, std::u16string, size_t> cases[] = {
      // by the first block: UTF-8, where a later stray byte is U+FFFD
      {"日 " + block + "\xE9", u"日 " + std::u16string(70000, u'x') + u"\uFFFD", 65536},
      {"\xEF\xBB\xBF"
       "caf\xE9",
       u"caf\uFFFD", 7},
      // or the code page, piece by piece (a piece is cut after a byte below 0x40)
      {"\xE9 " + block + " " + block,
       u"\u00E9 " + std::u16string(70000, u'x') + u" " + std::u16string(70000, u'x'), 65536},
  };
  for (const auto& [bytes, text, first] : cases) {
    MemoryText file(bytes);
    std::u16string got;
    for (char16_t unit; (unit = file.Get()) != kWeof;) {
      if (got.empty()) {
        EXPECT_EQ(file.read, first) << bytes.size();
      }
      got += unit;
    }
    EXPECT_TRUE(got == text) << bytes.size();
  }
}

TEST(WinFiles, AppendsNeverMixOrWaitLongAndNewFilesNeverReplaceAnother) {
  const fs::path folder =
      fs::temp_directory_path() / ("jotlog-" + std::to_string(::GetCurrentProcessId()));
  auto Name = [&](const char* name) { return Utf16((folder / name).wstring()); };
  WinPlatform platform{::GetModuleHandleW(nullptr)};
  fs::create_directories(folder);
  // Three writers past the guard start at once on a missing file, often racing to create it;
  // entries this large mix when a handle lets others write meanwhile.
  auto race = [&](size_t size, int entries) {
    fs::remove(folder / "memo.txt");
    std::atomic<int> ready = 0, appended = 0;
    std::vector<std::thread> writers;
    for (const char16_t mark : std::u16string_view(u"abc")) {
      writers.emplace_back([&, mark] {
        for (++ready; ready < 3;) {
        }
        for (int i = 0; i < entries; ++i) {
          auto file = platform.OpenTextFile(Name("memo.txt"), OpenMode::kAppend);
          appended += file && file->Write(std::u16string(size, mark) + u"\n") && file->Close();
        }
      });
    }
    for (std::thread& writer : writers) writer.join();
    EXPECT_EQ(appended, 3 * entries);
    std::ifstream lines(folder / "memo.txt", std::ios::binary);
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
      ASSERT_EQ(line.size(), size);
      ASSERT_EQ(line.find_first_not_of(line[0]), std::string::npos);
    }
    EXPECT_EQ(count, 3 * entries);
  };
  for (int round = 0; round < 20; ++round) race(1, 1);
  race(4000000, 4);
  // A writer that stays is waited for only so long; reading never waits.
  HANDLE other = ::CreateFileW((folder / "memo.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform.OpenTextFile(Name("memo.txt"), OpenMode::kAppend), nullptr);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(1500));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_NE(platform.OpenTextFile(Name("memo.txt"), OpenMode::kRead), nullptr);
  ::CloseHandle(other);
  // A UTF-16 file whose odd length is the position that reads as a failed seek.
  std::ofstream(folder / "odd.txt", std::ios::binary) << "\xFF\xFE";
  fs::resize_file(folder / "odd.txt", 0xFFFFFFFF);
  EXPECT_EQ(platform.OpenTextFile(Name("odd.txt"), OpenMode::kAppend), nullptr);
  // A new file is moved into place when complete, never over one that appeared meanwhile;
  // a temporary name an earlier process of the same number left is passed over.
  const std::string stale = "jotlog.ini." + std::to_string(::GetCurrentProcessId()) + ".0.tmp";
  std::ofstream(folder / stale) << "stale";
  auto file = platform.OpenTextFile(Name("jotlog.ini"), OpenMode::kCreateNew);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write(u"[setting]\n"));
  EXPECT_TRUE(file->Flush());
  std::ofstream(folder / "jotlog.ini") << "theirs";
  EXPECT_FALSE(file->Close());
  file.reset();
  // Nor is anything left of a file given up before its close.
  ASSERT_NE(platform.OpenTextFile(Name("gone"), OpenMode::kCreateNew), nullptr);
  // Beside memo.txt, odd.txt and the stale name, jotlog.ini alone.
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 4);
  EXPECT_EQ(platform.OpenTextFile(Name("jotlog.ini"), OpenMode::kCreateNew), nullptr);
  std::string kept;
  std::ifstream(folder / "jotlog.ini") >> kept;
  EXPECT_EQ(kept, "theirs");
  fs::remove_all(folder);
}

TEST(WinFiles, AnAppendGivenUpTakesBackOnlyWhatItWroteAndItsOwnNewFile) {
  const fs::path folder =
      fs::temp_directory_path() / ("jotlog-undo-" + std::to_string(::GetCurrentProcessId()));
  const fs::path memo = folder / "memo.txt";
  WinPlatform platform{::GetModuleHandleW(nullptr)};
  auto Open = [&](DWORD share) {
    return ::CreateFileW(memo.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  // What another program does while a run appends to a memo file the run created, which
  // is then given up unclosed (as when memory runs out): nothing; move it away and put
  // its own file there; read it without letting it be deleted. Only the run's file goes.
  enum Other { kNothing, kReplace, kRead };
  for (const Other other : {kNothing, kReplace, kRead}) {
    fs::remove_all(folder);
    fs::create_directories(folder);
    auto file = platform.OpenTextFile(Utf16(memo.wstring()), OpenMode::kAppend);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Write(u"entry"));
    EXPECT_TRUE(file->Flush());
    WinHandle reader;
    if (other == kReplace && ::MoveFileW(memo.c_str(), (folder / "moved").c_str())) {
      std::ofstream(memo) << "theirs";
    }
    if (other == kRead) reader.Reset(Open(FILE_SHARE_READ | FILE_SHARE_WRITE));
    file.reset();
    reader.Reset();
    std::string kept = "<absent>";
    if (fs::exists(memo)) std::ifstream(memo) >> kept;
    EXPECT_EQ(kept, fs::exists(folder / "moved") ? "theirs" : "<absent>") << other;
    EXPECT_FALSE(fs::exists(folder / "moved") && fs::file_size(folder / "moved") == 0) << other;
  }
  fs::remove_all(folder);
}

TEST(WinFiles, AnAppendToAPipeThatIsNeverReadFailsInABoundedTime) {
  const std::wstring name = L"\\\\.\\pipe\\jotlog-" + std::to_wstring(::GetCurrentProcessId());
  WinHandle server(
      ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE, 1, 0, 0, 0, nullptr));
  ASSERT_TRUE(server.valid());
  WinPlatform platform{::GetModuleHandleW(nullptr)};
  const auto start = std::chrono::steady_clock::now();
  auto file = platform.OpenTextFile(Utf16(name), OpenMode::kAppend);
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(file->Write(std::u16string(1000000, u'p')) && file->Close());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

// Another program's hold on the clipboard, from a window of its own, for `ms` ms: open
// all along, or owning text that it renders on request (which it ignores) or that it never
// answers for, as a hung program.
enum class Hold { kOpen, kUnrendered, kHung };
std::thread Holder(Hold hold, DWORD ms, std::atomic<bool>& held) {
  return std::thread([=, &held] {
    HWND own =
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    // Wine's desktop opens it for a moment after each change, to tell X.
    bool opened = false;
    for (int tries = 0; tries < 100 && !(opened = ::OpenClipboard(own)); ++tries) ::Sleep(10);
    EXPECT_TRUE(opened);
    if (hold != Hold::kOpen) {
      ::EmptyClipboard();
      ::SetClipboardData(CF_UNICODETEXT, nullptr);  // rendered on request
      ::CloseClipboard();
    }
    held = true;
    if (hold == Hold::kHung) ::Sleep(ms);
    for (const ULONGLONG end = ::GetTickCount64() + (hold == Hold::kHung ? 100 : ms);
         ::GetTickCount64() < end;) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
        ::DispatchMessageW(&message);
      }
    }
    if (hold == Hold::kOpen) ::CloseClipboard();
    ::DestroyWindow(own);
  });
}

// The platform, with another program copying `copied` (when set) in the middle of an
// append, at the moment the new text is being made. The copy is tried once: it is refused
// while the append holds the clipboard, which is what keeps it from being lost.
class CopiedMeanwhile : public WinPlatform {
 public:
  CopiedMeanwhile() : WinPlatform(::GetModuleHandleW(nullptr)) {}
  std::unique_ptr<TransferBuffer> AllocTransferBuffer(size_t units) override {
    if (copied != nullptr) {
      std::thread([&] {
        HWND own =
            ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
        if (::OpenClipboard(own)) {
          const size_t bytes = (std::char_traits<char16_t>::length(copied) + 1) * 2;
          HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
          std::memcpy(::GlobalLock(block), copied, bytes);
          ::GlobalUnlock(block);
          took = ::SetClipboardData(CF_UNICODETEXT, block) != nullptr;
          ::CloseClipboard();
        }
        ::DestroyWindow(own);
      }).join();
    }
    return WinPlatform::AllocTransferBuffer(units);
  }
  const char16_t* copied = nullptr;
  bool took = false;  // the copy was made
};

TEST(WinClipboard, ReadsAndAppendsItsTextAndWaitsBrieflyForAnotherHolder) {
  // The text put there (null: none); how another holds the clipboard meanwhile, and how
  // long; what is read; whether "<m>" is appended; the text then. Nothing takes more than
  // a few seconds.
  const std::tuple<const char16_t*, Hold, DWORD, ClipboardRead, std::u16string, bool,
                   std::u16string>
      cases[] = {
          {u"a\r\n日本\xDCFF", Hold::kOpen, 0, ClipboardRead::kText, u"a\r\n日本\xFFFD", true,
           u"a\r\n日本\xFFFD<m>"},
          {nullptr, Hold::kOpen, 0, ClipboardRead::kNoText, u"", true, u"<m>"},
          // too long for the read, not for the append's own wait after it
          {u"old", Hold::kOpen, 3000, ClipboardRead::kUnreadable, u"", true, u"old<m>"},
          {u"old", Hold::kUnrendered, 1000, ClipboardRead::kUnreadable, u"", false, u"<none>"},
          // the read is given up, and with it the clipboard for the platform's life
          {u"old", Hold::kHung, 9000, ClipboardRead::kUnreadable, u"", false, u"<none>"},
      };
  for (const auto& [before, hold, ms, read, text, appended, after] : cases) {
    WinPlatform platform{::GetModuleHandleW(nullptr)};
    {
      WinPlatform other{::GetModuleHandleW(nullptr)};
      if (other.OpenClipboard()) other.EmptyClipboard();
      other.CloseClipboard();
      if (before != nullptr) AppendToClipboard(other, before);
    }
    std::atomic<bool> held = false;
    std::thread holder = ms > 0 ? Holder(hold, ms, held) : std::thread();
    while (holder.joinable() && !held) std::this_thread::yield();
    const auto start = std::chrono::steady_clock::now();
    std::u16string got, then = u"<none>";
    EXPECT_EQ(ReadClipboard(platform, got), read) << ms;
    EXPECT_EQ(got, text) << ms;
    EXPECT_EQ(AppendToClipboard(platform, u"<m>"), appended) << ms;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(6500)) << ms;
    if (holder.joinable()) holder.join();
    ReadClipboard(platform, then);
    EXPECT_EQ(then, after) << ms;
  }
  // Text copied while an append is under way is not lost: either the copy waits or it is
  // appended to.
  CopiedMeanwhile platform;
  AppendToClipboard(platform, u"old");
  platform.copied = u"new";
  std::u16string then;
  EXPECT_TRUE(AppendToClipboard(platform, u"<m>"));
  EXPECT_EQ(ReadClipboard(platform, then), ClipboardRead::kText);
  EXPECT_EQ(then, platform.took ? u"new<m>" : u"old<m>");
}

TEST(WinClipboard, AReadGivenUpLeavesTheClipboardToOtherProgramsAtOnce) {
  // A hung owner of text rendered on request holds up the read past its 5 s.
  std::atomic<bool> held = false;
  std::thread holder = Holder(Hold::kHung, 9000, held);
  while (!held) std::this_thread::yield();
  WinPlatform platform{::GetModuleHandleW(nullptr)};
  std::u16string text;
  EXPECT_EQ(ReadClipboard(platform, text), ClipboardRead::kUnreadable);
  // While the owner still sleeps (and a failure box would be open), another program can
  // open the clipboard within a second.
  bool opened = false;
  std::thread([&] {
    HWND own =
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    for (int tries = 0; tries < 50 && !(opened = ::OpenClipboard(own)); ++tries) ::Sleep(20);
    if (opened) ::CloseClipboard();
    ::DestroyWindow(own);
  }).join();
  EXPECT_TRUE(opened);
  holder.join();
}

LRESULT CALLBACK SlowToLetGo(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROYCLIPBOARD) ::Sleep(7000);
  return ::DefWindowProcW(window, message, wParam, lParam);
}

TEST(WinClipboard, AnAppendThatFailsLeavesTheOldTextAndSaysWhyAlsoWhenTheOwnerAnswersLate) {
  // The owner of "old" takes 7 s to let it go, past the 5 s the append waits.
  std::atomic<bool> held = false;
  std::thread owner([&] {
    HWND own =
        ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    ::SetWindowLongPtrW(own, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SlowToLetGo));
    bool opened = false;
    for (int tries = 0; tries < 100 && !(opened = ::OpenClipboard(own)); ++tries) ::Sleep(10);
    EXPECT_TRUE(opened);
    ::EmptyClipboard();
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, sizeof L"old");
    std::memcpy(::GlobalLock(block), L"old", sizeof L"old");
    ::GlobalUnlock(block);
    ::SetClipboardData(CF_UNICODETEXT, block);
    ::CloseClipboard();
    held = true;
    for (const ULONGLONG end = ::GetTickCount64() + 9000; ::GetTickCount64() < end;) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      for (MSG message; ::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) {
        ::DispatchMessageW(&message);
      }
    }
    ::DestroyWindow(own);
  });
  while (!held) std::this_thread::yield();
  bool appended = false;
  DWORD error = NO_ERROR;
  {
    WinPlatform platform{::GetModuleHandleW(nullptr)};
    appended = AppendToClipboard(platform, u"<m>");
    error = ::GetLastError();
  }
  owner.join();
  // Whether the empty came in time or not, the text is the old one or the whole new one; a
  // failure tells its own reason.
  WinPlatform platform{::GetModuleHandleW(nullptr)};
  std::u16string then;
  EXPECT_EQ(ReadClipboard(platform, then), ClipboardRead::kText);
  EXPECT_EQ(then, appended ? u"old<m>" : u"old");
  EXPECT_TRUE(appended || error == ERROR_TIMEOUT) << error;
}

}  // namespace
}  // namespace jotlog
