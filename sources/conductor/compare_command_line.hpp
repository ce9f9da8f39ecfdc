#pragma once
#include <optional>
#include <string>
#include <vector>

#include "common/json.hpp"

namespace tesmira::conductor {

// Whether the one-line progress display is drawn on standard error.
enum class ProgressDisplay {
    automatic,  // when standard error is a terminal, without --quiet, and --json writes to none
    shown,      // --progress
    hidden,     // --no-progress
};

// What `tesmira-compare` was asked to do.
struct CompareCommandLine {
    std::string before, after;          // two PDFs, or two folders of PDFs paired by name
    std::optional<std::string> output;  // the folder to keep the result folder in; none: keep nothing
    bool json = false;                  // print the events instead of the summary
    bool quiet = false;                 // print nothing on standard output: the exit status tells
    ProgressDisplay progress = ProgressDisplay::automatic;
    Json settings = Json::object();  // only the settings given, in the worker's keys, within their ranges
};

// A command line to run, or an exit status with its text: 0 with the help or the version for
// standard output, or 2 with the usage and the refusal for standard error.
struct CompareParse {
    std::optional<CompareCommandLine> command_line;
    int exit_status = 0;
    std::string output, error;
};

// GNU conventions: "--name value" and "--name=value", a long option shortened to any prefix
// that names only it, "--" ends the options, options and the two paths in any order, the last
// occurrence wins. A setting's value is refused, naming the values allowed, unless it is one.
CompareParse parse_compare_command_line(const std::string& program, const std::vector<std::string>& arguments);

// The text of --help.
std::string compare_help(const std::string& program);

}  // namespace tesmira::conductor
