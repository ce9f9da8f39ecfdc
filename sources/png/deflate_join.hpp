#pragma once
#include <string>

namespace tesmira::png {

// Turns a complete raw deflate stream into one that more deflate data may follow: its last
// block loses the final mark, and an empty stored block brings it to a byte boundary (the
// bytes of zlib's full flush). libdeflate writes complete streams only, and the last block
// can be found only by walking the blocks, which this does without inflating anything.
// Throws std::runtime_error when the data is no complete deflate stream.
void make_joinable(std::string& stream);

}  // namespace tesmira::png
