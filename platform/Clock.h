#pragma once
// The clock: current local and UTC time, conversion between them, and the
// millisecond tick count. Local time follows the TZ environment variable.
// Tests pin "now" through SetCurrentTimeForTesting instead of touching globals.

#include <chrono>
#include <cstdint>
#include <optional>

// A broken-down calendar time, field for field the platform's SYSTEMTIME.
struct CSystemTime {
    int wYear = 0;
    int wMonth = 0;     // 1..12
    int wDayOfWeek = 0; // 0 = Sunday
    int wDay = 0;       // 1..31
    int wHour = 0;
    int wMinute = 0;
    int wSecond = 0;
    int wMilliseconds = 0;
};

CSystemTime GetLocalTime();
CSystemTime GetSystemTime(); // UTC

// Converts a UTC calendar time to local time using the zone rules in force
// at that instant (so a summer date gets summer time even in winter).
// Returns false when the time cannot be represented.
bool UtcToLocalTime(const CSystemTime& utc, CSystemTime& local);

// A count of 100-nanosecond intervals since 1601-01-01 00:00, as the
// databases store dates. It carries no zone: a local calendar time converts
// to a "local" file time.
struct FILETIME {
    std::uint32_t dwLowDateTime = 0;
    std::uint32_t dwHighDateTime = 0;

    std::uint64_t Ticks() const { return (std::uint64_t{dwHighDateTime} << 32) | dwLowDateTime; }
    static FILETIME FromTicks(std::uint64_t ticks)
    {
        return {static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
    }
    bool operator==(const FILETIME&) const = default;
};

// Fills every field from a day count since 1970-01-01 and the milliseconds
// into that day.
void SetSystemTimeFromDays(CSystemTime& time, std::int64_t daysSince1970, std::int64_t millisecondOfDay);

// False for fields outside the calendar (years 1601 to 30827).
bool SystemTimeToFileTime(const CSystemTime& time, FILETIME& fileTime);
// False for values past the representable range (high bit set).
bool FileTimeToSystemTime(const FILETIME& fileTime, CSystemTime& time);

// Milliseconds since an arbitrary start, wrapping at 2^32 like the device's.
std::uint32_t GetTickCount();

// Pins the value that GetLocalTime and GetSystemTime report; nullopt restores
// the real clock.
void SetCurrentTimeForTesting(std::optional<std::chrono::system_clock::time_point> now);
