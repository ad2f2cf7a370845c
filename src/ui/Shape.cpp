#include "ui/Shape.h"

#include <QPainter>

TShape::TShape(QWidget* parent) : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void TShape::SetBrushColor(TColor color)
{
    if (FBrushColor == color)
        return;
    FBrushColor = color;
    update();
}

void TShape::SetPenColor(TColor color)
{
    if (FPenColor == color)
        return;
    FPenColor = color;
    update();
}

void TShape::SetPenWidth(int width)
{
    FPenWidth = std::max(0, width);
    update();
}

void TShape::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = rect();
    if (FPenWidth > 0)
        p.fillRect(r, ToQColor(FPenColor));
    const QRect inner = r.adjusted(FPenWidth, FPenWidth, -FPenWidth, -FPenWidth);
    if (inner.isValid())
        p.fillRect(inner, ToQColor(FBrushColor));
}
