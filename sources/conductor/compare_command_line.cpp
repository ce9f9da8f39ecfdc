#include "conductor/compare_command_line.hpp"

#include <charconv>
#include <string_view>

#include "common/program_text.hpp"
#include "common/settings_schema.hpp"

namespace tesmira::conductor {
namespace {

// A setting with a whole-number value: its option and the worker's key.
struct NumberOption {
    std::string_view option, key;
};
constexpr NumberOption NUMBER_OPTIONS[] = {
    {"--dpi", "dpi"}, {"--tolerance", "tolerance"}, {"--opacity", "opacity"}, {"--border", "border"}};

// A setting switched by an option alone: its option, the worker's key and the value it sets.
struct FlagOption {
    std::string_view option, key;
    bool value;
};
constexpr FlagOption FLAG_OPTIONS[] = {
    {"--tiny-markers", "tiny_markers", true}, {"--noise", "grain", true}, {"--no-stamp", "stamp", false}};

std::string usage(const std::string& program) { return "usage: " + program + " [OPTION]... OLD NEW\n"; }

std::optional<long long> whole_number(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Reads the options and the paths; a refusal's text, or nothing.
class Reader {
public:
    explicit Reader(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    std::optional<std::string> read(CompareCommandLine& line, std::vector<std::string>& paths, bool& help,
                                    bool& version) {
        bool options_ended = false;
        for (next_ = 0; next_ < arguments_.size();) {
            const std::string argument = arguments_[next_++];
            if (options_ended || argument == "-" || !argument.starts_with("-")) {
                paths.push_back(argument);
            } else if (argument == "--") {
                options_ended = true;
            } else if (argument == "-h" || argument == "--help") {
                help = true;
            } else if (argument == "--version") {
                version = true;
            } else if (std::optional<std::string> refusal = read_option(argument, line)) {
                return refusal;
            }
        }
        return std::nullopt;
    }

private:
    std::optional<std::string> read_option(const std::string& argument, CompareCommandLine& line) {
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::optional<std::string> attached;
        if (equals != std::string::npos) attached = argument.substr(equals + 1);

        for (const FlagOption& flag : FLAG_OPTIONS)
            if (name == flag.option) {
                if (attached) return "option " + name + " takes no value";
                line.settings[std::string(flag.key)] = flag.value;
                return std::nullopt;
            }
        if (name == "--json") {
            if (attached) return "option --json takes no value";
            line.json = true;
            return std::nullopt;
        }
        const std::optional<std::string> value = attached ? attached : take_value();
        if (name == "--output") {
            if (!value || value->empty()) return "option --output needs a folder";
            line.output = *value;
            return std::nullopt;
        }
        for (const NumberOption& number : NUMBER_OPTIONS)
            if (name == number.option) {
                const std::optional<long long> parsed = value ? whole_number(*value) : std::nullopt;
                if (!parsed) return "option " + name + " needs a whole number";
                line.settings[std::string(number.key)] = *parsed;
                return std::nullopt;
            }
        return "unrecognized option: " + argument;
    }

    std::optional<std::string> take_value() {
        if (next_ >= arguments_.size()) return std::nullopt;
        return arguments_[next_++];
    }

    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
};

std::string number(std::int64_t value) { return std::to_string(value); }
std::string range(SettingRange range) { return number(range.low) + " to " + number(range.high); }

}  // namespace

std::string compare_help(const std::string& program) {
    return usage(program) +
           "Compares the old and the new version of print-ready PDFs page by page, as the desktop\n"
           "application does, and prints each file's pages and their changed regions.\n"
           "OLD and NEW are two PDF files, or two folders whose PDFs are paired by name.\n"
           "\n"
           "options:\n"
           "  --output DIR      keep the result folder (flat result PDFs) in DIR; without it\n"
           "                    nothing is kept\n"
           "  --json            print the worker's events, one JSON line each, instead of the summary\n"
           "  --dpi N           render at N dpi: 144, 200 or 300 (default " +
           number(DEFAULT_SETTINGS.dpi) +
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
           "\n"
           "Exit status: 0 when no page differs, 1 when some page differs, 2 on a refusal or an\n"
           "error (its message on standard error), 130 when interrupted.\n";
}

CompareParse parse_compare_command_line(const std::string& program, const std::vector<std::string>& arguments) {
    CompareParse outcome;
    CompareCommandLine line;
    std::vector<std::string> paths;
    bool help = false, version = false;
    std::optional<std::string> refusal = Reader(arguments).read(line, paths, help, version);
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
