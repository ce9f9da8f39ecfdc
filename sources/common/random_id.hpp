#pragma once
#include <string>
#include <string_view>

namespace tesmira {

// The 32 lowercase hexadecimal digits of a new random version-4 UUID.
std::string uuid4_hex();

// True for exactly 32 lowercase hexadecimal digits: the form of an id made by uuid4_hex.
bool is_hex32(const std::string& text);

// The Tokyo time as "%Y%m%d_%H%M%S", "_" and the first 8 digits of a new random UUID.
std::string name_stamp();

// The name of a run's folder: "てすみら検版_" and a new name stamp.
std::string stamped_folder_name();
// Whether a name has that shape: "てすみら検版_", 8 digits, "_", 6 digits, "_" and 8 lowercase
// hexadecimal digits.
bool is_stamped_folder_name(std::string_view name);

}  // namespace tesmira
