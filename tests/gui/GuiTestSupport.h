#pragma once
// Shared by the GUI tests: a fixture that starts and ends every test with
// the built-in texts, and waiting on the event loop.

#include <QElapsedTimer>
#include <QTest>
#include <gtest/gtest.h>

#include "resources/ResourceModule.h"

class CGuiTest : public ::testing::Test {
protected:
    void SetUp() override { UseBuiltInResources(); }
    void TearDown() override { UseBuiltInResources(); }
};

// Runs the event loop until done() or the time is up; returns done().
template <class F> bool WaitFor(F done, int milliseconds = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QTest::qWait(10);
    }
    return true;
}
