#include "app/model/proof_settings.hpp"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>
#include <exception>
#include <optional>
#include <string_view>

#include "common/files.hpp"
#include "common/json_reading.hpp"

namespace tesmira::app {
namespace {

constexpr const char* ENTRY = "proof.settings.v1";

// A whole number, also when written as a real without a fractional part.
std::optional<qint64> wholeNumber(const Json& value) {
    if (value.is_number_integer()) return signed_integer(value);
    if (value.is_number_float()) {
        const double number = value.get<double>();
        // 2^63 itself is not representable as a signed 64-bit integer.
        if (std::isfinite(number) && std::trunc(number) == number && number >= -9223372036854775808.0 &&
            number < 9223372036854775808.0)
            return qint64(number);
    }
    return std::nullopt;
}

// A boolean, or a number equal to 0 or 1.
std::optional<bool> switchValue(const Json& value) {
    if (value.is_boolean()) return value.get<bool>();
    if (value.is_number()) {
        const double number = value.get<double>();
        if (number == 0) return false;
        if (number == 1) return true;
    }
    return std::nullopt;
}

// A real settings file holds about 150 bytes; anything near this size is not one of ours.
constexpr std::size_t MAX_SETTINGS_FILE_BYTES = 1 << 20;

// The stored record; an empty one when the file is missing, unreadable, not a regular file
// (a FIFO would block the start, /dev/zero would fill memory), too large or not JSON.
Json storedRecord() {
    std::string bytes;
    try {
        bytes = read_regular_file(ProofSettings::settingsFile().toStdString(), MAX_SETTINGS_FILE_BYTES);
    } catch (const std::exception&) {
        return Json::object();
    }
    const Json document = parse_json(bytes, false);
    if (!document.is_object()) return Json::object();
    const auto entry = document.find(ENTRY);
    return entry != document.end() && entry->is_object() ? *entry : Json::object();
}

}  // namespace

ProofSettings::ProofSettings(QObject* parent) : QObject(parent) {
    const Json record = storedRecord();
    const auto load = [&](const char* key, auto& field, auto convert) {
        const auto it = record.find(key);
        if (it == record.end()) return;
        if (const auto value = convert(*it)) field = *value;
    };
    load("dpi", dpi_, wholeNumber);
    load("tolerance", tolerance_, wholeNumber);
    load("opacity", opacity_, wholeNumber);
    load("border", border_, wholeNumber);
    load("stamp", stamp_, switchValue);
    load("tiny_markers", tinyMarkers_, switchValue);
    load("grain", noise_, switchValue);
}

QString ProofSettings::settingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tesmira/settings.json");
}

template <typename T>
void ProofSettings::assign(T& field, T value) {
    emit willChange();
    field = value;
    save();
}

void ProofSettings::setDpi(qint64 value) { assign(dpi_, value); }
void ProofSettings::setTolerance(qint64 value) { assign(tolerance_, value); }
void ProofSettings::setOpacity(qint64 value) { assign(opacity_, value); }
void ProofSettings::setBorder(qint64 value) { assign(border_, value); }
void ProofSettings::setStamp(bool value) { assign(stamp_, value); }
void ProofSettings::setTinyMarkers(bool value) { assign(tinyMarkers_, value); }
void ProofSettings::setNoise(bool value) { assign(noise_, value); }

Json ProofSettings::dictionary() const {
    return settings_record(ComparisonSettings{dpi_, tolerance_, opacity_, border_, stamp_, tinyMarkers_, noise_});
}

void ProofSettings::reset() {
    setDpi(DEFAULT_SETTINGS.dpi);
    setTolerance(DEFAULT_SETTINGS.tolerance);
    setOpacity(DEFAULT_SETTINGS.opacity);
    setBorder(DEFAULT_SETTINGS.border);
    setStamp(DEFAULT_SETTINGS.stamp);
    setTinyMarkers(DEFAULT_SETTINGS.tiny_markers);
    setNoise(DEFAULT_SETTINGS.noise);
}

// Writes a new file beside the old one and renames it into place, so that a crash never
// leaves a half-written record. A failure is not reported: the settings stay in effect for
// this session and the previous file stays as it was.
void ProofSettings::save() const {
    const QString path = settingsFile();
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) return;
    QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    Json document;
    document[ENTRY] = dictionary();
    const std::string text = document.dump(2);
    // A link to anything but a regular file (a device, a FIFO, nothing) is replaced itself:
    // the save writes through a link only to a settings file kept elsewhere, never over
    // what a link to /dev/zero names.
    const QFileInfo existing(path);
    if (existing.isSymLink() && !existing.isFile() && !QFile::remove(path)) return;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(text.data(), qint64(text.size()));
    file.commit();
}

}  // namespace tesmira::app
