#pragma once

#include <QDialog>

#include <functional>

class QListWidget;

// "Data Set": which input group a data export or copy is for.
class CDataSetDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CDataSetDlg(QWidget* parent = nullptr);
    // 0 for "Input 1", 1 for "Input 2".
    int chosenInput() const;

    // The input to use: the only one in use, or the user's choice when both
    // are (-1 when cancelled or when none is in use).
    using Chooser = std::function<int(bool useInput1, bool useInput2)>;
    static int choose(bool useInput1, bool useInput2, QWidget* parent);

    QListWidget* list = nullptr;
};
