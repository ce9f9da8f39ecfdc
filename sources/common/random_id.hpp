#pragma once
#include <string>

namespace tesmira {

// The 32 lowercase hexadecimal digits of a new random version-4 UUID.
std::string uuid4_hex();

// True for exactly 32 lowercase hexadecimal digits: the form of an id made by uuid4_hex.
bool is_hex32(const std::string& text);

// The Tokyo time as "%Y%m%d_%H%M%S", "_" and the first 8 digits of a new random UUID.
std::string name_stamp();

}  // namespace tesmira
