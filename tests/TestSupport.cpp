#include "TestSupport.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Clock.h"
#include "platform/Unicode.h"
#include "store/FeedDatabase.h"
#include "store/ItemDatabase.h"
#include "update/Setting.h"

namespace fs = std::filesystem;

void SetTimeZone(const char* zone)
{
    setenv("TZ", zone, 1);
    tzset();
}

void CTempHomeTest::SetUp()
{
    std::string pattern = (fs::temp_directory_path() / "zelvia-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    m_strHome = pattern;
    setenv("HOME", m_strHome.c_str(), 1);
    setenv("XDG_DATA_HOME", (m_strHome + "/data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (m_strHome + "/config").c_str(), 1);
    setenv("RSSREADER_DEBUG", "0", 1);
    SetTimeZone("UTC");
    CSetting::DestroyInstance();
}

void CTempHomeTest::TearDown()
{
    CSetting::DestroyInstance();
    CZelviaRssItemDB::DestroyInstance();
    CZelviaRssDB::DestroyInstance();
    SetCurrentTimeForTesting(std::nullopt);
    std::error_code error;
    fs::remove_all(m_strHome, error);
}

std::string CTempHomeTest::HomePath(const std::string& relative) const { return m_strHome + "/" + relative; }

std::wstring CTempHomeTest::HomePathW(const std::string& relative) const { return Utf8ToWide(HomePath(relative)); }

std::wstring CTempHomeTest::WriteHomeFile(const std::string& relative, const std::string& content) const
{
    const std::string path = HomePath(relative);
    fs::create_directories(fs::path(path).parent_path());
    WriteWholeFile(path, content);
    return Utf8ToWide(path);
}

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteWholeFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

std::string TestDataPath(const std::string& relative) { return std::string(TEST_DATA_DIR) + "/" + relative; }

namespace {
std::tm CalendarTm(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return tm;
}
} // namespace

std::chrono::system_clock::time_point UtcTimePoint(int year, int month, int day, int hour, int minute, int second)
{
    std::tm tm = CalendarTm(year, month, day, hour, minute, second);
    return std::chrono::system_clock::from_time_t(timegm(&tm));
}

std::chrono::system_clock::time_point LocalTimePoint(int year, int month, int day, int hour, int minute)
{
    std::tm tm = CalendarTm(year, month, day, hour, minute, 0);
    return std::chrono::system_clock::from_time_t(mktime(&tm));
}

void ExpectNoTemporaryFiles(const std::string& folder)
{
    for (const auto& entry : fs::directory_iterator(folder))
        EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
}
