#pragma once

#include "app/acquisition/ScanProperties.h"

#include <QDialog>

class QListWidget;

// "Properties": how the active document's scan was taken, as a list of lines.
class CPropertiesDlg : public QDialog
{
    Q_OBJECT

public:
    // Takes its own copy of the scan (under the scan data lock).
    explicit CPropertiesDlg(const ScanProperties& scan, QWidget* parent = nullptr);
    QStringList lines() const;

    QListWidget* list = nullptr;

private:
    ScanProperties copy_;
};
