// The GUI tests run headless: the offscreen platform unless the caller chose
// another, set before the application exists (ctest lists the tests by
// running this program at build time, without a display).
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("RSSREADER_DEBUG", "0");
    // No test reaches the user's desktop: desktop notices go to a bus a
    // test starts, or nowhere.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/rssreader-tests-bus");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
