// The shared date value, file times and the platform's date text form.

#include <gtest/gtest.h>

#include "platform/Clock.h"
#include "platform/DateTime.h"
#include "platform/VariantDate.h"

namespace {

CSystemTime Parts(const CDateTime& value)
{
    CSystemTime st;
    EXPECT_TRUE(value.GetAsSystemTime(st));
    return st;
}

void ExpectParts(const CDateTime& value, int y, int mo, int d, int h, int mi, int s)
{
    const CSystemTime st = Parts(value);
    EXPECT_EQ(st.wYear, y);
    EXPECT_EQ(st.wMonth, mo);
    EXPECT_EQ(st.wDay, d);
    EXPECT_EQ(st.wHour, h);
    EXPECT_EQ(st.wMinute, mi);
    EXPECT_EQ(st.wSecond, s);
}

} // namespace

TEST(DateTime, DayCountsMatchTheAutomationDateConvention)
{
    EXPECT_DOUBLE_EQ(CDateTime::FromParts(1899, 12, 30, 0, 0, 0).m_dt, 0.0);
    EXPECT_DOUBLE_EQ(CDateTime::FromParts(1900, 1, 1, 18, 0, 0).m_dt, 2.75);
    EXPECT_DOUBLE_EQ(CDateTime::FromParts(2004, 9, 6, 0, 0, 0).m_dt, 38236.0);
    // Before the epoch the fraction still counts forwards into the day.
    EXPECT_DOUBLE_EQ(CDateTime::FromParts(1899, 12, 29, 6, 0, 0).m_dt, -1.25);
    ExpectParts(CDateTime(-1.25), 1899, 12, 29, 6, 0, 0);
    ExpectParts(CDateTime(38236.78125), 2004, 9, 6, 18, 45, 0);
}

TEST(DateTime, RoundTripsEveryFieldAcrossTheValidRange)
{
    const int samples[][6] = {{100, 1, 1, 0, 0, 0},    {1600, 2, 29, 23, 59, 59}, {1899, 12, 30, 12, 0, 1},
                              {1970, 1, 1, 0, 0, 0},   {2000, 2, 29, 13, 14, 15}, {2038, 1, 19, 3, 14, 8},
                              {9999, 12, 31, 23, 59, 59}};
    for (const auto& s : samples) {
        const CDateTime value = CDateTime::FromParts(s[0], s[1], s[2], s[3], s[4], s[5]);
        ASSERT_TRUE(value.IsValid()) << s[0] << "-" << s[1] << "-" << s[2];
        ExpectParts(value, s[0], s[1], s[2], s[3], s[4], s[5]);
    }
}

TEST(DateTime, RejectsFieldsOutsideTheCalendar)
{
    EXPECT_FALSE(CDateTime::FromParts(99, 12, 31, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(10000, 1, 1, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(2004, 13, 1, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(2004, -1, 1, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(2003, 2, 29, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(1900, 2, 29, 0, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(2004, 9, 6, 24, 0, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(2004, 9, 6, 0, 60, 0).IsValid());
    EXPECT_FALSE(CDateTime::FromParts(2004, 9, 6, 0, 0, 60).IsValid());
    CSystemTime st;
    EXPECT_FALSE(CDateTime(3e6).GetAsSystemTime(st));
    EXPECT_FALSE(CDateTime::MakeNull().GetAsSystemTime(st));
}

TEST(DateTime, ArithmeticAndOrderFollowTheTimeLineAcrossTheEpoch)
{
    const CDateTime beforeEpoch = CDateTime::FromParts(1899, 12, 29, 6, 0, 0); // -1.25
    ExpectParts(beforeEpoch.AddDays(0.75), 1899, 12, 30, 0, 0, 0);
    ExpectParts(beforeEpoch.AddDays(1.0), 1899, 12, 30, 6, 0, 0);
    ExpectParts(CDateTime(0.25).AddDays(-1.0), 1899, 12, 29, 6, 0, 0);
    EXPECT_FALSE(CDateTime(-1.25) < CDateTime(-1.0)); // 29 Dec 06:00 is later than 29 Dec 00:00
    EXPECT_TRUE(CDateTime(-1.0) < CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-1.25) < CDateTime(0.0));
    EXPECT_FALSE(CDateTime::FromParts(9999, 12, 31, 0, 0, 0).AddDays(2).IsValid());
}

TEST(FileTime, RoundTripsCalendarFieldsWithoutAnyZoneShift)
{
    CSystemTime st{2004, 9, 1, 6, 16, 45, 30, 250};
    FILETIME ft;
    ASSERT_TRUE(SystemTimeToFileTime(st, ft));
    CSystemTime back;
    ASSERT_TRUE(FileTimeToSystemTime(ft, back));
    EXPECT_EQ(back.wYear, 2004);
    EXPECT_EQ(back.wMonth, 9);
    EXPECT_EQ(back.wDay, 6);
    EXPECT_EQ(back.wDayOfWeek, 1); // a Monday
    EXPECT_EQ(back.wHour, 16);
    EXPECT_EQ(back.wMinute, 45);
    EXPECT_EQ(back.wSecond, 30);
    EXPECT_EQ(back.wMilliseconds, 250);

    CSystemTime epoch{1601, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(epoch, ft));
    EXPECT_EQ(ft.Ticks(), 0u);
    CSystemTime unix{1970, 1, 0, 1, 0, 0, 0, 0};
    ASSERT_TRUE(SystemTimeToFileTime(unix, ft));
    EXPECT_EQ(ft.Ticks(), 116444736000000000ULL);

    CSystemTime tooEarly{1600, 12, 0, 31, 0, 0, 0, 0};
    EXPECT_FALSE(SystemTimeToFileTime(tooEarly, ft));
    EXPECT_FALSE(FileTimeToSystemTime(FILETIME::FromTicks(0x8000000000000000ULL), back));
}

TEST(VariantDate, ReadsPlainLocalDatesAsWritten)
{
    CDateTime value;
    ASSERT_TRUE(VarDateFromStr(L"2004-09-06 16:45:30", value));
    ExpectParts(value, 2004, 9, 6, 16, 45, 30);
    ASSERT_TRUE(VarDateFromStr(L"  2004/9/6 7:05  ", value));
    ExpectParts(value, 2004, 9, 6, 7, 5, 0);
    ASSERT_TRUE(VarDateFromStr(L"2004-09-06", value));
    ExpectParts(value, 2004, 9, 6, 0, 0, 0);
    ASSERT_TRUE(VarDateFromStr(L"2004-09-06 16:45:30.5", value));
    EXPECT_EQ(Parts(value).wMilliseconds, 500);
}

TEST(VariantDate, LeavesZonesWeekdaysAndNamesToTheOwnParser)
{
    CDateTime value = CDateTime::FromParts(2000, 1, 1, 0, 0, 0);
    const CDateTime before = value;
    for (const wchar_t* text :
         {L"2004-09-06 16:45 +09:00", L"2004-09-06 16:45:30 Z", L"Mon, 06 Sep 2004 16:45:00 GMT", L"06 Sep 2004",
          L"2004-09-06T16:45:30", L"2004-02-30", L"2004-09-06 24:00", L"04-09-06", L"", L"2004-09-0616:45",
          L"2004-09/06"}) {
        EXPECT_FALSE(VarDateFromStr(text, value)) << std::wstring(text).size();
        EXPECT_EQ(value, before);
    }
}

TEST(VariantDate, WritesTextsItReadsBack)
{
    const CDateTime value = CDateTime::FromParts(2026, 12, 8, 9, 5, 7);
    EXPECT_EQ(VarBstrFromDate(value), L"2026-12-08 09:05:07");
    CDateTime back;
    ASSERT_TRUE(VarDateFromStr(VarBstrFromDate(value), back));
    EXPECT_EQ(back, value);
    EXPECT_EQ(VarBstrFromDate(CDateTime()), L"1899-12-30 00:00:00");
    EXPECT_EQ(VarBstrFromDate(CDateTime::MakeNull()), L"");
    EXPECT_EQ(VarBstrFromDate(CDateTime::MakeInvalid()), L"Invalid DateTime");
}
