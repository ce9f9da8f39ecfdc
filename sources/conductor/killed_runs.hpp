#pragma once
#include <filesystem>

namespace tesmira::conductor {

// Removes what killed runs left in the temporary folder and in the output root, before a run
// makes anything of its own; live runs' items are never touched.
void sweep_killed_runs(const std::filesystem::path& output_root);

}  // namespace tesmira::conductor
