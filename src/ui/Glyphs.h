#pragma once

#include <QIcon>

class QToolButton;

// Button pictures, drawn by code so that no icon theme is needed.
enum class TGlyph { Ok, Cancel, Ping, Read, Write, Reset, Clear, Save, Add, Delete, Edit, Key, On, Off, Pulse, Open };

// A 16 × 16 icon with sharp pixmaps for 100 % and 200 % scale.
QIcon MakeGlyph(TGlyph glyph);

// Makes the tool button a flat speed button: raised only under the pointer, the glyph beside
// the text, never taking the keyboard focus.
void SetupSpeedButton(QToolButton* button, TGlyph glyph);
