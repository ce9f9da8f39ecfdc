#pragma once
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

namespace tesmira::conductor {

// The folders a run writes in, as the operator gave them.
struct RunFolders {
    std::filesystem::path output_root;                  // told as "保存先"
    std::filesystem::path temporary;                    // told as "一時フォルダー"
    std::optional<std::filesystem::path> archive_root;  // told as "保存版フォルダー"
};

// The text of a failure as it reaches the operator. A full disk, a folder of the run's that
// cannot be written and a lack of memory are told in Japanese, naming the operator's own
// folder (never one of the run's hidden or private items in it), with the system's or the
// library's words after it in brackets, as in
// "保存先「/home/a/Downloads」の空き容量が足りません。（No space left on device）".
// Every other failure keeps its own text.
std::string failure_message(const std::exception& failure, const RunFolders& folders);

}  // namespace tesmira::conductor
