#pragma once

#include <QLabel>
#include <QList>
#include <QRect>

class QApplication;
class QCoreApplication;
class QObject;
class QToolButton;
class QWidget;
class TIniFile;

// True when the object's class or one of its ancestors has exactly that class name.
bool InheritsFromName(const QObject* object, const char* className);
// A control is anything that can be placed on a form: a QWidget.
bool IsControl(const QObject* object);

// Centres a top-level window over the reference widget's client area, kept inside the screen's
// work area; over the work area while the reference is not shown.
void CenterOver(QWidget* window, QWidget* reference);
// Centres the window over its parent widget, if it has one.
void CenterOverOwner(QWidget* form);
void CenterOnWorkArea(QWidget* window);
// SetupApplicationLook also centres every window or dialog that has a parent over it, the first
// time it is shown.

// The tool button of the dialog that has the keyboard focus, if one has: what Enter presses.
QToolButton* FocusedButton(const QWidget* dialog);

// Saves a resizable window's size in its normal state under the window's object name
// ("Width", "Height", the title bar counted in); fixed-size windows record nothing.
void SaveFormSize(TIniFile* ini, QWidget* form);

// Gives the window the size SaveFormSize kept for it, bounded by the screen's work area and by
// what its layout needs; the size it has stays when none was kept.
void RestoreFormSize(TIniFile* ini, QWidget* form);

// The available geometry of the screen the widget is on (the primary screen for null).
QRect ScreenWorkArea(const QWidget* widget = nullptr);
// Replaces the work area reported by ScreenWorkArea; a null rectangle restores the real one.
// Lets tests reproduce layouts that depend on the screen size.
void OverrideWorkArea(const QRect& area);

// The application-wide look: the platform's sans-serif at 11 pixels, the Fusion style, and the
// grey RGB(211, 208, 200) for window and button surfaces. Also the wheel's one rule: a list or a
// spin box without the keyboard focus leaves the wheel to the page, which scrolls.
void SetupApplicationLook(QApplication& app);
// Qt's own texts (file dialogs, an edit's menu, the command line's help) in Russian, when Qt's
// translations are installed; SetupApplicationLook does it too.
void InstallQtTranslation(QCoreApplication& app);


// A section's title band: bold white text on the grey, the look every page and dialog gives it.
void StyleTitleBand(QWidget* label);

// One line that fits any width its layout gives it: a text too long ends in "…".
class TLineLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
