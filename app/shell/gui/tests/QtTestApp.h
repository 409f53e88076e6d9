#pragma once

#include <QApplication>

#include <gtest/gtest.h>

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
