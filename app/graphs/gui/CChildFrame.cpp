#include "app/graphs/gui/CChildFrame.h"

#include "app/acquisition/CCorvelDoc.h"
#include "app/graphs/GraphSettingsStore.h"
#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/CImageSizeDlg.h"
#include "app/graphs/gui/CInputGroupDlg.h"
#include "app/graphs/gui/QcpChartControl.h"

#include "app/settings/ScanConfigurationStore.h"
#include "app/specification/ExcursionReport.h"
#include "app/specification/SpecificationTest.h"
#include "driver/Torvane.h"

#include <QSplitter>
#include <QVBoxLayout>

// Added to the document before and after the four views.
class CChildFrame::UpdateHook : public DocumentView
{
public:
    UpdateHook(CChildFrame& frame, bool last) : frame_(frame), last_(last) {}
    void onDocumentUpdate(CCorvelDoc&) override
    {
        frame_.scanningThisUpdate_.reset();
        if (last_) frame_.refreshPassFail();
    }
    bool isGraphView() const override { return false; }

private:
    CChildFrame& frame_;
    bool last_;
};

CChildFrame::CChildFrame(QWidget* parent)
    : QWidget(parent), updateStart_(std::make_unique<UpdateHook>(*this, false)),
      updateEnd_(std::make_unique<UpdateHook>(*this, true)), scanningQuery_([] { return IsScanning(); })
{
    outer_ = new QSplitter(Qt::Vertical, this);
    outer_->setChildrenCollapsible(true);
    for (int row = 0; row < 2; ++row) {
        rows_[static_cast<std::size_t>(row)] = new QSplitter(Qt::Horizontal, outer_);
        outer_->addWidget(rows_[static_cast<std::size_t>(row)]);
    }
    for (int kind = 0; kind < GraphTables::paneCount; ++kind) {
        auto* view = new CCorvelView(kind);
        views_[static_cast<std::size_t>(kind)] = view;
        rows_[static_cast<std::size_t>(kind / 2)]->addWidget(view);
        connect(view, &CCorvelView::readoutsChanged, this, &CChildFrame::readoutsChanged);
        connect(view, &CCorvelView::readoutsCleared, this, &CChildFrame::readoutsCleared);
        connect(view, &CCorvelView::cursorGraphChanged, this, &CChildFrame::cursorGraphChanged);
        connect(view, &CCorvelView::propertiesRequested, this, &CChildFrame::saveGraphProperties);
        view->setScanningQuery([this] {
            if (!scanningThisUpdate_) scanningThisUpdate_ = scanningQuery_ ? scanningQuery_() : false;
            return *scanningThisUpdate_;
        });
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(outer_);

    chooser_ = [this](bool use1, bool use2) { return CInputGroupDlg::choose(this, use1, use2); };
    sizeChooser_ = [this](int* height, int* width) {
        CImageSizeDlg dialog(this);
        if (dialog.exec() != QDialog::Accepted) return false;
        *height = dialog.imageHeight();
        *width = dialog.imageWidth();
        return true;
    };
}

void CChildFrame::showEvent(QShowEvent* event)
{
    // Both rows start with half the height, both panes of a row with half the width.
    const int h = std::max(2, outer_->height());
    outer_->setSizes({h / 2, h - h / 2});
    for (QSplitter* row : rows_) {
        const int w = std::max(2, row->width());
        row->setSizes({w / 2, w - w / 2});
    }
    QWidget::showEvent(event);
}

void CChildFrame::showPane(int kind, bool shown)
{
    if (kind < 0 || kind >= GraphTables::paneCount || shown_[static_cast<std::size_t>(kind)] == shown) return;
    shown_[static_cast<std::size_t>(kind)] = shown;
    views_[static_cast<std::size_t>(kind)]->setVisible(shown);
    updateRows();
    emit panesChanged();
}

void CChildFrame::togglePane(int kind)
{
    if (kind >= 0 && kind < GraphTables::paneCount) showPane(kind, !shown_[static_cast<std::size_t>(kind)]);
}

void CChildFrame::applyPaneLayout(const std::array<bool, GraphTables::paneCount>& wanted)
{
    for (int kind : GraphTables::paneToggleOrder)
        if (shown_[static_cast<std::size_t>(kind)] != wanted[static_cast<std::size_t>(kind)])
            togglePane(kind);
}

void CChildFrame::updateRows()
{
    // A row with no pane left collapses so the other row takes the whole height.
    for (int row = 0; row < 2; ++row)
        rows_[static_cast<std::size_t>(row)]->setVisible(shown_[static_cast<std::size_t>(2 * row)] ||
                                                         shown_[static_cast<std::size_t>(2 * row + 1)]);
}

void CChildFrame::setInputsInUse(bool useInput1, bool useInput2)
{
    useInput1_ = useInput1;
    useInput2_ = useInput2;
}

CCorvelView* CChildFrame::chosenView()
{
    const int kind = chooser_ ? chooser_(useInput1_, useInput2_) : -1;
    return kind >= 0 && kind < GraphTables::paneCount ? views_[static_cast<std::size_t>(kind)] : nullptr;
}

std::string CChildFrame::suggestedFileName() const
{
    // Beside the scan's file, or in the data folder under the window's name.
    namespace fs = std::filesystem;
    fs::path folder;
    std::string name = windowTitle().remove(QLatin1Char('*')).toStdString();
    if (document_ && !document_->pathName().empty()) {
        folder = document_->pathName().parent_path();
        name = document_->pathName().stem().string();
    } else if (document_) {
        folder = document_->settings.FilePath;
    }
    if (name.empty()) name = "graph";
    return (folder / name).string();
}

bool CChildFrame::printGraph()
{
    CCorvelView* view = chosenView();
    if (!view) return false;
    view->chart().setSuggestedFileName(suggestedFileName());
    return view->chart().print();
}

bool CChildFrame::exportGraphics()
{
    CCorvelView* view = chosenView();
    if (!view) return false;
    view->chart().setSuggestedFileName(suggestedFileName());
    return view->chart().exportWithDialog();
}

bool CChildFrame::copyGraphics()
{
    CCorvelView* view = chosenView();
    if (!view) return false;
    int height = 0, width = 0;
    if (!sizeChooser_ || !sizeChooser_(&height, &width)) return false;
    return view->chart().copyImage(height, width);
}

CChildFrame::~CChildFrame()
{
    attachDocument(nullptr);
}

void CChildFrame::attachDocument(CCorvelDoc* document)
{
    if (document_) {
        for (CCorvelView* view : views_) {
            document_->removeView(view);
            view->setDocument(nullptr);
        }
        document_->removeView(updateStart_.get());
        document_->removeView(updateEnd_.get());
    }
    document_ = document;
    if (!document_) {
        passFailText_.clear();
        passed_ = true;
        return;
    }
    document_->addView(updateStart_.get());
    for (CCorvelView* view : views_) {
        document_->addView(view);
        view->setDocument(document_);
    }
    document_->addView(updateEnd_.get());
    const CScanConfiguration& c = document_->scan.configuration;
    setInputsInUse(c.UseInput1 != 0, c.UseInput2 != 0);
    refreshPassFail();
}

std::filesystem::path CChildFrame::graphSettingsMarker()
{
    // Opened by its bare name: it lives in the working folder.
    return std::filesystem::path(GraphSettingsStore::markerFileName);
}

DefaultSettings& CChildFrame::storedDefaults()
{
    return storedDefaults_ ? *storedDefaults_ : ScanConfigurationStore::instance().defaultSettings();
}

void CChildFrame::copyBottomTitle(int kind, DefaultSettings& defaults) const
{
    const std::string title = views_[static_cast<std::size_t>(kind)]->chart().title();
    // A graph that never had a title must not wipe the one in the defaults.
    if (title.empty() || !document_) return;
    const CScanConfiguration& c = document_->scan.configuration;
    // Back into the setting the title was taken from.
    const bool differential =
        GraphTables::usesDifferentialTitles(c.DiffGrad != 0, c.UseInput1 != 0, c.Input1Mode, c.Input2Mode);
    if (kind == GraphTables::BottomTime)
        (differential ? defaults.Input2TDifGradTitle : defaults.Input2TTitle) = title;
    else if (kind == GraphTables::BottomFrequency)
        (differential ? defaults.Input2FDifGradTitle : defaults.Input2FTitle) = title;
}

void CChildFrame::applyConfiguredPanes(const CScanConfiguration& c)
{
    applyPaneLayout(GraphTables::panesForConfiguration(c.UseInput1 != 0, c.Input1DisplayType,
                                                       c.UseInput2 != 0, c.Input2DisplayType));
    setInputsInUse(c.UseInput1 != 0, c.UseInput2 != 0);
}

void CChildFrame::prepareScanViews()
{
    if (!document_) return;
    const CScanConfiguration& c = document_->scan.configuration;
    applyConfiguredPanes(c);
    for (CCorvelView* view : views_) {
        view->setUpForData(c.NoOfSamples);
        view->setTitles(*document_);
    }
    std::array<GraphSettingsStore::Graph*, 4> graphs{};
    for (int kind = 0; kind < GraphTables::paneCount; ++kind)
        graphs[static_cast<std::size_t>(kind)] = &views_[static_cast<std::size_t>(kind)]->persistedGraph();
    GraphSettingsStore::loadAll(graphs, graphSettingsMarker(), [this](int kind, GraphSettingsStore::Graph&) {
        copyBottomTitle(kind, storedDefaults());
    });
}

void CChildFrame::showLoadedDocument()
{
    if (!document_) return;
    applyConfiguredPanes(document_->scan.configuration);
    int points = 0;
    for (int input = 0; input < 2; ++input)
        points = std::max(points, document_->scan.input(input).samplesAcquired);
    for (CCorvelView* view : views_)
        view->loadGraph(points);
    for (CCorvelView* view : views_)
        view->onDocumentUpdate(*document_);
    refreshPassFail();
}

QStringList CChildFrame::excursionLines() const
{
    QStringList lines;
    if (!document_) return lines;
    // The document's verdict, in the unit its time graph shows.
    const int timeGraphs[2] = {GraphTables::TopTime, GraphTables::BottomTime};
    for (int input = 0; input < 2; ++input) {
        const std::string unit = UnitOfAxisTitle(views_[timeGraphs[input]]->chart().yAxisTitle());
        const std::string line = ExcursionSummary(input, document_->specificationVerdict.time[input], unit);
        if (!line.empty()) lines << QString::fromStdString(line);
    }
    return lines;
}

void CChildFrame::refreshPassFail()
{
    if (!document_) return;
    const SpecificationDisplay display =
        SpecificationResultDisplay(document_->scan.configuration.Specification);
    passFailText_ = QString::fromStdString(display.text());
    passed_ = display.passed;
    emit passFailChanged(passFailText_, passed_);
}

void CChildFrame::saveGraphProperties()
{
    if (!document_) return;
    for (DefaultSettings* defaults : {&document_->settings, &storedDefaults()}) {
        const std::string top[2] = {views_[GraphTables::TopTime]->chart().title(),
                                    views_[GraphTables::TopFrequency]->chart().title()};
        if (!top[0].empty()) defaults->Input1TTitle = top[0];
        if (!top[1].empty()) defaults->Input1FTitle = top[1];
        copyBottomTitle(GraphTables::BottomTime, *defaults);
        copyBottomTitle(GraphTables::BottomFrequency, *defaults);
    }
    std::array<GraphSettingsStore::Graph*, 4> graphs{};
    for (int kind = 0; kind < GraphTables::paneCount; ++kind)
        graphs[static_cast<std::size_t>(kind)] = &views_[static_cast<std::size_t>(kind)]->persistedGraph();
    GraphSettingsStore::saveAll(graphs, graphSettingsMarker(), [this](int kind, GraphSettingsStore::Graph&) {
        copyBottomTitle(kind, storedDefaults());
    });
    emit readoutsCleared();
}
