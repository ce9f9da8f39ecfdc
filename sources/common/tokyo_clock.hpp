#pragma once
#include <chrono>
#include <string>

namespace tesmira {

// A moment with its clock time in the "Asia/Tokyo" zone.
struct TokyoTime {
    std::chrono::sys_time<std::chrono::microseconds> instant;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, microsecond = 0;
    int offset_seconds = 0;  // east of UTC, +32400 for Tokyo
};

TokyoTime tokyo_now();
TokyoTime to_tokyo(std::chrono::sys_time<std::chrono::microseconds> instant);

// "2026-12-09T10:11:12.345678+09:00"; the fraction is left out when it is zero.
std::string iso_format(const TokyoTime& time);

// strftime-style formatting of the Tokyo clock time; supports %Y %m %d %H %M %S and %%.
std::string format_time(const TokyoTime& time, const std::string& pattern);

}  // namespace tesmira
