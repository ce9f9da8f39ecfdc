#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tesmira::conductor {

struct WorkerCommandLine {
    std::vector<std::string> before, after;
    std::optional<std::string> archive_mode, archive_root, project_id;
    std::optional<std::string> compared_copies;  // the window's folder for the compared PDFs
    std::string output_root;
    std::string settings_json = "{}";
};

// The outcome of parsing: a command line to run, or an exit status with its text
// (0 and the help on standard output, or 2 and the usage with the refusal on standard error).
struct ParseOutcome {
    std::optional<WorkerCommandLine> command_line;
    int exit_status = 0;
    std::string output;  // for standard output (help)
    std::string error;   // for standard error (refusal)
};

// Long options accept any unambiguous prefix; a list option keeps its last occurrence;
// "--name=value" works as well as "--name value". An argument that begins with "-" is still
// a value when it names no option and is a negative number or holds a space, and every
// argument after "--" is a value.
ParseOutcome parse_command_line(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace tesmira::conductor
