#pragma once
// OpenCV's parallel loops (the page-wide strips, the PNG bands and OpenCV's own functions) on
// threads of this program's own. Debian's OpenCV runs them on TBB, which ends the process when
// it cannot start a thread (a limit on the user's processes or on memory); here a loop runs on
// the threads that could be started, the caller's among them, or on the caller's alone.

namespace tesmira::engine {

// Hands OpenCV's loops to a pool of as many threads as OpenCV counts processors (the caller
// being one), started when the first loop comes. Call once at the start of a program that
// compares pages, before any other thread runs OpenCV.
void run_loops_on_own_threads();

}  // namespace tesmira::engine
