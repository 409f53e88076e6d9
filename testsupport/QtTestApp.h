#pragma once

#include "common/platform/Hooks.h"

#include <QApplication>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
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

// Pictures of windows for a person to look at: kept in TESSELON_SCREENSHOT_DIR
// when it names a folder.
inline void keepScreenshot(const QPixmap& picture, const QString& fileName)
{
    const char* dir = std::getenv("TESSELON_SCREENSHOT_DIR");
    if (dir && *dir) picture.save(QString::fromLocal8Bit(dir) + "/" + fileName);
}

// Shows and grabs each window once: each must render. Not a check of looks;
// the pictures are kept under the window's class name.
inline void expectEachRenders(std::initializer_list<QWidget*> windows)
{
    for (QWidget* w : windows) {
        w->show();
        QCoreApplication::processEvents();
        const QPixmap picture = w->grab();
        EXPECT_FALSE(picture.isNull()) << w->metaObject()->className();
        keepScreenshot(picture, QString::fromLatin1(w->metaObject()->className()) + ".png");
    }
}
