#include "engine/plain_drawing.hpp"

namespace tesmira::engine {
namespace {
thread_local bool plain = false;
}

PlainDrawing::PlainDrawing() noexcept : before_(plain) { plain = true; }
PlainDrawing::~PlainDrawing() { plain = before_; }

bool plain_drawing_requested() noexcept { return plain; }

}  // namespace tesmira::engine
