#pragma once

#include "app/graphs/GraphTables.h"

#include <QDialog>

#include <vector>

class QListWidget;

// Asks which graph a print, export or copy is for.
class CInputGroupDlg : public QDialog
{
    Q_OBJECT

public:
    CInputGroupDlg(bool useInput1, bool useInput2, QWidget* parent = nullptr);

    // The pane of the selected entry (GraphTables::PaneKind), or -1.
    int chosenPane() const;
    int entryCount() const;
    QString entryText(int row) const;
    void selectRow(int row);

    // Runs the dialog; -1 when cancelled or when no input is in use.
    static int choose(QWidget* parent, bool useInput1, bool useInput2);

private:
    std::vector<GraphTables::GraphChoice> choices_;
    QListWidget* list_ = nullptr;
};
