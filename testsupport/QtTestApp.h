#pragma once

#include "common/platform/Hooks.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <string>
#include <vector>

// One QApplication per test process, on the offscreen platform.
inline QApplication* ensureQtApp()
{
    static int argc = 1;
    static char name[] = "tesselon-gui-tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static QApplication* app = new QApplication(argc, argv);
        return app;
    }
    return qobject_cast<QApplication*>(QApplication::instance());
}

class QtTest : public ::testing::Test
{
protected:
    // In the constructor, so widgets held as members of derived fixtures find the application.
    QtTest() { ensureQtApp(); }
};

// Records the message boxes shown ("caption|text" and their flags) and answers OK.
class QtBoxTest : public QtTest
{
protected:
    void SetUp() override
    {
        FenmarlCommonDLL::platform::setMessageBoxHandler(
            [this](const std::string& text, const std::string& caption, unsigned flags) {
                boxes.push_back(caption + "|" + text);
                flagsShown.push_back(flags);
                return FenmarlCommonDLL::platform::IDOK_;
            });
    }
    void TearDown() override { FenmarlCommonDLL::platform::setMessageBoxHandler({}); }

    std::vector<std::string> boxes;
    std::vector<unsigned> flagsShown;
};
