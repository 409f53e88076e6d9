#pragma once

#include <QDialog>

class QLineEdit;

// "Image Size": height and width of a copied graph image, each 0 to 10000.
class CImageSizeDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int minimumSide = 0;
    static constexpr int maximumSide = 10000;

    explicit CImageSizeDlg(QWidget* parent = nullptr);

    int imageHeight() const { return height_; }
    int imageWidth() const { return width_; }
    QLineEdit* heightEdit() const { return heightEdit_; }
    QLineEdit* widthEdit() const { return widthEdit_; }

    // Reads both fields; on a bad one tells the user, focuses it and returns false.
    bool validate();
    void accept() override;

private:
    QLineEdit* heightEdit_ = nullptr;
    QLineEdit* widthEdit_ = nullptr;
    int height_ = 400;
    int width_ = 600;
};
