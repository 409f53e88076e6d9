#pragma once

#include "app/acquisition/ScanEvents.h"

#include <functional>

class CCorvelDoc;
class CScanConfiguration;
struct DefaultSettings;

// What the main frame's core sequences need from the window layer. The GUI
// implements it with QTimer, queued invocations and its MDI children; silent
// runs and tests with CoreFrameLoop. Every call comes on the UI thread.
class FrameServices
{
public:
    static constexpr int kGraphTimerId = ScanEvents::kGraphTimerId; // view refresh while a scan runs
    static constexpr int kStopTimerId = 1010;  // enables Stop 5 s after the start
    static constexpr unsigned kStopDelayMs = 5000;

    virtual ~FrameServices() = default;

    // A repeating timer; setting a running one restarts it with the new period.
    virtual void setTimer(int id, unsigned periodMs) = 0;
    virtual void killTimer(int id) = 0;
    // Dispatches the UI thread's waiting messages (inside bounded waits).
    virtual void pumpMessages() = 0;
    // Runs action later on the UI thread (a posted message or command).
    virtual void post(std::function<void()> action) = 0;
    // Greys or restores the Close item of the main window's system menu.
    virtual void enableMainWindowClose(bool enable) = 0;
    // A new document with its child frame, made the active one; the
    // configuration and data settings are copied into it. Null on failure.
    virtual CCorvelDoc* createDocument(const CScanConfiguration& configuration,
                                       const DefaultSettings& settings) = 0;
    virtual CCorvelDoc* activeDocument() = 0;
    // Greys or restores the Close item of a document's child frame.
    virtual void enableDocumentClose(CCorvelDoc& document, bool enable) = 0;
    // Lays out the document's graph panes and prepares its graphs for the
    // scan that is about to start.
    virtual void prepareScanViews(CCorvelDoc& /*document*/) {}
    // Closes the main window (the program ends).
    virtual void closeMainWindow() = 0;
    // A scan was saved to its file (it joins the recent files).
    virtual void documentSaved(CCorvelDoc& /*document*/) {}
};
