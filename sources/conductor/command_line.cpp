#include "conductor/command_line.hpp"

#include <algorithm>

namespace tesmira::conductor {
namespace {

enum class Kind { help, list, single };

struct Option {
    std::string name;    // "--before"
    std::string metavar; // "BEFORE"
    Kind kind;
    std::vector<std::string> choices;
};

const std::vector<Option>& options() {
    static const std::vector<Option> all = {
        {"--help", "", Kind::help, {}},
        {"--before", "BEFORE", Kind::list, {}},
        {"--after", "AFTER", Kind::list, {}},
        {"--archive-mode", "", Kind::single, {"compare", "register"}},
        {"--archive-root", "ARCHIVE_ROOT", Kind::single, {}},
        {"--project-id", "PROJECT_ID", Kind::single, {}},
        {"--output-root", "OUTPUT_ROOT", Kind::single, {}},
        {"--settings-json", "SETTINGS_JSON", Kind::single, {}},
    };
    return all;
}

std::string choices_text(const Option& option) {
    std::string text = "{";
    for (std::size_t i = 0; i < option.choices.size(); ++i) text += (i ? "," : "") + option.choices[i];
    return text + "}";
}

std::string value_text(const Option& option) {
    return option.choices.empty() ? option.metavar : choices_text(option);
}

std::string usage(const std::string& program) {
    std::string text = "usage: " + program + " [-h]";
    for (const Option& option : options()) {
        if (option.kind == Kind::help) continue;
        const std::string v = value_text(option);
        const std::string body = option.name + " " + v + (option.kind == Kind::list ? " [" + v + " ...]" : "");
        text += option.name == "--output-root" ? " " + body : " [" + body + "]";
    }
    return text + "\n";
}

std::string help(const std::string& program) {
    std::string text = usage(program) + "\noptions:\n  -h, --help            show this help message and exit\n";
    for (const Option& option : options()) {
        if (option.kind == Kind::help) continue;
        const std::string v = value_text(option);
        text += "  " + option.name + " " + v + (option.kind == Kind::list ? " [" + v + " ...]" : "") + "\n";
    }
    return text;
}

// An argument that the parser reads as an option rather than as a value.
bool looks_like_option(const std::string& argument) {
    if (argument.size() < 2 || argument[0] != '-') return false;
    // Negative numbers are values, as no option here looks like one.
    const bool negative_number = argument.find_first_not_of("0123456789.", 1) == std::string::npos;
    return !negative_number;
}

}  // namespace

ParseOutcome parse_command_line(const std::string& program, const std::vector<std::string>& arguments) {
    ParseOutcome outcome;
    auto refuse = [&](const std::string& message) {
        outcome.exit_status = 2;
        outcome.error = usage(program) + program + ": error: " + message + "\n";
        outcome.command_line.reset();
        return outcome;
    };

    WorkerCommandLine line;
    bool have_output_root = false;
    std::vector<std::string> unrecognized;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!looks_like_option(argument)) {
            unrecognized.push_back(argument);
            continue;
        }
        if (argument == "-h") {
            outcome.exit_status = 0;
            outcome.output = help(program);
            return outcome;
        }
        if (argument.rfind("--", 0) != 0) {
            unrecognized.push_back(argument);
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        std::optional<std::string> attached;
        if (equals != std::string::npos) attached = argument.substr(equals + 1);

        // An exact name wins; otherwise a unique prefix.
        std::vector<const Option*> matches;
        for (const Option& option : options())
            if (option.name == name) matches = {&option};
        if (matches.empty())
            for (const Option& option : options())
                if (option.name.rfind(name, 0) == 0) matches.push_back(&option);
        if (matches.size() > 1) {
            std::string names;
            for (const Option* option : matches) names += (names.empty() ? "" : ", ") + option->name;
            return refuse("ambiguous option: " + name + " could match " + names);
        }
        if (matches.empty()) {
            unrecognized.push_back(argument);
            continue;
        }
        const Option& option = *matches.front();
        const std::string label = "argument " + option.name;
        if (option.kind == Kind::help) {
            if (attached) return refuse("argument -h/--help: ignored explicit argument '" + *attached + "'");
            outcome.exit_status = 0;
            outcome.output = help(program);
            return outcome;
        }
        std::vector<std::string> values;
        if (attached) {
            values.push_back(*attached);
        } else if (option.kind == Kind::list) {
            while (i + 1 < arguments.size() && !looks_like_option(arguments[i + 1])) values.push_back(arguments[++i]);
            if (values.empty()) return refuse(label + ": expected at least one argument");
        } else {
            if (i + 1 >= arguments.size() || looks_like_option(arguments[i + 1]))
                return refuse(label + ": expected one argument");
            values.push_back(arguments[++i]);
        }
        if (!option.choices.empty() &&
            std::find(option.choices.begin(), option.choices.end(), values.front()) == option.choices.end()) {
            std::string allowed;
            for (const std::string& choice : option.choices) allowed += (allowed.empty() ? "'" : ", '") + choice + "'";
            return refuse(label + ": invalid choice: '" + values.front() + "' (choose from " + allowed + ")");
        }
        if (option.name == "--before") line.before = values;
        else if (option.name == "--after") line.after = values;
        else if (option.name == "--archive-mode") line.archive_mode = values.front();
        else if (option.name == "--archive-root") line.archive_root = values.front();
        else if (option.name == "--project-id") line.project_id = values.front();
        else if (option.name == "--settings-json") line.settings_json = values.front();
        else if (option.name == "--output-root") {
            line.output_root = values.front();
            have_output_root = true;
        }
    }
    if (!have_output_root) return refuse("the following arguments are required: --output-root");
    if (!unrecognized.empty()) {
        std::string text;
        for (const std::string& argument : unrecognized) text += (text.empty() ? "" : " ") + argument;
        return refuse("unrecognized arguments: " + text);
    }
    outcome.command_line = std::move(line);
    return outcome;
}

}  // namespace tesmira::conductor
