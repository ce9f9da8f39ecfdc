#include "app/model/records.hpp"

#include <stdexcept>

#include "common/json.hpp"
#include "common/json_reading.hpp"

namespace tesmira::app {

std::string encodeProject(const ArchiveProject& project) {
    Json record;
    record["version"] = project.version;
    record["id"] = project.id.toStdString();
    record["name"] = project.name.toStdString();
    return record.dump();
}

ArchiveProject decodeProject(const std::string& text) {
    const Json record = parse_json(text);  // a syntax error passes through with the library's text
    if (!record.is_object()) throw std::runtime_error("project.json: the content is not a JSON object");
    const auto field = [&](const char* key, bool (Json::*is_type)() const noexcept, const char* type) -> const Json& {
        const auto it = record.find(key);
        if (it == record.end()) throw std::runtime_error(std::string("project.json: key '") + key + "' not found");
        if (!((*it).*is_type)()) throw std::runtime_error(std::string("project.json: '") + key + "' must be " + type);
        return *it;
    };
    const Json& version = field("version", &Json::is_number_integer, "an integer");
    const Json& id = field("id", &Json::is_string, "a text");
    const Json& name = field("name", &Json::is_string, "a text");
    const auto number = signed_integer(version);
    if (!number) throw std::runtime_error("project.json: 'version' is out of range");
    return ArchiveProject{
        *number, QString::fromStdString(id.get<std::string>()), QString::fromStdString(name.get<std::string>())};
}

}  // namespace tesmira::app
