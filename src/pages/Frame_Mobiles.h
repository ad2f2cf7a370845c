#pragma once
#include <map>

#include "pages/ImageFrame.h"
#include "ui/Stringgridtools.h"

class QLabel;

namespace Ui {
class TMobilesFrame;
}

// The "Абоненты" page: the module's five subscriber numbers and, for each, the five rights that
// decide which calls and SMS the module sends to it. The grid is the page's working copy: row
// k + 1 is slot k, a number with five "1"/"0" cells, or six "-" cells when the slot is empty.
class TMobilesFrame : public TImageFrame {
    Q_OBJECT
public:
    TMobilesFrame(QWidget* owner, THeldModule& held);
    ~TMobilesFrame() override;

public slots:
    void sbAddClick();
    void sbEditClick();
    void sbDeleteClick();

protected:
    QString CellText(const TImageField& field) const override;
    void SetCellText(const TImageField& field, const QString& text) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // False for a cancelled dialog, or after telling the operator the number cannot be stored.
    bool AcceptNumber(const QString& number);
    void sgMobilesDblClick(int row, int col);
    void sgMobilesDrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state);
    bool IsEmptySlot(int row) const;
    int SlotRow(const TImageField& field) const;
    QLabel* Title(int col) const;
    // The narrowest grid whose rights columns all lie past the ends of their titles.
    int LeastGridWidth() const;
    // Joins each rights title to its column; the columns move whenever the grid is resized.
    void PaintTitleLines();
    const TImageList& Pictures(qreal ratio) const;

    Ui::TMobilesFrame* ui;
    QWidget* FGridViewport = nullptr;
    TColWidths FWidths;
    mutable std::map<qreal, TImageList> FPictures;  // per device pixel ratio met, so they stay sharp
};
