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

TEST_F(WinFiles, AppendsFromConcurrentWritersNeverMix) {
  const std::u16string name = Name("memo.txt");
  constexpr size_t kLine = 200000;
  auto writer = [&](char16_t mark) {
    for (int i = 0; i < 8; ++i) {
      auto file = platform.OpenTextFile(name, OpenMode::kAppend);
      ASSERT_NE(file, nullptr);
      EXPECT_TRUE(file->Write(std::u16string(kLine, mark) + u"\n"));
      EXPECT_TRUE(file->Close());
    }
  };
  std::thread a(writer, u'a'), b(writer, u'b');
  a.join();
  b.join();
  std::istringstream lines(ReadFile(folder / "memo.txt"));
  int count = 0;
  for (std::string line; std::getline(lines, line); ++count) {
    ASSERT_EQ(line.size(), kLine);
    EXPECT_EQ(line.find_first_not_of(line[0]), std::string::npos);
  }
  EXPECT_EQ(count, 16);
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

TEST_F(WinFiles, ANewFileAppearsWholeOrNotAtAll) {
  const std::u16string name = Name("jotlog.ini");
  const fs::path path = folder / "jotlog.ini";
  enum Ending { kClosed, kAbandoned, kTakenMeanwhile };
  for (Ending ending : {kClosed, kAbandoned, kTakenMeanwhile}) {
    fs::remove(path);
    auto file = platform.OpenTextFile(name, OpenMode::kCreateNew);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->Write(u"[setting]\n"));
    EXPECT_TRUE(file->Flush());
    EXPECT_TRUE(file->Write(u"FileName=メモ\n"));
    EXPECT_FALSE(fs::exists(path)) << ending;
    if (ending == kTakenMeanwhile) std::ofstream(path) << "theirs";
    if (ending != kAbandoned) {
      EXPECT_EQ(file->Close(), ending == kClosed) << ending;
    }
    file.reset();
    EXPECT_EQ(Listing(), ending == kAbandoned ? std::vector<std::string>{}
                                              : std::vector<std::string>{"jotlog.ini"})
        << ending;
    EXPECT_EQ(ReadFile(path), ending == kClosed           ? "[setting]\nFileName=メモ\n"
                              : ending == kTakenMeanwhile ? "theirs"
                                                          : "")
        << ending;
  }
  // An existing file is never opened anew.
  EXPECT_EQ(platform.OpenTextFile(name, OpenMode::kCreateNew), nullptr);
  EXPECT_EQ(ReadFile(path), "theirs");
}

}  // namespace
}  // namespace jotlog
