#pragma once
#include <optional>
#include <string_view>

namespace tesmira::pdf {

// The size an image's own header declares, which its decoder allocates for, whatever the
// image dictionary says.
struct HeaderSize {
    long long width = 0, height = 0;
    int components = 0;  // 0 where the header does not say
};

// JPEG 2000, a bare codestream or a JP2 file: the image area of its SIZ marker, or of the
// JP2 header box when that is larger.
std::optional<HeaderSize> jpeg2000_size(std::string_view data);

// JPEG: the frame header (SOFn). A height of 0 (given later by DNL) is returned as 0.
std::optional<HeaderSize> jpeg_size(std::string_view data);

// JBIG2 as embedded in PDF (segments without a file header): the largest of the page
// information and region segments' sizes. A page height left open (0xffffffff) is 0.
std::optional<HeaderSize> jbig2_size(std::string_view data);

}  // namespace tesmira::pdf
