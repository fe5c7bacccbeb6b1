#include <malloc.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // A run moves a page of many megabytes through a handful of buffers. Keeping
  // freed blocks in the heap instead of returning each to the system spares
  // the page faults of mapping fresh memory for every buffer.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return qvod::RunCli(args, std::cout, std::cerr);
}
