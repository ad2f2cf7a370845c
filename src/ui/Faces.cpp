#include "ui/Faces.h"

#include "ui/Glyphs.h"

#include <QPainter>
#include <QPainterPath>

namespace {

const QColor kInk(45, 35, 25);
const QColor kSkin(250, 205, 60);
const QColor kSkinDark(225, 150, 20);
const QColor kHand(255, 215, 120);

QPen Ink(qreal width)
{
    return QPen(kInk, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void DrawHead(QPainter& p, const QRectF& r, const QColor& light, const QColor& dark)
{
    QRadialGradient g(r.left() + r.width() * 0.38, r.top() + r.height() * 0.32, r.width() * 0.7);
    g.setColorAt(0, light.lighter(125));
    g.setColorAt(0.6, light);
    g.setColorAt(1, dark);
    p.setPen(Ink(1.6));
    p.setBrush(g);
    p.drawEllipse(r);
}

struct TDot {
    QPointF Centre;
    qreal Rx;
    qreal Ry;
};

void InkDots(QPainter& p, std::initializer_list<TDot> dots)
{
    p.setPen(Qt::NoPen);
    p.setBrush(kInk);
    for (const TDot& dot : dots)
        p.drawEllipse(dot.Centre, dot.Rx, dot.Ry);
}

void DotEyes(QPainter& p, qreal y, qreal lx = 23, qreal rx = 37)
{
    InkDots(p, {{{lx, y}, 2.6, 3.6}, {{rx, y}, 2.6, 3.6}});
}

// An unfilled arc of the ellipse in `r`, `spanDegrees` wide around `middleDegrees`
// (0 at three o'clock, counter-clockwise).
void InkArc(QPainter& p, qreal width, const QRectF& r, int middleDegrees, int spanDegrees)
{
    p.setPen(Ink(width));
    p.setBrush(Qt::NoBrush);
    p.drawArc(r, (middleDegrees - spanDegrees / 2) * 16, spanDegrees * 16);
}

void Smile(QPainter& p, const QRectF& r, int spanDegrees = 140)
{
    InkArc(p, 2.4, r, 270, spanDegrees);
}

void Frown(QPainter& p, const QRectF& r)
{
    InkArc(p, 2.4, r, 90, 120);
}

// Two arches: raised brows, or eyes shut in a grin.
void Arches(QPainter& p, qreal width, const QRectF& left, const QRectF& right)
{
    InkArc(p, width, left, 90, 140);
    InkArc(p, width, right, 90, 140);
}

// A fist with the thumb up, its lower left corner at `origin`; drawn upside down for `down`.
void Thumb(QPainter& p, QPointF centre, bool down)
{
    p.save();
    p.translate(centre);
    if (down)
        p.rotate(180);
    p.setPen(Ink(1.4));
    p.setBrush(kHand);
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(-7.5, -15, 6.5, 11), 3, 3);
    p.drawPath(thumb);
    QPainterPath fist;
    fist.addRoundedRect(QRectF(-9, -6, 17, 14), 3.5, 3.5);
    p.drawPath(fist);
    p.setPen(Ink(1.0));
    for (int k = 0; k < 3; ++k)
        p.drawLine(QPointF(-1 + k * 0.2, -1.5 + k * 3.6), QPointF(7.5, -1.5 + k * 3.6));
    // Cuff.
    p.setPen(Ink(1.4));
    p.setBrush(QColor(70, 110, 200));
    p.drawRect(QRectF(-8, 8, 15, 4));
    p.restore();
}

void Fist(QPainter& p, QPointF centre)
{
    p.save();
    p.translate(centre);
    p.rotate(-15);
    p.setPen(Ink(1.4));
    p.setBrush(kHand);
    p.drawRoundedRect(QRectF(-8, -7, 16, 13), 4, 4);
    p.setPen(Ink(1.0));
    for (int k = -1; k <= 1; ++k)
        p.drawLine(QPointF(k * 4.2, -7), QPointF(k * 4.2, -2.5));
    p.drawLine(QPointF(-6, 1), QPointF(1, 1));
    p.restore();
    // Shaking strokes.
    p.setPen(Ink(1.3));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(centre.x() - 14, centre.y() - 14, 28, 28), 100 * 16, 50 * 16);
    p.drawArc(QRectF(centre.x() - 14, centre.y() - 14, 28, 28), 10 * 16, 50 * 16);
}

void Face0Smile(QPainter& p)
{
    DrawHead(p, QRectF(4, 4, 56, 56), kSkin, kSkinDark);
    DotEyes(p, 25);
    Smile(p, QRectF(17, 22, 30, 24));
}

void Face1Sceptical(QPainter& p)
{
    DrawHead(p, QRectF(4, 4, 56, 56), kSkin, kSkinDark);
    p.setPen(Ink(2.2));
    p.setBrush(Qt::NoBrush);
    QPainterPath brow;
    brow.moveTo(32, 17);
    brow.quadTo(38, 10, 45, 15);
    p.drawPath(brow);
    p.drawLine(QPointF(17, 22), QPointF(28, 22));
    InkDots(p, {{{23, 27}, 2.4, 2.4}, {{38.5, 25}, 2.8, 3.8}});
    p.setPen(Ink(2.4));
    QPainterPath mouth;
    mouth.moveTo(22, 44);
    mouth.cubicTo(28, 42, 36, 42, 43, 38);
    p.drawPath(mouth);
}

void Face2Angry(QPainter& p)
{
    DrawHead(p, QRectF(2, 4, 52, 52), QColor(235, 70, 50), QColor(165, 20, 15));
    p.setPen(Ink(2.6));
    p.drawLine(QPointF(13, 18), QPointF(25, 24));
    p.drawLine(QPointF(43, 18), QPointF(31, 24));
    InkDots(p, {{{20, 28}, 2.6, 2.6}, {{36, 28}, 2.6, 2.6}});
    // Clenched teeth.
    p.setPen(Ink(1.6));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(17, 38, 22, 8), 2, 2);
    p.drawLine(QPointF(17, 42), QPointF(39, 42));
    for (int k = 1; k < 4; ++k)
        p.drawLine(QPointF(17 + k * 5.5, 38), QPointF(17 + k * 5.5, 46));
    Fist(p, QPointF(52, 50));
}

void Face3Salute(QPainter& p)
{
    DrawHead(p, QRectF(2, 6, 54, 54), kSkin, kSkinDark);
    DotEyes(p, 28, 20, 35);
    // Open grin with teeth.
    p.setPen(Ink(1.6));
    p.setBrush(QColor(150, 30, 30));
    QPainterPath grin;
    grin.moveTo(14, 38);
    grin.quadTo(29, 58, 44, 38);
    grin.closeSubpath();
    p.drawPath(grin);
    p.setBrush(Qt::white);
    QPainterPath teeth;
    teeth.moveTo(15, 38.5);
    teeth.lineTo(43, 38.5);
    teeth.quadTo(42, 42, 40, 43);
    teeth.lineTo(18, 43);
    teeth.quadTo(16, 42, 15, 38.5);
    p.drawPath(teeth);
    // The forearm rises from the lower right; the flat hand touches the brow.
    p.setPen(Ink(1.4));
    p.setBrush(QColor(70, 110, 200));
    p.drawPolygon(QPolygonF({{52, 15}, {59, 13}, {63, 40}, {55, 42}}));
    p.save();
    p.translate(45, 15);
    p.rotate(-22);
    p.setPen(Ink(1.4));
    p.setBrush(kHand);
    p.drawRoundedRect(QRectF(-13, -5, 24, 10), 4.5, 4.5);
    p.setPen(Ink(0.9));
    p.drawLine(QPointF(-11, -1.6), QPointF(3, -1.6));
    p.drawLine(QPointF(-11, 1.8), QPointF(3, 1.8));
    p.restore();
}

void Face4Shocked(QPainter& p)
{
    DrawHead(p, QRectF(4, 4, 56, 56), kSkin, kSkinDark);
    Arches(p, 2.0, QRectF(15, 9, 14, 8), QRectF(35, 9, 14, 8));
    p.setPen(Ink(1.5));
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(22, 26), 6.5, 7.5);
    p.drawEllipse(QPointF(42, 26), 6.5, 7.5);
    InkDots(p, {{{22, 26}, 1.8, 1.8}, {{42, 26}, 1.8, 1.8}});
    p.setPen(Ink(1.8));
    p.setBrush(QColor(120, 25, 25));
    p.drawEllipse(QPointF(32, 46), 5.5, 7);
}

void Face5ThumbsDown(QPainter& p)
{
    DrawHead(p, QRectF(2, 2, 52, 52), kSkin, kSkinDark);
    p.setPen(Ink(2.2));
    p.drawLine(QPointF(13, 19), QPointF(23, 15));
    p.drawLine(QPointF(43, 19), QPointF(33, 15));
    DotEyes(p, 24, 19, 37);
    Frown(p, QRectF(17, 36, 22, 14));
    // A drop of sweat.
    p.setPen(Ink(1.0));
    p.setBrush(QColor(120, 190, 255));
    QPainterPath drop;
    drop.moveTo(9, 22);
    drop.quadTo(5, 30, 9, 31);
    drop.quadTo(13, 30, 9, 22);
    p.drawPath(drop);
    Thumb(p, QPointF(52, 48), true);
}

void Face6ThumbsUp(QPainter& p)
{
    DrawHead(p, QRectF(2, 2, 52, 52), kSkin, kSkinDark);
    Arches(p, 2.4, QRectF(13, 19, 11, 9), QRectF(32, 19, 11, 9));
    Smile(p, QRectF(14, 20, 28, 24), 150);
    Thumb(p, QPointF(50, 50), false);
}

void Face7Squint(QPainter& p)
{
    DrawHead(p, QRectF(4, 4, 56, 56), kSkin, kSkinDark);
    p.setPen(Ink(2.4));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({{16, 21}, {26, 26}, {16, 31}}));
    p.drawPolyline(QPolygonF({{48, 21}, {38, 26}, {48, 31}}));
    p.drawLine(QPointF(25, 44), QPointF(39, 44));
}

} // namespace

QPixmap MakeFace(int index, qreal devicePixelRatio)
{
    static constexpr void (*faces[kFaceCount])(QPainter&) = {
        Face0Smile, Face1Sceptical, Face2Angry, Face3Salute, Face4Shocked, Face5ThumbsDown, Face6ThumbsUp, Face7Squint,
    };
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    return DrawPixmap(qRound(kFaceSize * ratio), ratio, [index](QPainter& p) {
        if (index >= 0 && index < kFaceCount)
            faces[index](p);
    });
}
