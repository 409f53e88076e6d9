#pragma once

#include "app/graphs/GraphTables.h"

#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

class CCorvelDoc;
class CCorvelView;
class CScanConfiguration;
class QSplitter;
struct DefaultSettings;

// A scan window: two rows, each split into a time graph and a spectrum.
class CChildFrame : public QWidget
{
    Q_OBJECT

public:
    explicit CChildFrame(QWidget* parent = nullptr);
    ~CChildFrame() override;

    // Adds the four views to the document (kind order 0..3) and takes the
    // inputs in use from it; null detaches. The document must outlive the
    // attachment: detach before deleting it.
    void attachDocument(CCorvelDoc* document);
    CCorvelDoc* document() const { return document_; }
    // Scan start: the panes the configuration asks for, the four graphs set up
    // for its number of samples (spectra hidden until data) and the graph
    // settings loaded (or written on a first start).
    void prepareScanViews();
    // A document opened from a file: pane layout, graphs set up with their
    // settings, and a full redraw.
    void showLoadedDocument();
    // The pass/fail result after the document's last update; empty without a document.
    QString passFailText() const { return passFailText_; }
    // The time graphs' worst excursions with their limits and margins, one line
    // per input whose time test ran ("Input 1: worst excursion 0.62 ug (x), …").
    QStringList excursionLines() const;
    bool passed() const { return passed_; }

    // "Properties...": the graph titles go into the document's and the stored
    // defaults' titles, every graph's settings are saved, the readouts cleared.
    void saveGraphProperties();
    // The marker file of the graph settings, in the working folder.
    static std::filesystem::path graphSettingsMarker();
    // The defaults that "Properties..." and the settings save update; the
    // application's store unless replaced (tests).
    void setStoredDefaults(DefaultSettings* defaults) { storedDefaults_ = defaults; }
    // Whether the driver is scanning, for every time graph (tests replace it).
    // Asked at most once per document update: in continuous mode the answer takes a while.
    void setScanningQuery(std::function<bool()> query) { scanningQuery_ = std::move(query); }

    CCorvelView* view(int kind) const { return views_[static_cast<std::size_t>(kind)]; }
    bool isPaneShown(int kind) const { return shown_[static_cast<std::size_t>(kind)]; }
    void showPane(int kind, bool shown);
    void togglePane(int kind);
    // Shows exactly the panes asked for, toggling them in the documented order.
    void applyPaneLayout(const std::array<bool, GraphTables::paneCount>& wanted);

    // The inputs in use decide what the graph chooser offers.
    void setInputsInUse(bool useInput1, bool useInput2);
    // Panes and graph chooser as a scan's configuration asks.
    void applyConfiguredPanes(const CScanConfiguration& c);
    // Which graph a command is for: the chooser dialog unless replaced (tests).
    using GraphChooser = std::function<int(bool useInput1, bool useInput2)>;
    void setGraphChooser(GraphChooser chooser) { chooser_ = std::move(chooser); }
    using SizeChooser = std::function<bool(int* height, int* width)>;
    void setImageSizeChooser(SizeChooser chooser) { sizeChooser_ = std::move(chooser); }

    // "&Print...", Export "Graphics" and Copy "Graphics" on the chosen graph.
    bool printGraph();
    bool exportGraphics();
    // Where the print and export dialogs start: the scan's folder and name (no extension).
    std::string suggestedFileName() const;
    bool copyGraphics();

    QSplitter* outerSplitter() const { return outer_; }
    QSplitter* rowSplitter(int row) const { return rows_[static_cast<std::size_t>(row)]; }

signals:
    void readoutsChanged(const QString& x, const QString& y);
    void readoutsCleared();
    // The name of the graph under the cursor ("Top Time" …).
    void cursorGraphChanged(const QString& graphName);
    void panesChanged();
    // After each update of the attached document.
    void passFailChanged(const QString& text, bool passed);

protected:
    void showEvent(QShowEvent* event) override;

private:
    class UpdateHook;
    CCorvelView* chosenView();
    void refreshPassFail();
    DefaultSettings& storedDefaults();
    void copyBottomTitle(int kind, DefaultSettings& defaults) const;
    void updateRows();

    QSplitter* outer_ = nullptr;
    std::array<QSplitter*, 2> rows_{};
    std::array<CCorvelView*, GraphTables::paneCount> views_{};
    std::array<bool, GraphTables::paneCount> shown_{true, true, true, true};
    bool useInput1_ = true;
    bool useInput2_ = true;
    GraphChooser chooser_;
    SizeChooser sizeChooser_;
    CCorvelDoc* document_ = nullptr;
    // Around the four views in the document's list: the first starts an update, the last ends it.
    std::unique_ptr<UpdateHook> updateStart_;
    std::unique_ptr<UpdateHook> updateEnd_;
    std::function<bool()> scanningQuery_;
    std::optional<bool> scanningThisUpdate_;
    QString passFailText_;
    bool passed_ = true;
    DefaultSettings* storedDefaults_ = nullptr;
};
