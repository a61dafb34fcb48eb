#include "platform/posix/Heap.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace taloveric {

void PrepareHeap() {
  ::mallopt(M_MMAP_THRESHOLD, 4 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 128 << 20);  // more than the reserve below, which is kept
  constexpr std::uintptr_t kHugePage = 2 << 20, kReserved = 64 << 20;
  ::mallopt(M_TOP_PAD, static_cast<int>(kReserved));
  // The heap's next growth takes the whole reserve, of which only the pages
  // touched are ever served. A system without huge pages answers no, and
  // nothing changes.
  const auto before = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  void* volatile grown = std::malloc(256 << 10);  // volatile: kept, not elided with its free
  const auto from = (before + kHugePage - 1) & ~(kHugePage - 1);
  const auto to = reinterpret_cast<std::uintptr_t>(::sbrk(0)) & ~(kHugePage - 1);
  if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
  std::free(grown);
  ::mallopt(M_TOP_PAD, 128 << 10);  // the default again, for what grows past it
}

}  // namespace taloveric
