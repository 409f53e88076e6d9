#pragma once

#include "app/acquisition/ScanProperties.h"

#include <QDialog>
#include <QStringList>

class QListWidget;

// "Properties": how the active document's scan was taken, as a list of lines.
class CPropertiesDlg : public QDialog
{
    Q_OBJECT

public:
    // Takes its own copy of the scan (under the scan data lock). `results`
    // are lines shown after the scan's own (the time test's excursions).
    explicit CPropertiesDlg(const ScanProperties& scan, QWidget* parent = nullptr,
                            const QStringList& results = {});
    QStringList lines() const;

    QListWidget* list = nullptr;

private:
    ScanProperties copy_;
};
