// Memory for the program on POSIX hosts. Large blocks (a memo of many megabytes and the
// entry and bytes made from it) are asked to be backed by huge pages where the system
// offers them on request, so that filling them costs a few page faults instead of one
// for every 4 KiB, which on some machines costs more than the copying itself.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;
constexpr size_t kLargeBlock = 4 * kHugePage;

void* Allocate(size_t size) {
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  if (size >= kLargeBlock) {
    // Only whole huge pages inside the block can be backed by them.
    const auto start = reinterpret_cast<uintptr_t>(block);
    const uintptr_t begin = (start + kHugePage - 1) & ~(kHugePage - 1);
    const uintptr_t end = (start + size) & ~(kHugePage - 1);
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
  return block;
}

}  // namespace

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
