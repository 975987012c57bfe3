// Reading and writing date texts. Zone and "now" are pinned: the zone is
// Tokyo (UTC+9, no daylight time) unless a test says otherwise, and the
// clock stands at 2026-12-08 10:00:00 UTC (19:00 in Tokyo).

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "content/DateText.h"
#include "platform/Clock.h"

namespace {

std::wstring Local(const CDateTime& value) { return FormatDateTime(value, L"%Y-%m-%d %H:%M:%S"); }

class DateTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetTimeZone("Asia/Tokyo");
        SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 10, 0, 0));
    }
    void TearDown() override
    {
        SetCurrentTimeForTesting(std::nullopt);
        SetTimeZone("UTC");
    }
    static constexpr const wchar_t* kNow = L"2026-12-08 19:00:00";
};

} // namespace

TEST_F(DateTextTest, ReadsRfc822DatesAndConvertsThemFromUtc)
{
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 GMT")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Monday, 06 SEPTEMBER 2004 16:45:00 UT")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"06 Sep 2004 16:45:00 +0900")), L"2004-09-06 16:45:00");
    // Month first: 04:45 at +09:00 is 19:45 the day before in UTC.
    EXPECT_EQ(Local(ParseDateText(L"Sep 06 2004 04:45:00 +0900")), L"2004-09-06 04:45:00");
}

// A meridiem marker counts before the hour and after the minutes or the
// seconds, where a zone may still follow it.
TEST_F(DateTextTest, MeridiemMarkersBeforeOrAfterTheTimeCount)
{
    EXPECT_EQ(Local(ParseDateText(L"06 Sep 2004 PM 4:45:00 GMT")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"06 Sep 2004 PM 12:30:00 GMT")), L"2004-09-06 21:30:00");
    EXPECT_EQ(Local(ParseDateText(L"06 Sep 2004 AM 12:30:00 GMT")), L"2004-09-06 09:30:00");
    EXPECT_EQ(Local(ParseDateText(L"06 Sep 2004 4:45:00 PM")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"29 Jan 2021 04:42 PM")), L"2021-01-30 01:42:00");
    EXPECT_EQ(Local(ParseDateText(L"29 Jan 2021 04:42 am")), L"2021-01-29 13:42:00");
    EXPECT_EQ(Local(ParseDateText(L"Fri, 29 Jan 2021 12:05 AM +0900")), L"2021-01-29 00:05:00");
    EXPECT_EQ(Local(ParseDateText(L"Jan 29 2021 04:42:10 PM GMT")), L"2021-01-30 01:42:10");
    EXPECT_EQ(Local(ParseDateText(L"29 Jan 2021 16:42 PM")), L"2021-01-30 01:42:00") << "a 24-hour time stays";
}

TEST_F(DateTextTest, UnreadableTextsGiveTheCurrentLocalTime)
{
    for (const wchar_t* text : {
             L"abcd",                            // fewer than 5 characters
             L"06-09-2004 16:45:00 GMT",         // numeric month in day-first order
             L"06 Sep 2004 noon 16:45:00 GMT",   // a word in the hour position
             L"06 Sep year 16:45:00 GMT",        // a word in the year position
             L"06 Sep 2004 16:xx:00 GMT",        // a word in the minute position
             L"31 Feb 2004 16:45:00 GMT",        // no such day
             L"06 Foo 2004 16:45:00 GMT",        // no such month
             L"yesterday at noon",
             L"",
         })
        EXPECT_EQ(Local(ParseDateText(text)), kNow) << std::wstring(text).size();
    EXPECT_EQ(Local(ParseDateText(std::wstring(100, L'1'))), kNow);
    // 99 characters is still read: trailing tokens are ignored.
    std::wstring long99 = L"Mon, 06 Sep 2004 16:45:00 GMT ";
    long99.append(99 - long99.size(), L'x');
    EXPECT_EQ(Local(ParseDateText(long99)), L"2004-09-07 01:45:00");
}

TEST_F(DateTextTest, PlainLocalTextsAreTakenAsWritten)
{
    EXPECT_EQ(Local(ParseDateText(L"2004-09-06 16:45:30")), L"2004-09-06 16:45:30");
    EXPECT_EQ(Local(ParseDateText(L"2004-09-06")), L"2004-09-06 00:00:00");
}

TEST_F(DateTextTest, NormalizesW3cDates)
{
    EXPECT_EQ(NormalizeW3cDate(L"2004-09-06T16:45+09:00"), L"2004-09-06 16:45 +09:00");
    EXPECT_EQ(NormalizeW3cDate(L"2004-09-06T16:45:30Z"), L"2004-09-06 16:45:30 +00:00");
    EXPECT_EQ(NormalizeW3cDate(L"2004-09-06"), L"2004-09-06");
    EXPECT_EQ(NormalizeW3cDate(L"ab"), std::nullopt);

    CDateTime target = CDateTime::FromParts(2001, 2, 3, 4, 5, 6);
    ReadW3cDate(L"x", target); // too short: the previous date stays
    EXPECT_EQ(Local(target), L"2001-02-03 04:05:06");
    ReadW3cDate(L"2004-09-06T16:45+09:00", target);
    EXPECT_EQ(Local(target), L"2004-09-06 16:45:00");
}

TEST_F(DateTextTest, ReadsTheCommonAtomAndIsoFormsAtTheRightInstant)
{
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"2004-09-06T16:45+09:00", L"2004-09-06 16:45:00"},
        {L"2004-09-06T16:45:30+09:00", L"2004-09-06 16:45:30"},
        {L"2004-09-06T16:45:30.123+09:00", L"2004-09-06 16:45:30"},
        {L"2004-09-06T16:45-05:00", L"2004-09-07 06:45:00"},
        {L"2004-09-06T16:45:30-05:00", L"2004-09-07 06:45:30"},
        {L"2004-09-06T16:45:30Z", L"2004-09-07 01:45:30"},
        {L"2004-09-06T16:45Z", L"2004-09-07 01:45:00"},
        {L"2004-09-06T16:45:30+0530", L"2004-09-06 20:15:30"},
        {L"2004-09-06T16:45:30", L"2004-09-06 16:45:30"}, // no zone: local as written
    };
    for (const auto& [text, expected] : cases) {
        CDateTime value = CDateTime::MakeNull();
        ReadW3cDate(text, value);
        EXPECT_EQ(Local(value), expected) << std::wstring(text).size();
    }
}

TEST_F(DateTextTest, ReadsRfc822ZonesWestOfUtcAndDatesWithoutSeconds)
{
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 -0500")), L"2004-09-07 06:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45 GMT")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45 +0200")), L"2004-09-06 23:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00")), L"2004-09-07 01:45:00");
}

TEST(DateTextZones, UsesTheDaylightStateOfTheDateItself)
{
    SetTimeZone("Europe/Berlin");
    SetCurrentTimeForTesting(UtcTimePoint(2026, 12, 8, 10, 0, 0)); // winter now
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 GMT")), L"2004-09-06 18:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Dec 2004 16:45:00 GMT")), L"2004-12-06 17:45:00");
    SetCurrentTimeForTesting(std::nullopt);
    SetTimeZone("UTC");
}

TEST(DateTextFormat, WritesTheFixedFormatsWithEnglishNames)
{
    const CSystemTime time{2026, 12, 0, 6, 20, 22, 20, 0};
    EXPECT_EQ(FormatSystemTime(time, kOpmlDateFormat), L"Sun, 06 Dec 2026 20:22:20 GMT");
    EXPECT_EQ(FormatSystemTime(time, kFileTimeFormat), L"2026-12-06 20:22");
    EXPECT_EQ(FormatSystemTime(time, kListDateFormat), L"06/12/26");
    EXPECT_EQ(FormatSystemTime(time, L"%d %m %Y|%m %Y|100%%"), L"06 12 2026|12 2026|100%");
    EXPECT_EQ(FormatDateTime(CDateTime::MakeInvalid(), kListDateFormat), L"");
}

TEST_F(DateTextTest, ListDatesShowTheTimeForTodayOnly)
{
    EXPECT_EQ(FormatListDate(CDateTime()), L"");
    EXPECT_EQ(FormatListDate(CDateTime(0.9)), L"");
    EXPECT_EQ(FormatListDate(CDateTime::FromParts(2026, 12, 8, 7, 5, 0)), L"07:05");
    EXPECT_EQ(FormatListDate(CDateTime::FromParts(2026, 12, 7, 7, 5, 0)), L"07/12/26");
}

TEST_F(DateTextTest, ReadsZoneNamesMilitaryLettersAndOffsetsAfterGmt)
{
    // Tokyo is UTC+9: 16:45 EST (UTC-5) is 21:45 UTC, 06:45 the next day here.
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 EST")), L"2004-09-07 06:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 pdt")), L"2004-09-07 08:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 GMT+0200")), L"2004-09-06 23:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 GMT-0500")), L"2004-09-07 06:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 UTC+05:30")), L"2004-09-06 20:15:00");
    // Military letters at their true offsets: A is UTC+1, N is UTC-1.
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 A")), L"2004-09-07 00:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 N")), L"2004-09-07 02:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 Z")), L"2004-09-07 01:45:00");
    // A number after GMT that carries no sign is not an offset.
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 2004 16:45:00 GMT 0200")), L"2004-09-07 01:45:00");
}

TEST_F(DateTextTest, TwoDigitYearsFollowRfc2822)
{
    EXPECT_EQ(Local(ParseDateText(L"Mon, 06 Sep 04 16:45:00 GMT")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Sun, 06 Sep 49 16:45:00 GMT")), L"2049-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"06 Dec 50 16:45:00 GMT")), L"1950-12-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"Sep 06 99 16:45:00 +0900")), L"1999-09-06 16:45:00");
}

TEST_F(DateTextTest, ReadsW3cTextsWhereAnRfc822DateBelongs)
{
    EXPECT_EQ(Local(ParseDateText(L"2004-09-06T16:45:00+02:00")), L"2004-09-06 23:45:00");
    EXPECT_EQ(Local(ParseDateText(L"2004-09-06 16:45:00+02:00")), L"2004-09-06 23:45:00");
    EXPECT_EQ(Local(ParseDateText(L"2004-09-06T16:45:00Z")), L"2004-09-07 01:45:00");
    EXPECT_EQ(Local(ParseDateText(L"2004-09-06T16:45:00")), L"2004-09-06 16:45:00");
}
