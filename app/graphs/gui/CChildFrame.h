#pragma once

#include "app/graphs/GraphTables.h"

#include <QWidget>

#include <array>
#include <functional>

class CCorvelView;
class QSplitter;

// A scan window: two rows, each split into a time graph and a spectrum.
class CChildFrame : public QWidget
{
    Q_OBJECT

public:
    explicit CChildFrame(QWidget* parent = nullptr);

    CCorvelView* view(int kind) const { return views_[static_cast<std::size_t>(kind)]; }
    bool isPaneShown(int kind) const { return shown_[static_cast<std::size_t>(kind)]; }
    void showPane(int kind, bool shown);
    void togglePane(int kind);
    // Shows exactly the panes asked for, toggling them in the documented order.
    void applyPaneLayout(const std::array<bool, GraphTables::paneCount>& wanted);

    // The inputs in use decide what the graph chooser offers.
    void setInputsInUse(bool useInput1, bool useInput2);
    // Which graph a command is for: the chooser dialog unless replaced (tests).
    using GraphChooser = std::function<int(bool useInput1, bool useInput2)>;
    void setGraphChooser(GraphChooser chooser) { chooser_ = std::move(chooser); }
    using SizeChooser = std::function<bool(int* height, int* width)>;
    void setImageSizeChooser(SizeChooser chooser) { sizeChooser_ = std::move(chooser); }

    // "&Print...", Export "Graphics" and Copy "Graphics" on the chosen graph.
    bool printGraph();
    bool exportGraphics();
    bool copyGraphics();

    QSplitter* outerSplitter() const { return outer_; }
    QSplitter* rowSplitter(int row) const { return rows_[static_cast<std::size_t>(row)]; }

signals:
    void readoutsChanged(const QString& x, const QString& y);
    void readoutsCleared();
    void panesChanged();

protected:
    void showEvent(QShowEvent* event) override;

private:
    CCorvelView* chosenView();
    void updateRows();

    QSplitter* outer_ = nullptr;
    std::array<QSplitter*, 2> rows_{};
    std::array<CCorvelView*, GraphTables::paneCount> views_{};
    std::array<bool, GraphTables::paneCount> shown_{true, true, true, true};
    bool useInput1_ = true;
    bool useInput2_ = true;
    GraphChooser chooser_;
    SizeChooser sizeChooser_;
};
