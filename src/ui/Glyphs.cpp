#include "ui/Glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QToolButton>

namespace {

constexpr int kGlyphSize = 16;

const QColor kOutline(40, 40, 40);
const QColor kGreen(30, 150, 40);
const QColor kRed(200, 30, 30);
const QColor kBlue(30, 90, 200);
const QColor kGold(220, 170, 30);

QPen Stroke(const QColor& color, qreal width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawArrow(QPainter& p, QPointF from, QPointF to, const QColor& color)
{
    p.setPen(Stroke(color, 2.2));
    p.drawLine(from, to);
    const QPointF d = to - from;
    const qreal len = std::hypot(d.x(), d.y());
    const QPointF u = d / len;
    const QPointF n(-u.y(), u.x());
    QPolygonF head;
    head << to + u * 1.5 << to - u * 3.5 + n * 3.5 << to - u * 3.5 - n * 3.5;
    p.setPen(Stroke(color, 1.0));
    p.setBrush(color);
    p.drawPolygon(head);
}

void DrawTray(QPainter& p)
{
    p.setPen(Stroke(kOutline, 1.4));
    p.setBrush(Qt::NoBrush);
    QPainterPath tray;
    tray.moveTo(2, 10);
    tray.lineTo(2, 14);
    tray.lineTo(14, 14);
    tray.lineTo(14, 10);
    p.drawPath(tray);
}

void DrawLines(QPainter& p, const QColor& color, qreal width, std::initializer_list<QLineF> lines)
{
    p.setPen(Stroke(color, width));
    for (const QLineF& line : lines)
        p.drawLine(line);
}

// A round lamp lit from its upper left.
void DrawLamp(QPainter& p, const QColor& centre, const QColor& edge, const QColor& rim)
{
    QRadialGradient light(QPointF(6.5, 6.5), 7);
    light.setColorAt(0, centre);
    light.setColorAt(1, edge);
    p.setPen(Stroke(rim, 1.0));
    p.setBrush(light);
    p.drawEllipse(QRectF(2, 2, 12, 12));
}

void Paint(QPainter& p, TGlyph glyph)
{
    switch (glyph) {
    case TGlyph::Ok:
        p.setPen(Stroke(kGreen, 2.6));
        p.drawPolyline(QPolygonF({{2.5, 8.5}, {6.5, 12.5}, {13.5, 3.5}}));
        break;
    case TGlyph::Cancel:
        DrawLines(p, kRed, 2.6, {{3.5, 3.5, 12.5, 12.5}, {12.5, 3.5, 3.5, 12.5}});
        break;
    case TGlyph::Ping:
        DrawArrow(p, {1.5, 5}, {12, 5}, kGreen);
        DrawArrow(p, {14.5, 11}, {4, 11}, kBlue);
        break;
    case TGlyph::Read:
        DrawTray(p);
        DrawArrow(p, {8, 1.5}, {8, 9}, kBlue);
        break;
    case TGlyph::Write:
        DrawTray(p);
        DrawArrow(p, {8, 11}, {8, 3}, kRed);
        break;
    case TGlyph::Reset: {
        p.setPen(Stroke(kBlue, 2.0));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(3, 3, 10, 10), 100 * 16, 290 * 16);
        QPolygonF head;
        head << QPointF(6.2, 0.8) << QPointF(10.2, 3.2) << QPointF(6.0, 5.6);
        p.setPen(Stroke(kBlue, 1.0));
        p.setBrush(kBlue);
        p.drawPolygon(head);
        break;
    }
    case TGlyph::Clear: {
        // An eraser lying at an angle over a line it has wiped.
        p.setPen(Stroke(QColor(120, 120, 120), 1.2));
        p.drawLine(QPointF(1.5, 14.5), QPointF(14.5, 14.5));
        QPolygonF body({{2, 10}, {8, 3}, {14, 8}, {8, 14}});
        p.setPen(Stroke(kOutline, 1.0));
        p.setBrush(QColor(240, 140, 160));
        p.drawPolygon(body);
        p.setBrush(QColor(90, 140, 220));
        p.drawPolygon(QPolygonF({{2, 10}, {5, 6.5}, {11, 11.5}, {8, 14}}));
        break;
    }
    case TGlyph::Save:
        p.setPen(Stroke(kOutline, 1.0));
        p.setBrush(kBlue);
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.2, 1.2);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4, 1.5, 8, 5));
        p.setBrush(QColor(210, 210, 210));
        p.drawRect(QRectF(3.5, 9, 9, 5.5));
        p.setPen(Qt::NoPen);
        p.setBrush(kBlue);
        p.drawRect(QRectF(9, 2.5, 2, 3));
        break;
    case TGlyph::Add:
        DrawLines(p, kGreen, 3.0, {{8, 2.5, 8, 13.5}, {2.5, 8, 13.5, 8}});
        break;
    case TGlyph::Delete:
        DrawLines(p, kRed, 3.0, {{2.5, 8, 13.5, 8}});
        break;
    case TGlyph::Edit: {
        // A pencil pointing to the lower left.
        p.setPen(Stroke(kOutline, 1.0));
        p.setBrush(kGold);
        p.drawPolygon(QPolygonF({{4, 10}, {11, 3}, {13, 5}, {6, 12}}));
        p.setBrush(QColor(240, 150, 150));
        p.drawPolygon(QPolygonF({{11, 3}, {12.5, 1.5}, {14.5, 3.5}, {13, 5}}));
        p.setBrush(QColor(245, 225, 190));
        p.drawPolygon(QPolygonF({{4, 10}, {6, 12}, {2, 14}}));
        break;
    }
    case TGlyph::Key:
        p.setPen(Stroke(kOutline, 1.0));
        p.setBrush(kGold);
        p.drawEllipse(QRectF(1.5, 4.5, 7, 7));
        p.drawRect(QRectF(8, 7, 6.5, 2));
        p.drawRect(QRectF(11, 9, 1.5, 2.5));
        p.drawRect(QRectF(13, 9, 1.5, 3));
        p.setBrush(Qt::white);
        p.drawEllipse(QRectF(3.5, 6.5, 3, 3));
        break;
    case TGlyph::On:
        DrawLamp(p, QColor(180, 255, 160), QColor(20, 170, 30), QColor(10, 90, 20));
        break;
    case TGlyph::Off:
        DrawLamp(p, QColor(230, 230, 230), QColor(120, 120, 120), QColor(70, 70, 70));
        break;
    case TGlyph::Pulse:
        p.setPen(Stroke(kBlue, 1.8));
        p.drawPolyline(QPolygonF({{1, 12.5}, {5, 12.5}, {5, 3.5}, {11, 3.5}, {11, 12.5}, {15, 12.5}}));
        break;
    case TGlyph::Open:
        p.setPen(Stroke(QColor(150, 110, 20), 1.0));
        p.setBrush(QColor(240, 200, 90));
        p.drawPolygon(QPolygonF({{1.5, 3.5}, {6, 3.5}, {7.5, 5}, {13.5, 5}, {13.5, 13.5}, {1.5, 13.5}}));
        p.setBrush(QColor(255, 225, 130));
        p.drawPolygon(QPolygonF({{1.5, 13.5}, {4, 7.5}, {15, 7.5}, {13.5, 13.5}}));
        break;
    }
}

QPixmap Render(TGlyph glyph, qreal scale)
{
    return DrawPixmap(qRound(kGlyphSize * scale), scale, [glyph](QPainter& p) { Paint(p, glyph); });
}

} // namespace

QPixmap DrawPixmap(int side, qreal ratio, const std::function<void(QPainter&)>& paint)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(ratio, ratio);
    paint(p);
    p.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

QIcon MakeGlyph(TGlyph glyph)
{
    QIcon icon;
    icon.addPixmap(Render(glyph, 1.0));
    icon.addPixmap(Render(glyph, 2.0));
    return icon;
}

void SetupSpeedButton(QToolButton* button, TGlyph glyph)
{
    if (!button)
        return;
    button->setIcon(MakeGlyph(glyph));
    button->setIconSize(QSize(kGlyphSize, kGlyphSize));
    button->setAutoRaise(true);
    // A button with no caption keeps its glyph's own width, not room for a text it lacks.
    button->setToolButtonStyle(button->text().isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextBesideIcon);
    button->setFocusPolicy(Qt::TabFocus);
}
