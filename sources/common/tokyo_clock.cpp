#include "common/tokyo_clock.hpp"

#include <date/tz.h>

#include <cstdio>
#include <stdexcept>

namespace tesmira {

TokyoTime tokyo_now() {
    return to_tokyo(std::chrono::time_point_cast<std::chrono::microseconds>(std::chrono::system_clock::now()));
}

TokyoTime to_tokyo(std::chrono::sys_time<std::chrono::microseconds> instant) {
    const date::time_zone* zone = date::locate_zone("Asia/Tokyo");
    date::sys_info info = zone->get_info(instant);
    auto local = instant + info.offset;
    auto days = std::chrono::floor<date::days>(local);
    date::year_month_day ymd{days};
    date::hh_mm_ss<std::chrono::microseconds> clock{local - days};
    TokyoTime t;
    t.instant = instant;
    t.year = int(ymd.year());
    t.month = int(unsigned(ymd.month()));
    t.day = int(unsigned(ymd.day()));
    t.hour = int(clock.hours().count());
    t.minute = int(clock.minutes().count());
    t.second = int(clock.seconds().count());
    t.microsecond = int(clock.subseconds().count());
    t.offset_seconds = int(info.offset.count());
    return t;
}

std::string iso_format(const TokyoTime& t) {
    char buffer[64];
    int n = std::snprintf(
        buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
    std::string text(buffer, size_t(n));
    if (t.microsecond != 0) {
        std::snprintf(buffer, sizeof buffer, ".%06d", t.microsecond);
        text += buffer;
    }
    int offset = t.offset_seconds;
    char sign = offset < 0 ? '-' : '+';
    if (offset < 0) offset = -offset;
    std::snprintf(buffer, sizeof buffer, "%c%02d:%02d", sign, offset / 3600, (offset % 3600) / 60);
    return text + buffer;
}

std::string format_time(const TokyoTime& t, const std::string& pattern) {
    std::string out;
    char buffer[16];
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            out += pattern[i];
            continue;
        }
        char c = pattern[++i];
        switch (c) {
            case 'Y':
                std::snprintf(buffer, sizeof buffer, "%04d", t.year);
                break;
            case 'm':
                std::snprintf(buffer, sizeof buffer, "%02d", t.month);
                break;
            case 'd':
                std::snprintf(buffer, sizeof buffer, "%02d", t.day);
                break;
            case 'H':
                std::snprintf(buffer, sizeof buffer, "%02d", t.hour);
                break;
            case 'M':
                std::snprintf(buffer, sizeof buffer, "%02d", t.minute);
                break;
            case 'S':
                std::snprintf(buffer, sizeof buffer, "%02d", t.second);
                break;
            case '%':
                std::snprintf(buffer, sizeof buffer, "%%");
                break;
            default:
                throw std::invalid_argument(std::string("unsupported time format directive %") + c);
        }
        out += buffer;
    }
    return out;
}

}  // namespace tesmira
