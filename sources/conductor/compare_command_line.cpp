#include "conductor/compare_command_line.hpp"

#include <algorithm>
#include <charconv>
#include <functional>
#include <string_view>
#include <variant>

#include "common/program_text.hpp"
#include "common/settings_schema.hpp"

namespace tesmira::conductor {
namespace {

using Refusal = std::optional<std::string>;
// Sets what an option asks for on the command line, or refuses its value.
using Apply = std::function<Refusal(CompareCommandLine& line, const std::string& value)>;

struct Option {
    std::string name;  // "--dpi"
    char short_name;   // 'q' for "-q", or 0
    bool takes_value;
    Apply apply;  // empty for --help and --version, which the reader acts on itself
};

std::string number(std::int64_t value) { return std::to_string(value); }
std::string range(SettingRange range) { return number(range.low) + " to " + number(range.high); }

std::optional<std::int64_t> whole_number(std::string_view text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// "144, 200 or 300".
std::string resolutions_text() {
    std::string text;
    for (std::size_t i = 0; i < RESOLUTIONS.size(); ++i)
        text += (i == 0 ? "" : i + 1 == RESOLUTIONS.size() ? " or " : ", ") + number(RESOLUTIONS[i]);
    return text;
}

Option flag(std::string name, char short_name, std::function<void(CompareCommandLine&)> set) {
    return {std::move(name), short_name, false, [set](CompareCommandLine& line, const std::string&) -> Refusal {
                set(line);
                return std::nullopt;
            }};
}

Option setting_flag(std::string name, std::string key, bool value) {
    return flag(std::move(name), 0, [key, value](CompareCommandLine& line) { line.settings[key] = value; });
}

Option setting_number(std::string name, std::string key, SettingRange allowed) {
    return {name, 0, true, [name, key, allowed](CompareCommandLine& line, const std::string& value) -> Refusal {
                const std::optional<std::int64_t> parsed = whole_number(value);
                if (!parsed || !allowed.contains(*parsed))
                    return "option " + name + " must be a whole number from " + range(allowed);
                line.settings[key] = *parsed;
                return std::nullopt;
            }};
}

const std::vector<Option>& options() {
    static const std::vector<Option> all = {
        {"--output",
         0,
         true,
         [](CompareCommandLine& line, const std::string& value) -> Refusal {
             if (value.empty()) return "option --output needs a folder";
             line.output = value;
             return std::nullopt;
         }},
        flag("--json", 0, [](CompareCommandLine& line) { line.json = true; }),
        flag("--quiet", 'q', [](CompareCommandLine& line) { line.quiet = true; }),
        flag("--progress", 0, [](CompareCommandLine& line) { line.progress = ProgressDisplay::shown; }),
        flag("--no-progress", 0, [](CompareCommandLine& line) { line.progress = ProgressDisplay::hidden; }),
        {"--dpi",
         0,
         true,
         [](CompareCommandLine& line, const std::string& value) -> Refusal {
             const std::optional<std::int64_t> parsed = whole_number(value);
             if (!parsed || std::find(RESOLUTIONS.begin(), RESOLUTIONS.end(), *parsed) == RESOLUTIONS.end())
                 return "option --dpi must be " + resolutions_text();
             line.settings["dpi"] = *parsed;
             return std::nullopt;
         }},
        setting_number("--tolerance", "tolerance", TOLERANCE_RANGE),
        setting_number("--opacity", "opacity", OPACITY_RANGE),
        setting_number("--border", "border", BORDER_RANGE),
        setting_flag("--tiny-markers", "tiny_markers", true),
        setting_flag("--noise", "grain", true),
        setting_flag("--no-stamp", "stamp", false),
        {"--help", 'h', false, {}},
        {"--version", 0, false, {}},
    };
    return all;
}

std::string usage(const std::string& program) { return "usage: " + program + " [OPTION]... OLD NEW\n"; }

// The option an argument names: its long name exactly or shortened to a prefix that names only
// it, or its short name. The refusal when it names none or several.
std::variant<const Option*, std::string> option_named(const std::string& name) {
    std::vector<const Option*> matches;
    for (const Option& option : options()) {
        if (name == option.name || (name.size() == 2 && option.short_name != 0 && name[1] == option.short_name))
            return &option;
        if (name.size() > 2 && name.starts_with("--") && option.name.starts_with(name)) matches.push_back(&option);
    }
    if (matches.size() == 1) return matches.front();
    if (matches.empty()) return "unrecognized option: " + name;
    std::string names;
    for (const Option* option : matches) names += (names.empty() ? "" : ", ") + option->name;
    return "ambiguous option: " + name + " could be " + names;
}

// Reads the options and the paths; a refusal's text, or nothing.
class Reader {
public:
    explicit Reader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    Refusal read(CompareCommandLine& line, std::vector<std::string>& paths, bool& help, bool& version) {
        bool options_ended = false;
        for (next_ = 0; next_ < arguments_.size();) {
            const std::string argument = arguments_[next_++];
            if (options_ended || argument == "-" || !argument.starts_with("-")) {
                paths.push_back(argument);
            } else if (argument == "--") {
                options_ended = true;
            } else if (Refusal refusal = read_option(argument, line, help, version)) {
                return refusal;
            }
        }
        return std::nullopt;
    }

private:
    Refusal read_option(const std::string& argument, CompareCommandLine& line, bool& help, bool& version) {
        const std::size_t equals = argument.starts_with("--") ? argument.find('=') : std::string::npos;
        std::optional<std::string> attached;
        if (equals != std::string::npos) attached = argument.substr(equals + 1);
        const auto named = option_named(argument.substr(0, equals));
        if (const std::string* refusal = std::get_if<std::string>(&named)) return *refusal;
        const Option& option = *std::get<const Option*>(named);

        if (!option.takes_value && attached) return "option " + option.name + " takes no value";
        if (option.name == "--help") help = true;
        if (option.name == "--version") version = true;
        if (!option.apply) return std::nullopt;
        std::string value;
        if (option.takes_value) {
            if (!attached && next_ >= arguments_.size()) return "option " + option.name + " needs a value";
            value = attached ? *attached : arguments_[next_++];
        }
        return option.apply(line, value);
    }

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
};

}  // namespace

std::string compare_help(const std::string& program) {
    return usage(program) +
           "Compares the old and the new version of print-ready PDFs page by page, as the\n"
           "desktop application does, and prints a line for each file and each changed page.\n"
           "OLD and NEW are two PDF files, or two folders whose PDFs are paired by name.\n"
           "\n"
           "options:\n"
           "  --output DIR      keep the result folder (flat result PDFs) in DIR; without it\n"
           "                    nothing is kept\n"
           "  --json            print the events, one JSON line each, instead of the summary\n"
           "  -q, --quiet       print nothing; the exit status tells\n"
           "  --progress        show the progress on standard error, terminal or not\n"
           "  --no-progress     never show it (it is shown on a terminal unless --quiet)\n"
           "  --dpi N           render at N dpi: " +
           resolutions_text() + " (default " + number(DEFAULT_SETTINGS.dpi) +
           ")\n"
           "  --tolerance N     colour difference taken as no change, " +
           range(TOLERANCE_RANGE) + " (default " + number(DEFAULT_SETTINGS.tolerance) +
           ")\n"
           "  --opacity N       percent of the faded new page behind the outlines, " +
           range(OPACITY_RANGE) + " (default " + number(DEFAULT_SETTINGS.opacity) +
           ")\n"
           "  --border N        outline width in pixels, " +
           range(BORDER_RANGE) + " (default " + number(DEFAULT_SETTINGS.border) +
           ")\n"
           "  --tiny-markers    mark tiny changes with a marker of their own\n"
           "  --noise           suppress image noise (also keeps a strict result of every pixel)\n"
           "  --no-stamp        leave the stamp out of the information band\n"
           "  -h, --help        show this help and exit\n"
           "  --version         show the version and exit\n"
           "Long options may be shortened to any prefix that names only one.\n"
           "\n"
           "Exit status: 0 when no page differs; 1 when some page differs, the page counts\n"
           "differ or a PDF of a folder has no partner; 2 on a refusal or an error (its message\n"
           "on standard error); 130 when interrupted.\n";
}

CompareParse parse_compare_command_line(const std::string& program, const std::vector<std::string>& arguments) {
    CompareParse outcome;
    CompareCommandLine line;
    std::vector<std::string> paths;
    bool help = false, version = false;
    Refusal refusal = Reader(arguments).read(line, paths, help, version);
    if (!refusal && help) {
        outcome.output = compare_help(program);
        return outcome;
    }
    if (!refusal && version) {
        outcome.output = version_text(program);
        return outcome;
    }
    if (!refusal && paths.size() != 2)
        refusal = paths.size() < 2 ? "an old and a new PDF (or folder) are required" : "only OLD and NEW are taken";
    if (!refusal && line.json && line.quiet) refusal = "--json and --quiet cannot be given together";
    if (refusal) {
        outcome.exit_status = 2;
        outcome.error = usage(program) + program + ": error: " + *refusal + "\n" + "Try '" + program +
                        " --help' for more information.\n";
        return outcome;
    }
    line.before = paths[0];
    line.after = paths[1];
    outcome.command_line = std::move(line);
    return outcome;
}

}  // namespace tesmira::conductor
