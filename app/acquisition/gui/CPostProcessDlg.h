#pragma once

#include "app/acquisition/gui/PostProcessCommand.h"

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLineEdit;
class QSpinBox;

// "Post Processing": the low-pass filter, spectrum averaging and which
// results stay open.
class CPostProcessDlg : public QDialog
{
    Q_OBJECT

public:
    explicit CPostProcessDlg(const PostProcessOptions& options, QWidget* parent = nullptr);
    PostProcessOptions options() const;
    // Shows the dialog modally over `options`; false when cancelled.
    static bool ask(PostProcessOptions& options, QWidget* parent);

    QButtonGroup* filter = nullptr;
    QSpinBox* rollingPoints = nullptr;
    QSpinBox* filterPasses = nullptr;
    QLineEdit* cutOff = nullptr;
    QCheckBox* averageSpectra = nullptr;
    QCheckBox* finalOnly = nullptr;

private:
    void refresh();

    double sampleInterval_;
};
