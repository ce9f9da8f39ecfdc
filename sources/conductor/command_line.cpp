#include "conductor/command_line.hpp"

#include <algorithm>
#include <string_view>

#include "common/program_text.hpp"

namespace tesmira::conductor {
namespace {

enum class Kind { help, version, list, single };

struct Option {
    std::string name;     // "--before"
    std::string metavar;  // "BEFORE"
    Kind kind;
    std::vector<std::string> choices;
    std::string description;  // one line of --help
};

const std::vector<Option>& options() {
    static const std::vector<Option> all = {
        {"--help", "", Kind::help, {}, "show this help message and exit"},
        {"--version", "", Kind::version, {}, "show the program's version and exit"},
        {"--before", "BEFORE", Kind::list, {}, "the old PDFs (paired with the new ones by name)"},
        {"--after", "AFTER", Kind::list, {}, "the new PDFs"},
        {"--archive-mode",
         "",
         Kind::single,
         {"compare", "register"},
         "compare: compare the new PDFs with the project's latest saved versions, then save them; register: save them as its first versions"},
        {"--archive-root", "ARCHIVE_ROOT", Kind::single, {}, "the archive folder that holds the projects"},
        {"--project-id", "PROJECT_ID", Kind::single, {}, "the project's folder name in the archive"},
        {"--output-root", "OUTPUT_ROOT", Kind::single, {}, "the folder the time-stamped result folder goes in"},
        {"--settings-json",
         "SETTINGS_JSON",
         Kind::single,
         {},
         "the comparison settings as a JSON record (dpi, tolerance, opacity, border, stamp, tiny_markers, grain)"},
        {"--compared-copies",
         "COMPARED_COPIES",
         Kind::single,
         {},
         "a folder to keep a copy of each compared pair in, for the window's old and new views"},
    };
    return all;
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string text;
    for (std::size_t i = 0; i < parts.size(); ++i) text += (i ? std::string(separator) : "") + parts[i];
    return text;
}

std::string choices_text(const Option& option) { return "{" + joined(option.choices, ",") + "}"; }

std::string value_text(const Option& option) { return option.choices.empty() ? option.metavar : choices_text(option); }

std::string usage(const std::string& program) {
    std::string text = "usage: " + program + " [-h] [--version]";
    for (const Option& option : options()) {
        if (option.kind == Kind::help || option.kind == Kind::version) continue;
        const std::string v = value_text(option);
        const std::string body = option.name + " " + v + (option.kind == Kind::list ? " [" + v + " ...]" : "");
        text += option.name == "--output-root" ? " " + body : " [" + body + "]";
    }
    return text + "\n";
}

std::string help(const std::string& program) {
    std::string text = usage(program) +
                       "\nCompares old and new PDFs page by page and reports JSON events, one line each, on\n"
                       "standard output. Exit status: 0 after \"complete\", 1 after \"error\", 2 for a refused\n"
                       "command line, 130 after SIGTERM.\n\noptions:\n";
    for (const Option& option : options()) {
        const std::string v = value_text(option);
        std::string names = option.kind == Kind::help ? "-h, --help" : option.name;
        if (!v.empty()) names += " " + v + (option.kind == Kind::list ? " [" + v + " ...]" : "");
        text += "  " + names + "\n      " + option.description + "\n";
    }
    return text;
}

const Option* option_named(const std::string& name) {
    for (const Option& option : options())
        if (option.name == name || (option.kind == Kind::help && name == "-h")) return &option;
    return nullptr;
}

// "-5", "-0.5", "-.5": numbers, which no option here looks like.
bool is_negative_number(const std::string& argument) {
    const auto digits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::string_view rest = std::string_view(argument).substr(1);
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos) return digits(rest);
    return (dot == 0 || digits(rest.substr(0, dot))) && digits(rest.substr(dot + 1));
}

// How the parser reads one argument, decided before any argument is acted on.
struct Reading {
    enum class Kind { value, option, unknown_option, ambiguous, separator } kind = Kind::value;
    std::vector<const Option*> options;   // the option, or every option an ambiguous prefix matches
    std::optional<std::string> attached;  // "--name=value", or what follows "-h" in "-hvalue"
};

Reading read_argument(const std::string& argument) {
    using K = Reading::Kind;
    if (argument.empty() || argument[0] != '-') return {};
    if (const Option* option = option_named(argument)) return {K::option, {option}, {}};
    if (argument.size() == 1) return {};
    const std::size_t equals = argument.find('=');
    if (equals != std::string::npos)
        if (const Option* option = option_named(argument.substr(0, equals)))
            return {K::option, {option}, argument.substr(equals + 1)};

    Reading prefixed{K::option, {}, {}};
    if (argument[1] == '-') {
        // A long option may be shortened to any prefix that names only it.
        for (const Option& option : options())
            if (option.name.starts_with(argument.substr(0, equals))) prefixed.options.push_back(&option);
        if (equals != std::string::npos) prefixed.attached = argument.substr(equals + 1);
    } else if (argument.starts_with("-h")) {
        prefixed.options.push_back(option_named("-h"));
        prefixed.attached = argument.substr(2);
    }
    if (prefixed.options.size() > 1) prefixed.kind = K::ambiguous;
    if (!prefixed.options.empty()) return prefixed;

    // What names no option is still a value when it is a negative number or holds a space.
    if (is_negative_number(argument) || argument.find(' ') != std::string::npos) return {};
    return {K::unknown_option, {}, {}};
}

using K = Reading::Kind;

// Every argument is read before any is acted on, so an ambiguous option is refused even when
// "-h" comes before it. Returns the refusal of the first ambiguous option, if any.
std::optional<std::string> read_arguments(const std::vector<std::string>& arguments, std::vector<Reading>& readings) {
    bool separated = false;  // after "--" every argument is a value
    for (const std::string& argument : arguments) {
        if (!separated && argument == "--") {
            separated = true;
            readings.push_back({K::separator, {}, {}});
            continue;
        }
        readings.push_back(separated ? Reading{} : read_argument(argument));
        if (readings.back().kind != K::ambiguous) continue;
        std::vector<std::string> names;
        for (const Option* option : readings.back().options) names.push_back(option->name);
        return "ambiguous option: " + argument + " could match " + joined(names, ", ");
    }
    return std::nullopt;
}

// The values of the option read at `i`: its attached value, or the values that follow it (i
// then moves past them). Returns the refusal when they are missing or not among its choices.
std::optional<std::string> take_values(const std::vector<std::string>& arguments, const std::vector<Reading>& readings,
                                       std::size_t& i, std::vector<std::string>& values) {
    const Option& option = *readings[i].options.front();
    const std::string label = "argument " + option.name;
    const auto is_value = [&](std::size_t j) { return j < arguments.size() && readings[j].kind == K::value; };
    if (readings[i].attached) {
        values.push_back(*readings[i].attached);
    } else if (option.kind == Kind::list) {
        while (is_value(i + 1)) values.push_back(arguments[++i]);
        if (values.empty()) return label + ": expected at least one argument";
    } else {
        if (!is_value(i + 1)) return label + ": expected one argument";
        values.push_back(arguments[++i]);
    }
    if (option.choices.empty() ||
        std::find(option.choices.begin(), option.choices.end(), values.front()) != option.choices.end())
        return std::nullopt;
    std::vector<std::string> quoted;
    for (const std::string& choice : option.choices) quoted.push_back("'" + choice + "'");
    return label + ": invalid choice: '" + values.front() + "' (choose from " + joined(quoted, ", ") + ")";
}

void assign(WorkerCommandLine& line, const std::string& name, const std::vector<std::string>& values) {
    if (name == "--before")
        line.before = values;
    else if (name == "--after")
        line.after = values;
    else if (name == "--archive-mode")
        line.archive_mode = values.front();
    else if (name == "--archive-root")
        line.archive_root = values.front();
    else if (name == "--project-id")
        line.project_id = values.front();
    else if (name == "--settings-json")
        line.settings_json = values.front();
    else if (name == "--compared-copies")
        line.compared_copies = values.front();
    else if (name == "--output-root")
        line.output_root = values.front();
}

// "-h" and "--version" print and end the parse; they take no value.
std::optional<ParseOutcome> printing_option(const std::string& program, const Reading& reading) {
    const Option& option = *reading.options.front();
    if (option.kind != Kind::help && option.kind != Kind::version) return std::nullopt;
    const bool help_option = option.kind == Kind::help;
    ParseOutcome outcome;
    if (reading.attached) {
        outcome.exit_status = 2;
        outcome.error = usage(program) + program + ": error: argument " + (help_option ? "-h/--help" : "--version") +
                        ": ignored explicit argument '" + *reading.attached + "'\n";
    } else {
        outcome.exit_status = 0;
        outcome.output = help_option ? help(program) : version_text(program);
    }
    return outcome;
}

}  // namespace

ParseOutcome parse_command_line(const std::string& program, const std::vector<std::string>& arguments) {
    const auto refuse = [&](const std::string& message) {
        ParseOutcome outcome;
        outcome.exit_status = 2;
        outcome.error = usage(program) + program + ": error: " + message + "\n";
        return outcome;
    };
    std::vector<Reading> readings;
    if (const auto refusal = read_arguments(arguments, readings)) return refuse(*refusal);

    WorkerCommandLine line;
    bool have_output_root = false;
    std::vector<std::string> unrecognized;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        if (readings[i].kind != K::option) {
            unrecognized.push_back(arguments[i]);
            continue;
        }
        if (auto printed = printing_option(program, readings[i])) return *printed;
        const std::string& name = readings[i].options.front()->name;
        std::vector<std::string> values;
        if (const auto refusal = take_values(arguments, readings, i, values)) return refuse(*refusal);
        assign(line, name, values);
        have_output_root = have_output_root || name == "--output-root";
    }
    if (!have_output_root) return refuse("the following arguments are required: --output-root");
    if (!unrecognized.empty()) return refuse("unrecognized arguments: " + joined(unrecognized, " "));
    ParseOutcome outcome;
    outcome.command_line = std::move(line);
    return outcome;
}

}  // namespace tesmira::conductor
