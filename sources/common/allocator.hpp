#pragma once

namespace tesmira {

// Keeps freed page-sized buffers in the heap for the next page instead of returning
// them to the system, so that a page does not pay again for first-touching every canvas.
// Call once at the start of a program that compares pages.
void reuse_freed_canvases();

}  // namespace tesmira
