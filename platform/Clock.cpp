#include "platform/Clock.h"

#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/Calendar.h"
#include <mutex>

namespace {

std::mutex g_pinMutex;
std::optional<std::chrono::system_clock::time_point> g_pinnedNow;

// Reads the zone rules again when TZ changed, and once a minute in case the
// system zone did. (tzset itself re-checks the zone file on every call,
// which is too slow for the thousands of dates of a feed.)
void RefreshTimeZone()
{
    struct CZoneState {
        std::mutex mutex;
        bool read = false;
        std::optional<std::string> zone; // TZ when last read
        std::chrono::steady_clock::time_point when;
    };
    static CZoneState state;
    const char* variable = std::getenv("TZ");
    const std::optional<std::string> zone = variable != nullptr ? std::optional<std::string>(variable) : std::nullopt;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(state.mutex);
    if (state.read && state.zone == zone && now - state.when < std::chrono::minutes(1))
        return;
    tzset();
    state.read = true;
    state.zone = zone;
    state.when = now;
}

std::chrono::system_clock::time_point Now()
{
    std::lock_guard lock(g_pinMutex);
    return g_pinnedNow ? *g_pinnedNow : std::chrono::system_clock::now();
}

CSystemTime FromTm(const std::tm& tm, int milliseconds)
{
    CSystemTime st;
    st.wYear = tm.tm_year + 1900;
    st.wMonth = tm.tm_mon + 1;
    st.wDayOfWeek = tm.tm_wday;
    st.wDay = tm.tm_mday;
    st.wHour = tm.tm_hour;
    st.wMinute = tm.tm_min;
    st.wSecond = tm.tm_sec;
    st.wMilliseconds = milliseconds;
    return st;
}

CSystemTime BreakDown(bool local)
{
    const auto now = Now();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    int milliseconds = static_cast<int>(ms % 1000);
    if (milliseconds < 0) {
        milliseconds += 1000;
        --seconds;
    }
    std::tm tm{};
    if (local) {
        RefreshTimeZone();
        localtime_r(&seconds, &tm);
    } else {
        gmtime_r(&seconds, &tm);
    }
    return FromTm(tm, milliseconds);
}

} // namespace

CSystemTime GetLocalTime() { return BreakDown(true); }

CSystemTime GetSystemTime() { return BreakDown(false); }

bool UtcToLocalTime(const CSystemTime& utc, CSystemTime& local)
{
    std::tm tm{};
    tm.tm_year = utc.wYear - 1900;
    tm.tm_mon = utc.wMonth - 1;
    tm.tm_mday = utc.wDay;
    tm.tm_hour = utc.wHour;
    tm.tm_min = utc.wMinute;
    tm.tm_sec = utc.wSecond;
    const std::time_t seconds = timegm(&tm);
    if (seconds == static_cast<std::time_t>(-1) && !(utc.wYear == 1969 && utc.wMonth == 12 && utc.wDay == 31))
        return false;
    RefreshTimeZone();
    std::tm out{};
    if (localtime_r(&seconds, &out) == nullptr)
        return false;
    local = FromTm(out, utc.wMilliseconds);
    return true;
}

std::uint32_t GetTickCount()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void SetCurrentTimeForTesting(std::optional<std::chrono::system_clock::time_point> now)
{
    std::lock_guard lock(g_pinMutex);
    g_pinnedNow = now;
}

namespace {
constexpr std::int64_t kTicksPerMs = 10000;
constexpr std::int64_t kTicksPerDay = 86400000LL * kTicksPerMs;
const std::int64_t k1601 = Calendar::DaysFromCivil(1601, 1, 1);
} // namespace

bool SystemTimeToFileTime(const CSystemTime& time, FILETIME& fileTime)
{
    if (time.wYear < 1601 || time.wYear > 30827 || time.wMonth < 1 || time.wMonth > 12 || time.wDay < 1
        || time.wDay > Calendar::DaysInMonth(time.wYear, time.wMonth) || time.wHour < 0 || time.wHour > 23
        || time.wMinute < 0 || time.wMinute > 59 || time.wSecond < 0 || time.wSecond > 59 || time.wMilliseconds < 0
        || time.wMilliseconds > 999)
        return false;
    const std::int64_t days = Calendar::DaysFromCivil(time.wYear, time.wMonth, time.wDay) - k1601;
    const std::int64_t ms = ((time.wHour * 60LL + time.wMinute) * 60 + time.wSecond) * 1000 + time.wMilliseconds;
    fileTime = FILETIME::FromTicks(static_cast<std::uint64_t>(days * kTicksPerDay + ms * kTicksPerMs));
    return true;
}

bool FileTimeToSystemTime(const FILETIME& fileTime, CSystemTime& time)
{
    const std::uint64_t ticks = fileTime.Ticks();
    if (ticks >= 0x8000000000000000ULL)
        return false;
    const auto days = static_cast<std::int64_t>(ticks / kTicksPerDay);
    const auto ms = static_cast<std::int64_t>(ticks % kTicksPerDay) / kTicksPerMs;
    SetSystemTimeFromDays(time, days + k1601, ms);
    return true;
}

void SetSystemTimeFromDays(CSystemTime& time, std::int64_t daysSince1970, std::int64_t millisecondOfDay)
{
    Calendar::CivilFromDays(daysSince1970, time.wYear, time.wMonth, time.wDay);
    time.wDayOfWeek = Calendar::DayOfWeek(daysSince1970);
    time.wHour = static_cast<int>(millisecondOfDay / 3600000);
    time.wMinute = static_cast<int>(millisecondOfDay / 60000 % 60);
    time.wSecond = static_cast<int>(millisecondOfDay / 1000 % 60);
    time.wMilliseconds = static_cast<int>(millisecondOfDay % 1000);
}
