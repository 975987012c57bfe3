#pragma once
// Shared test scaffolding: a private home for each test, so that no test
// touches the real home, data or config folders, and small file helpers.

#include <chrono>
#include <gtest/gtest.h>
#include <string>

// Points HOME, XDG_DATA_HOME, XDG_CONFIG_HOME at a fresh
// temporary folder, pins TZ, silences the debug output, and removes it all
// afterwards. Tests that use the settings singleton get a fresh one.
class CTempHomeTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Absolute path of a file or folder inside the temporary home.
    std::string HomePath(const std::string& relative) const;
    std::wstring HomePathW(const std::string& relative) const;
    // Writes a file (creating its folders) and returns its path.
    std::wstring WriteHomeFile(const std::string& relative, const std::string& content) const;

    std::string m_strHome;
};

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& content);
std::string TestDataPath(const std::string& relative);
// Sets TZ and makes the C library read it.
void SetTimeZone(const char* zone);

// Instants for pinning the clock, given as UTC or as local calendar time.
std::chrono::system_clock::time_point UtcTimePoint(int year, int month, int day, int hour, int minute, int second = 0);
std::chrono::system_clock::time_point LocalTimePoint(int year, int month, int day, int hour, int minute);

// Fails the test when a temporary file of an atomic write is left in folder.
void ExpectNoTemporaryFiles(const std::string& folder);
