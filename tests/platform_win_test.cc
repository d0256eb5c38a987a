// The Windows platform layer's files and names, on the real API (under Wine in CI).
#include "platform/platform_win.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace jotlog {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

class WinFiles : public ::testing::Test {
 protected:
  void SetUp() override { fs::create_directories(folder); }
  void TearDown() override { fs::remove_all(folder); }

  const fs::path folder =
      fs::temp_directory_path() / ("jotlog-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  WinPlatform platform{::GetModuleHandleW(nullptr)};
};

TEST(WinPathFor, MapsMyDocumentsAndLeavesOtherNamesAsTheyAre) {
  wchar_t documents[MAX_PATH + 1] = {};
  ASSERT_TRUE(::SHGetSpecialFolderPathW(nullptr, documents, CSIDL_PERSONAL, FALSE));
  const std::wstring home = documents;
  const std::pair<std::u16string, std::optional<std::wstring>> cases[] = {
      {u"\\My Documents\\jotlog.txt", home + L"\\jotlog.txt"},
      {u"\\my documents\\メモ\\a.txt", home + L"\\メモ\\a.txt"},
      {u"\\My Documents/a.txt", home + L"/a.txt"},
      {u"\\My Documents", home},
      {u"\\My Documentsx\\a.txt", L"\\My Documentsx\\a.txt"},
      {u"\\\\server\\My Documents\\a.txt", L"\\\\server\\My Documents\\a.txt"},
      {u"Z:\\My Documents\\a.txt", L"Z:\\My Documents\\a.txt"},
      {u"\\Storage Card\\a.txt", L"\\Storage Card\\a.txt"},
      {u"", L""},
      {std::u16string(u"a.txt\0.exe", 10), std::nullopt},  // never cut short at the NUL
  };
  for (const auto& [name, path] : cases) {
    EXPECT_EQ(WinPathFor(name), path) << std::string(name.begin(), name.end());
  }
}

TEST(LongPathForm, GivesAbsoluteNamesPastTheLimitInTheFormWithoutOne) {
  const std::wstring a(100, L'a'), b(100, L'b'), c(100, L'c');
  const std::pair<std::wstring, std::wstring> cases[] = {
      {L"C:\\" + a + L"\\" + b, L"C:\\" + a + L"\\" + b},  // short enough: as it is
      {L"C:\\" + a + L"\\" + b + L"\\" + c, L"\\\\?\\C:\\" + a + L"\\" + b + L"\\" + c},
      {L"z:/" + a + L"//./" + b + L"/x/../" + c + L"/",
       L"\\\\?\\z:\\" + a + L"\\" + b + L"\\" + c + L"\\"},
      {L"C:\\..\\..\\" + a + L"\\" + b + L"\\" + c, L"\\\\?\\C:\\" + a + L"\\" + b + L"\\" + c},
      {L"\\\\srv\\share\\..\\" + a + L"\\" + b + L"\\" + c,
       L"\\\\?\\UNC\\srv\\share\\" + a + L"\\" + b + L"\\" + c},
      // rooted in the current drive, or already a device name: as they are
      {L"\\" + a + L"\\" + b + L"\\" + c, L"\\" + a + L"\\" + b + L"\\" + c},
      {L"\\\\?\\C:\\" + a + L"\\" + b + L"\\" + c, L"\\\\?\\C:\\" + a + L"\\" + b + L"\\" + c},
  };
  for (const auto& [name, form] : cases) {
    EXPECT_EQ(LongPathForm(name), form) << std::string(name.begin(), name.end());
  }
}

TEST_F(WinFiles, AnOpenWaitsBrieflyForAnotherWriterAndNeverHangs) {
  const std::u16string name = Utf16((folder / "memo.txt").wstring());
  for (bool released : {true, false}) {
    HANDLE other = ::CreateFileW(Wide(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    std::thread releaser([&] {
      if (released) std::this_thread::sleep_for(std::chrono::milliseconds(300));
      if (released) ::CloseHandle(other);
    });
    const auto start = Clock::now();
    auto file = platform.OpenTextFile(name, OpenMode::kAppend);
    const auto waited = Clock::now() - start;
    releaser.join();
    if (!released) ::CloseHandle(other);
    EXPECT_EQ(file != nullptr, released);
    EXPECT_GE(waited, std::chrono::milliseconds(released ? 250 : 1500));
    EXPECT_LT(waited, std::chrono::seconds(5));
    // Reading is never refused for a writer's sake.
    EXPECT_NE(platform.OpenTextFile(name, OpenMode::kRead), nullptr);
  }
}

TEST_F(WinFiles, ANewFileIsMovedIntoPlaceOnlyWhenCompleteAndNeverOverAnother) {
  const std::u16string name = Utf16((folder / "jotlog.ini").wstring());
  auto file = platform.OpenTextFile(name, OpenMode::kCreateNew);
  ASSERT_NE(file, nullptr);
  EXPECT_TRUE(file->Write(u"[setting]\n"));
  EXPECT_TRUE(file->Flush());
  std::ofstream(folder / "jotlog.ini") << "theirs";
  EXPECT_FALSE(file->Close());
  file.reset();
  // Nor is anything left of a file given up before its close.
  ASSERT_NE(platform.OpenTextFile(Utf16((folder / "gone").wstring()), OpenMode::kCreateNew),
            nullptr);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_EQ(platform.OpenTextFile(name, OpenMode::kCreateNew), nullptr);
  std::string kept;
  std::ifstream(folder / "jotlog.ini") >> kept;
  EXPECT_EQ(kept, "theirs");
}

}  // namespace
}  // namespace jotlog
