#pragma once

#include <QIcon>
#include <QPixmap>
#include <QToolButton>

#include <functional>

class QPainter;

// Button pictures, drawn by code so that no icon theme is needed.
enum class TGlyph { Ok, Cancel, Ping, Read, Write, Reset, Clear, Save, Add, Delete, Edit, Key, On, Off, Pulse, Open };

// A 16 × 16 icon with sharp pixmaps for 100 % and 200 % scale.
QIcon MakeGlyph(TGlyph glyph);

// Makes the tool button a flat speed button: raised only under the pointer, the glyph beside
// the text (or alone when it has none), reached by Tab but not taking the focus on a click, so a
// click never pulls the focus from a field being typed in.
void SetupSpeedButton(QToolButton* button, TGlyph glyph);

// The same, with a click on the button calling `slot` of `receiver`.
template <typename Receiver, typename Slot>
void SetupSpeedButton(QToolButton* button, TGlyph glyph, Receiver* receiver, Slot slot)
{
    SetupSpeedButton(button, glyph);
    QObject::connect(button, &QToolButton::clicked, receiver, slot);
}

// A transparent square `side` device pixels wide for the device pixel ratio, which `paint`
// draws on in device-independent pixels, antialiased.
QPixmap DrawPixmap(int side, qreal ratio, const std::function<void(QPainter&)>& paint);
