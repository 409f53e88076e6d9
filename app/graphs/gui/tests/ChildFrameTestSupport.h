#pragma once

// A scan's graph window in a working folder of the test's own, with stored
// defaults, and the message boxes it shows recorded ("caption|text") and
// answered OK.

#include "app/acquisition/CCorvelDoc.h"
#include "app/graphs/gui/CChildFrame.h"
#include "testsupport/QtTestApp.h"
#include "common/platform/Hooks.h"
#include "common/platform/KnownFolders.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class ChildFrameTest : public QtTest
{
protected:
    std::filesystem::path work;
    std::filesystem::path previous;
    DefaultSettings stored;
    // Declared before the frame: the frame detaches from it first.
    std::unique_ptr<CCorvelDoc> doc;
    std::unique_ptr<CChildFrame> frame = std::make_unique<CChildFrame>();
    std::vector<std::string> boxes;

    void SetUp() override
    {
        namespace fs = std::filesystem;
        namespace platform = FenmarlCommonDLL::platform;
        previous = fs::current_path();
        work = fs::temp_directory_path() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(work);
        fs::current_path(work);
        fs::create_directories(platform::applicationDataFolder() / "Tesselon");
        frame->setStoredDefaults(&stored);
        platform::setMessageBoxHandler([this](const std::string& text, const std::string& caption, unsigned) {
            boxes.push_back(caption + "|" + text);
            return platform::IDOK_;
        });
    }
    void TearDown() override
    {
        frame.reset();
        doc.reset();
        FenmarlCommonDLL::platform::setMessageBoxHandler({});
        std::filesystem::current_path(previous);
    }
};
