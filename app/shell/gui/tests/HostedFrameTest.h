#pragma once

// The main window with its host over a fresh store set for short
// magnetometer scans, as the window tests build it. `Interaction` is the
// user interaction the tests script or show.

#include "app/acquisition/tests/ScanThreadTestSupport.h"
#include "app/base/CommandLine.h"
#include "app/settings/ScanConfigurationStore.h"
#include "app/shell/gui/CMainFrame.h"
#include "app/shell/gui/MainFrameHost.h"
#include "testsupport/QtTestApp.h"

#include <QWidget>

#include <filesystem>
#include <memory>
#include <type_traits>

template <class Interaction> class HostedFrameTest : public QtTest
{
protected:
    // A store for short magnetometer scans saved into `folder`.
    void makeStore(const std::filesystem::path& folder)
    {
        store = std::make_unique<ScanConfigurationStore>(ui, switches);
        ScanTest::shortMagnetometerScan(store->scanConfiguration());
        store->defaultSettings().FilePath = folder.string() + "/";
    }

    // The window (owning the dialogs where the interaction shows them) and its host, shown.
    void showFrame(int width, int height)
    {
        frame = std::make_unique<CMainFrame>();
        if constexpr (requires { ui.setOwner(frame.get()); }) ui.setOwner(frame.get());
        host = std::make_unique<MainFrameHost>(*frame, ui, *store, switches);
        frame->resize(width, height);
        frame->show();
    }

    CommandLineSwitches switches;
    Interaction ui = makeInteraction();
    std::shared_ptr<FenmarlUsb::Instrument> instrument;
    std::unique_ptr<ScanConfigurationStore> store;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<MainFrameHost> host;

private:
    static Interaction makeInteraction()
    {
        if constexpr (std::is_constructible_v<Interaction, QWidget*>)
            return Interaction(nullptr);
        else
            return Interaction();
    }
};
