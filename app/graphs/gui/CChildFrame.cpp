#include "app/graphs/gui/CChildFrame.h"

#include "app/graphs/gui/CCorvelView.h"
#include "app/graphs/gui/CImageSizeDlg.h"
#include "app/graphs/gui/CInputGroupDlg.h"
#include "app/graphs/gui/QcpChartControl.h"

#include <QSplitter>
#include <QVBoxLayout>

CChildFrame::CChildFrame(QWidget* parent) : QWidget(parent)
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

bool CChildFrame::printGraph()
{
    CCorvelView* view = chosenView();
    return view && view->chart().print();
}

bool CChildFrame::exportGraphics()
{
    CCorvelView* view = chosenView();
    return view && view->chart().exportWithDialog();
}

bool CChildFrame::copyGraphics()
{
    CCorvelView* view = chosenView();
    if (!view) return false;
    int height = 0, width = 0;
    if (!sizeChooser_ || !sizeChooser_(&height, &width)) return false;
    return view->chart().copyImage(height, width);
}
