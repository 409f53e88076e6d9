#pragma once

#include "app/acquisition/DataExport.h"
#include "app/acquisition/ScanProperties.h"
#include "app/settings/DefaultSettings.h"
#include "app/acquisition/SpecificationEvaluation.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

class ArchiveReader;
class ArchiveWriter;
class CCorvelDoc;
class UserInteraction;

// A view of a document (a graph pane). The document tells its views to
// redraw; graph views also take part in storing and loading the document.
class DocumentView
{
public:
    virtual ~DocumentView() = default;
    // Redraw from the document's current data.
    virtual void onDocumentUpdate(CCorvelDoc& document) = 0;
    // Graph views append the fixed legacy block when the document is stored.
    virtual bool isGraphView() const { return true; }
    // Storing: writes the legacy block; graph views then save their settings file.
    virtual void storeGraph(ArchiveWriter& archive);
    // Loading: prepare the graph for `points` points and load its settings.
    virtual void loadGraph(int /*points*/) {}
};

// The scan document: one scan, the data settings it is shown with, and the
// views that show it.
class CCorvelDoc
{
public:
    static constexpr const char* kDefaultExtension = "ts6";
    static constexpr const char* kFileFilter = "Tesselon-6 Files (*.ts6)|*.ts6||";
    static constexpr const char* kDamagedFileMessage =
        "The file is damaged or incomplete and cannot be opened:\n";

    // The configuration and data settings are copied in: the document keeps
    // them while the current ones are edited.
    CCorvelDoc(const CScanConfiguration& configuration, const DefaultSettings& settings);
    CCorvelDoc();
    virtual ~CCorvelDoc() = default;
    CCorvelDoc(const CCorvelDoc&) = delete;
    CCorvelDoc& operator=(const CCorvelDoc&) = delete;

    ScanProperties scan;
    DefaultSettings settings;
    std::int32_t scanActive = 0;
    std::int32_t fileVersion = -9;
    // 0 while the scan thread rewrites the data sets; views draw only at 1.
    std::atomic<std::uint8_t> dataReady{1};
    std::int32_t fileInvalid = 0;
    std::uint8_t alertMuted = 0;
    // The last pass/fail judgement (per input and domain, with the worst point), for the views to draw.
    SpecificationVerdict specificationVerdict;

    // Views, in the order they were added (graph blocks are stored in that order).
    void addView(DocumentView* view);
    void removeView(DocumentView* view);
    const std::vector<DocumentView*>& views() const { return views_; }
    // Judges the data against its pass/fail limits (EvaluateSpecification, not
    // fresh), then redraws every view.
    void UpdateAllViews();
    // Redraw, then sound the alert when a result failed, the alert is on and
    // the document is not muted. Returns whether it sounded.
    bool UpdateViewsAndAlert();
    void MuteAlert() { alertMuted = 1; }

    // Both inputs' spectra again from their time records with the document's
    // own FFT settings; then the views are updated.
    void RecomputeSpectra();
    // The data-settings command's OK: the edited copies replace the
    // document's own, then the spectra are computed again.
    void ApplyDataSettings(const CScanConfiguration& configuration, const DefaultSettings& newSettings);

    // "Input 1 Mean" / "Input 2 Mean" (index 0 or 1).
    bool InputMeansEnabled(int input) const;
    std::string InputMeansText(int input);
    // Shows the means in a message box.
    void ShowInputMeans(int input, UserInteraction& ui);

    // The scan data file.
    void Serialize(ArchiveWriter& archive);
    // Throws ArchiveException; on any failure the document is unchanged. A
    // wrong signature sets fileInvalid.
    void Serialize(ArchiveReader& archive);
    // Open: false with a message (when ui is given) on a wrong signature or a
    // damaged file; the document is then left as it was.
    bool OnOpenDocument(const std::filesystem::path& path, UserInteraction* ui);
    // Save via a temporary file beside the target, renamed over it at the
    // end, so a failure never destroys the old file. False on failure.
    bool OnSaveDocument(const std::filesystem::path& path);
    const std::string& lastError() const { return lastError_; }

    const std::filesystem::path& pathName() const { return path_; }
    void setPathName(const std::filesystem::path& path) { path_ = path; }
    bool isModified() const { return modified_; }
    void setModified(bool modified) { modified_ = modified; }

    // Export and copy of one input (index 0 or 1).
    ExportInput exportInput(int input);
    bool ExportData(const std::filesystem::path& path, int input, UserInteraction* ui);
    std::string CopyData(int input);
    // The text file beside an automatically saved scan file (".ts6" → ".dat"),
    // with the inputs in use. False when nothing was written.
    bool AutomaticExport(const std::filesystem::path& scanFile, UserInteraction* ui);

    // Post-processing.
    void FilterDocument(int rollingPoints, int passes);
    void AverageSpectraWithPrevious(const ScanProperties& previous, int k);

    // The sensor scaling of an input by its sensor type (vibration and
    // magnetic multiply, microphone divides; 1.0 for other types).
    double inputScale(int input) const;

private:
    std::vector<DocumentView*> views_;
    std::filesystem::path path_;
    bool modified_ = false;
    std::string lastError_;
};
