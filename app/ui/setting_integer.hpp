#pragma once
// The number fields of the settings window read whole decimal integers only.

#include <QString>

#include <optional>

namespace tesmira::ui {

// A whole decimal integer: an optional sign and digits only, within 64 bits.
std::optional<qint64> parseSettingInteger(const QString& text);

}  // namespace tesmira::ui
