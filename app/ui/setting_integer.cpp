#include "app/ui/setting_integer.hpp"

#include <limits>

namespace tesmira::ui {

std::optional<qint64> parseSettingInteger(const QString& text) {
    qsizetype at = 0;
    bool negative = false;
    if (at < text.size() && (text[at] == QLatin1Char('+') || text[at] == QLatin1Char('-')))
        negative = text[at++] == QLatin1Char('-');
    if (at == text.size()) return std::nullopt;
    // Accumulated as a negative number, whose range includes the smallest 64-bit value.
    qint64 value = 0;
    for (; at < text.size(); ++at) {
        const QChar c = text[at];
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        const int digit = c.unicode() - '0';
        if (value < (std::numeric_limits<qint64>::min() + digit) / 10) return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<qint64>::min()) return std::nullopt;
        value = -value;
    }
    return value;
}

}  // namespace tesmira::ui
