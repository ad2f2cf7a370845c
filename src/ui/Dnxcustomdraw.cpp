#include "ui/Dnxcustomdraw.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRect>

int DrawCellText(QPainter& canvas, const QString& text, const QRect& rect, int alignment)
{
    canvas.fillRect(rect, canvas.brush());
    if (text.isEmpty())
        return 0;
    const QFontMetrics fm(canvas.font());
    const int w = fm.horizontalAdvance(text);
    const int h = fm.height();
    int dx = 0;
    switch (alignment) {
    case taLeftIndent: dx = 2; break;
    case taRightIndent: dx = rect.width() - w - 2; break;
    case taCentre: dx = (rect.width() - w) / 2; break;
    default: dx = 0; break;
    }
    const int dy = (rect.height() - h) / 2;
    canvas.save();
    canvas.setClipRect(rect, Qt::IntersectClip);
    canvas.drawText(QPoint(rect.left() + dx, rect.top() + dy + fm.ascent()), text);
    canvas.restore();
    return w;
}
