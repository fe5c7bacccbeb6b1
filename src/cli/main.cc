#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kHeapReserve = std::size_t{256} << 20;

// A run moves a page of many megabytes through a handful of buffers, each of
// them fresh memory that the kernel maps page by page on first touch: some
// 25,000 faults for a 20 MB page, the larger part of the run's time. So the
// heap is given one large reserve up front and the kernel is asked to back it
// with huge pages, where it offers them; every thread allocates from this one
// heap, the fetch worker's body included. Freed blocks stay in the heap for
// the next buffer rather than going back to the system.
void PrepareHeap() {
  mallopt(M_ARENA_MAX, 1);
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, static_cast<int>(kHeapReserve * 2));
  mallopt(M_TOP_PAD, static_cast<int>(kHeapReserve));
  // A block larger than what the heap has left makes malloc grow it by the
  // reserve; the reserve then lies between the block and the break.
  void* block = std::malloc(kHugePage);
  if (block == nullptr) {
    return;
  }
  const auto begin = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
  std::free(block);
  if (end > begin) {
    // Without transparent huge pages this fails, and the heap keeps small pages.
    madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  }
  mallopt(M_TOP_PAD, 128 << 10);  // the default again
}

}  // namespace

int main(int argc, char** argv) {
  PrepareHeap();
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qvod::RunCli(args, std::cout, std::cerr);
}
