#include "platform/DateTime.h"

#include <cmath>
#include <cstdint>

#include "platform/Calendar.h"

namespace {

constexpr std::int64_t kMsPerDay = 86400000;
constexpr double kMinDays = -657434.0;          // 0100-01-01 00:00
constexpr double kMaxDays = 2958465.99999999;   // 9999-12-31 23:59:59.999

using Calendar::DaysFromCivil;
using Calendar::DaysInMonth;

const std::int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

} // namespace

CDateTime::CDateTime(double days, DateTimeStatus status) : m_dt(days), m_status(status) {}

CDateTime CDateTime::FromParts(int year, int month, int day, int hour, int minute, int second, int millisecond)
{
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)
        || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || millisecond < 0
        || millisecond > 999)
        return MakeInvalid();
    const double dayNumber = static_cast<double>(DaysFromCivil(year, month, day) - kEpochOffset);
    const double time = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + millisecond) / kMsPerDay;
    return CDateTime(dayNumber >= 0 ? dayNumber + time : dayNumber - time);
}

CDateTime CDateTime::FromSystemTime(const CSystemTime& st)
{
    return FromParts(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds);
}

CDateTime CDateTime::GetCurrentTime() { return FromSystemTime(::GetLocalTime()); }

CDateTime CDateTime::MakeNull() { return CDateTime(0.0, DateTimeStatus::Null); }

CDateTime CDateTime::MakeInvalid() { return CDateTime(0.0, DateTimeStatus::Invalid); }

bool CDateTime::GetAsSystemTime(CSystemTime& st) const
{
    if (!IsValid() || !(m_dt >= kMinDays && m_dt <= kMaxDays))
        return false;
    // The whole part names the day; the fraction, counted forwards, the time.
    const std::int64_t total = std::llround(std::fabs(m_dt) * kMsPerDay);
    std::int64_t dayNumber = total / kMsPerDay;
    const std::int64_t msOfDay = total % kMsPerDay;
    if (m_dt < 0)
        dayNumber = -dayNumber;
    CSystemTime time;
    SetSystemTimeFromDays(time, dayNumber + kEpochOffset, msOfDay);
    if (time.wYear < 100 || time.wYear > 9999)
        return false;
    st = time;
    return true;
}

double CDateTime::Linear() const
{
    if (m_dt >= 0)
        return m_dt;
    const double whole = std::ceil(m_dt);
    return whole + (whole - m_dt); // -1.25 (29 Dec 06:00) is -0.75 on the line
}

double CDateTime::FromLinear(double linear)
{
    if (linear >= 0)
        return linear;
    const double whole = std::floor(linear);
    return whole - (linear - whole);
}

CDateTime CDateTime::AddDays(double span) const
{
    if (!IsValid())
        return *this;
    const double result = FromLinear(Linear() + span);
    if (!(result >= kMinDays && result <= kMaxDays))
        return MakeInvalid();
    return CDateTime(result);
}
