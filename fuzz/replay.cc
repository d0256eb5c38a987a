// Feeds every file of a seed corpus to a fuzz target's check, once each, so that what the
// fuzzers check is checked on every test run, by every compiler. A failed check aborts.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(argc == 2 ? argv[1] : "")) {
    std::ostringstream bytes;
    bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
    const std::string input = bytes.str();
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    ++replayed;
  }
  return replayed > 0 ? 0 : 1;  // an empty corpus proves nothing
}
