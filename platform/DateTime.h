#pragma once
// The date-time value shared by the whole system: a double counting days
// since 30 December 1899 00:00 (the fraction is the time of day) plus a
// status. Calendar values are valid for the years 100 to 9999.
//
// Days before 1899-12-30 follow the automation-date convention: the whole
// part counts days backwards but the fraction still counts forwards into the
// day (-1.25 is 29 December 1899 06:00). Arithmetic and comparison therefore
// go through a linear day count, never through the raw double.

#include "platform/Clock.h"

enum class DateTimeStatus { Valid, Invalid, Null };

class CDateTime {
public:
    CDateTime() = default; // 1899-12-30 00:00, valid
    explicit CDateTime(double days, DateTimeStatus status = DateTimeStatus::Valid);

    // Invalid unless every field lies in its calendar range.
    static CDateTime FromParts(int year, int month, int day, int hour, int minute, int second,
                               int millisecond = 0);
    static CDateTime FromSystemTime(const CSystemTime& st);
    static CDateTime GetCurrentTime(); // local time
    static CDateTime MakeNull();
    static CDateTime MakeInvalid();

    bool IsValid() const { return m_status == DateTimeStatus::Valid; }
    DateTimeStatus GetStatus() const { return m_status; }
    double GetDays() const { return m_dt; }

    // Rounds to the nearest millisecond. False unless valid and in range.
    bool GetAsSystemTime(CSystemTime& st) const;

    // Moves the value by a span of days (fractions allowed); an out-of-range
    // result is invalid.
    CDateTime AddDays(double span) const;

    // Comparisons of two valid values, in time order.
    bool operator<(const CDateTime& other) const { return Linear() < other.Linear(); }
    bool operator>(const CDateTime& other) const { return other < *this; }
    bool operator==(const CDateTime& other) const
    {
        return m_status == other.m_status && m_dt == other.m_dt;
    }

    double m_dt = 0.0;
    DateTimeStatus m_status = DateTimeStatus::Valid;

private:
    double Linear() const;
    static double FromLinear(double linear);
};

// A span of h hours and m minutes, in days.
inline double HoursMinutesSpan(int hours, int minutes) { return hours / 24.0 + minutes / 1440.0; }
