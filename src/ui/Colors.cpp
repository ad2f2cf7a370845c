#include "ui/Colors.h"

#include <QGuiApplication>
#include <QPalette>

QColor ToQColor(TColor color)
{
    if (color & 0x80000000u) {
        // Only button face is used as a system colour; anything else falls back to it too.
        return QGuiApplication::palette().color(QPalette::Button);
    }
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

TColor FromQColor(const QColor& color)
{
    return RGBColor(color.red(), color.green(), color.blue());
}
