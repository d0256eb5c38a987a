// Feeds every file of a seed corpus to a fuzz target's check, once each, so that what the
// fuzzers check is checked on every test run, by every compiler. A failed check aborts.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  if (argc != 2 || std::filesystem::is_empty(argv[1])) return 1;  // an empty corpus proves nothing
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) {
    std::ifstream file(entry.path(), std::ios::binary);
    const std::string input{std::istreambuf_iterator<char>(file), {}};
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
}
