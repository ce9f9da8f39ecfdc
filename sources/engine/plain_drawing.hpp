#pragma once

namespace tesmira::engine {

// For tests and benchmarks only: while one of these lives, render_pdf on the same thread
// draws with MuPDF's draw device alone, as the reference our colour device is measured against.
class PlainDrawing {
public:
    PlainDrawing() noexcept;
    ~PlainDrawing();
    PlainDrawing(const PlainDrawing&) = delete;
    PlainDrawing& operator=(const PlainDrawing&) = delete;

private:
    bool before_;
};

bool plain_drawing_requested() noexcept;

}  // namespace tesmira::engine
