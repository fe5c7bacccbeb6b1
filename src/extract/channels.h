// The three extraction channels: each turns the page address in the address
// box into link lines in the result box, on a worker thread of its own.
#pragma once

#include <string>

namespace qvod {

// The text that replaces the result box when a run finds no link.
inline constexpr char kNoMatchText[] = "\xC7\xEB\xB3\xA2\xCA\xD4\xC6\xE4\xCB\xFB\xCD\xA8\xB5\xC0";

// Click handlers of 查询1, 查询2 and 查询3 (window's thread). Each returns at
// once; an empty address box does nothing.
void OnChannel1Clicked();
void OnChannel2Clicked();
void OnChannel3Clicked();

// Worker bodies. Each waits for its turn in the run queue, runs the channel and leaves.
void ExtractChannel1();
void ExtractChannel2();
void ExtractChannel3();

// Runs channel 1, 2 or 3 on the calling thread (it takes its own place in the run
// queue). For the CLI and the tests.
void RunChannel(int channel);

}  // namespace qvod
