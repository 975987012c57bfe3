// Handing a link to the desktop: true only when the opener really started,
// so a missing xdg-open is a failure the reader can tell the user about.

#include <filesystem>
#include <thread>

#include "TestSupport.h"
#include "platform/Shell.h"

namespace {

class ShellTest : public CTempHomeTest {
protected:
    void SetUp() override
    {
        CTempHomeTest::SetUp();
        m_strPath = getenv("PATH") != nullptr ? getenv("PATH") : "";
    }
    void TearDown() override
    {
        setenv("PATH", m_strPath.c_str(), 1);
        CTempHomeTest::TearDown();
    }

    std::string m_strPath;
};

} // namespace

TEST_F(ShellTest, TheOpenerStartsWithTheTargetAndAMissingOneIsAFailure)
{
    // An opener that writes down what it was given.
    const std::string bin = HomePath("bin");
    const std::string seen = HomePath("seen");
    WriteHomeFile("bin/xdg-open", "#!/bin/sh\nprintf '%s' \"$1\" > '" + seen + ".part' && /bin/mv '" + seen + ".part' '" + seen +
                                      "'\n");
    std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
    setenv("PATH", bin.c_str(), 1);
    EXPECT_TRUE(ShellExecuteOpen(L"-http://x.org/ä"));
    for (int wait = 0; wait < 500 && !std::filesystem::exists(seen); ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(ReadWholeFile(seen), "./-http://x.org/ä") << "never taken for an option";

    setenv("PATH", HomePath("empty").c_str(), 1);
    EXPECT_FALSE(ShellExecuteOpen(L"http://x.org/")) << "no xdg-open";
    EXPECT_FALSE(ShellExecuteOpen(L""));
}
