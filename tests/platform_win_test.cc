// The Windows platform layer's files and names, on the real API (under Wine in CI).
#include "platform/platform_win.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace jotlog {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string ReadFile(const fs::path& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

class WinFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = fs::temp_directory_path() /
             ("jotlog-" + std::to_string(::GetCurrentProcessId()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  void TearDown() override { fs::remove_all(folder); }

  std::u16string Name(const char* file) const { return Utf16((folder / file).wstring()); }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  WinPlatform platform{::GetModuleHandleW(nullptr)};
  fs::path folder;
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

TEST_F(WinFiles, AnOpenWaitsBrieflyForAnotherWriterAndNeverHangs) {
  const std::u16string name = Name("memo.txt");
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
  const std::u16string name = Name("jotlog.ini");
  const fs::path path = folder / "jotlog.ini";
  for (bool abandoned : {true, false}) {
    auto file = platform.OpenTextFile(name, OpenMode::kCreateNew);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Write(u"[setting]\n"));
    EXPECT_TRUE(file->Flush());
    if (!abandoned) {
      // Another program made the file meanwhile: it keeps its own.
      std::ofstream(path) << "theirs";
      EXPECT_FALSE(file->Close());
    }
    file.reset();
    EXPECT_EQ(Listing(),
              abandoned ? std::vector<std::string>{} : std::vector<std::string>{"jotlog.ini"});
  }
  EXPECT_EQ(platform.OpenTextFile(name, OpenMode::kCreateNew), nullptr);
  EXPECT_EQ(ReadFile(path), "theirs");
}

}  // namespace
}  // namespace jotlog
