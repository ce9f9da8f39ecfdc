#pragma once
#include <qpdf/QPDFPageObjectHelper.hh>

#include <vector>

namespace tesmira::pdf {

// An image that a page can draw, with the size that its decoder will allocate for.
struct DeclaredImage {
    long long width = 0, height = 0;
    int components = 1;    // of the decoded samples; 1 for masks
    bool wavelet = false;  // JPEG 2000, which its decoder works on at 4 bytes a sample
    bool jpeg = false;     // JPEG, which its decoder may hold as 2 bytes a sample
};

// Every image that the page can draw, as the file declares it and before anything is decoded:
// image XObjects and inline images in the page's content, its form XObjects, tiling patterns,
// Type 3 glyphs, soft masks and annotation appearances, the soft masks and masks of images
// included, each once. A JPEG 2000, JPEG or JBIG2 image has the size of its own header where
// that is larger than its dictionary's. Throws what qpdf throws for a damaged file.
std::vector<DeclaredImage> declared_images(QPDFPageObjectHelper& page);

}  // namespace tesmira::pdf
