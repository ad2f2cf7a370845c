#include "ui/Formtools.h"

#include "module/IniFile.h"
#include "ui/Colors.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QMetaObject>
#include <QPainter>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QToolButton>
#include <QTranslator>
#include <QWidget>

#include <algorithm>
#include <cstring>

namespace {

QRect g_workAreaOverride;

// A drop-down list or a spin box takes the wheel only while it has the keyboard focus, and the
// wheel never gives it the focus: turned over a page, the wheel scrolls the page instead of
// changing the value under the pointer.
class TWheelGuard : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Polish && event->type() != QEvent::Wheel)
            return false;
        auto* control = qobject_cast<QWidget*>(watched);
        if (!qobject_cast<QComboBox*>(control) && !qobject_cast<QAbstractSpinBox*>(control))
            return false;
        if (event->type() == QEvent::Polish) {
            if (control->focusPolicy() == Qt::WheelFocus)
                control->setFocusPolicy(Qt::StrongFocus);
            return false;
        }
        if (control->hasFocus())
            return false;
        // Refused, not eaten: the application hands the wheel on to the control's parents.
        event->ignore();
        return true;
    }
};

// The title bar as the style reckons it. A kept size counts this one rather than the window
// manager's frame, so that it comes back exactly, whatever the frame, which is not known before
// the window is shown.
QSize StyleTitleBar(const QWidget* window)
{
    return QSize(0, window->style()->pixelMetric(QStyle::PM_TitleBarHeight));
}

// The window's frame as it will be: before it is first shown the frame is not known, and the
// title bar is reckoned from the style.
QSize FrameSize(const QWidget* window)
{
    const QSize frame = window->frameGeometry().size();
    if (frame != window->size())
        return frame;
    return window->size() + StyleTitleBar(window);
}

// Moves the window's frame to `corner`, or as near as keeps it inside the work area; one larger
// than the area keeps its title bar and left edge in view.
void PlaceInside(QWidget* window, QPoint corner)
{
    const QRect area = ScreenWorkArea(window);
    const QSize frame = FrameSize(window);
    corner.setX(std::max(area.left(), std::min(corner.x(), area.right() + 1 - frame.width())));
    corner.setY(std::max(area.top(), std::min(corner.y(), area.bottom() + 1 - frame.height())));
    window->move(corner);
}

// Every window or dialog that belongs to another opens centred over it the first time it is
// shown; Qt and the window manager would otherwise put it wherever they like, off the screen's
// edge too.
class TWindowPlacer : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Show || !watched->isWidgetType())
            return false;
        auto* window = static_cast<QWidget*>(watched);
        const Qt::WindowType type = window->windowType();
        if (!window->isWindow() || (type != Qt::Window && type != Qt::Dialog) || !window->parentWidget() ||
            window->property(kPlaced).toBool())
            return false;
        window->setProperty(kPlaced, true);
        CenterOver(window, window->parentWidget()->window());
        return false;
    }

private:
    static constexpr const char* kPlaced = "zemPlaced";
};

}  // namespace

bool InheritsFromName(const QObject* object, const char* className)
{
    if (!object || !className)
        return false;
    for (const QMetaObject* meta = object->metaObject(); meta; meta = meta->superClass()) {
        if (std::strcmp(meta->className(), className) == 0)
            return true;
    }
    return false;
}

bool IsControl(const QObject* object)
{
    return InheritsFromName(object, "QWidget");
}

void CenterOver(QWidget* window, QWidget* reference)
{
    if (!IsControl(window) || !IsControl(reference))
        return;
    // A reference not on the screen yet (the main window at start-up) has no place to centre on.
    if (!reference->isVisible()) {
        CenterOnWorkArea(window);
        return;
    }
    const QPoint p = reference->mapToGlobal(QPoint(0, 0));
    const int top = p.y() + (reference->height() - window->height()) / 2;
    const int left = p.x() + (reference->width() - window->width()) / 2;
    PlaceInside(window, QPoint(left, top));
}

void CenterOverOwner(QWidget* form)
{
    if (!form)
        return;
    QWidget* owner = form->parentWidget();
    if (owner && IsControl(owner))
        CenterOver(form, owner);
}

QRect ScreenWorkArea(const QWidget* widget)
{
    if (!g_workAreaOverride.isNull())
        return g_workAreaOverride;
    QScreen* screen = widget ? widget->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void OverrideWorkArea(const QRect& area)
{
    g_workAreaOverride = area;
}

void CenterOnWorkArea(QWidget* window)
{
    if (!window)
        return;
    const QRect area = ScreenWorkArea(window);
    PlaceInside(window, QPoint(area.left() + (area.width() - window->width()) / 2,
                               area.top() + (area.height() - window->height()) / 2));
}

void SetupApplicationLook(QApplication& app)
{
    if (QStyle* style = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(style);

    QFont font(QStringLiteral("Sans Serif"));
#ifdef Q_OS_WIN
    // Windows has no family of that name, and would fall back on its first font, often a serif
    // one: its own interface font, else Tahoma, else (under wine) the font this look was made with.
    font.setFamilies({QStringLiteral("Segoe UI"), QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
#endif
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(11);
    app.setFont(font);

    QPalette palette = app.style()->standardPalette();
    const QColor grey = ToQColor(clSystemGrey);
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Window, grey);
        palette.setColor(group, QPalette::Button, grey);
    }
    app.setPalette(palette);

    const QString guardName = QStringLiteral("wheelGuard");
    if (!app.findChild<QObject*>(guardName, Qt::FindDirectChildrenOnly)) {
        auto* guard = new TWheelGuard(&app);
        guard->setObjectName(guardName);
        app.installEventFilter(guard);
    }

    const QString placerName = QStringLiteral("windowPlacer");
    if (!app.findChild<QObject*>(placerName, Qt::FindDirectChildrenOnly)) {
        auto* placer = new TWindowPlacer(&app);
        placer->setObjectName(placerName);
        app.installEventFilter(placer);
    }

    InstallQtTranslation(app);
}

void InstallQtTranslation(QCoreApplication& app)
{
    // The file dialog's sizes and dates and the spelling of numbers come from the locale, not
    // from the translation: Russian too, whatever the system's.
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(translator);
    else
        delete translator;
}

void StyleTitleBand(QWidget* label)
{
    label->setStyleSheet(QStringLiteral("background-color: %1; color: %2; font-weight: bold; padding-left: 4px;")
                             .arg(ToQColor(clGray).name(), ToQColor(clWhite).name()));
}

QToolButton* FocusedButton(const QWidget* dialog)
{
    auto* button = qobject_cast<QToolButton*>(dialog->focusWidget());
    return button && dialog->isAncestorOf(button) && button->isVisible() ? button : nullptr;
}

void SaveFormSize(TIniFile* ini, QWidget* form)
{
    if (ini == nullptr || form == nullptr)
        return;
    const bool resizable = form->minimumSize() != form->maximumSize();
    const bool normal = (form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized |
                                                Qt::WindowFullScreen)) == 0;
    if (!resizable || !normal)
        return;
    // A failed write is not worth a message: the size is a convenience.
    const QSize kept = form->size() + StyleTitleBar(form);
    ini->WriteInteger(form->objectName(), QStringLiteral("Width"), kept.width());
    ini->WriteInteger(form->objectName(), QStringLiteral("Height"), kept.height());
}

void RestoreFormSize(TIniFile* ini, QWidget* form)
{
    if (ini == nullptr || form == nullptr)
        return;
    const QString section = form->objectName();
    const int width = ini->ReadInteger(section, QStringLiteral("Width"), 0);
    const int height = ini->ReadInteger(section, QStringLiteral("Height"), 0);
    if (width <= 0 || height <= 0)
        return;
    const QSize area = ScreenWorkArea(form).size() - (FrameSize(form) - form->size());
    const QSize least = form->minimumSizeHint().expandedTo(form->minimumSize());
    form->resize((QSize(width, height) - StyleTitleBar(form)).boundedTo(area).expandedTo(least));
}

QSize TLineLabel::sizeHint() const
{
    return QSize(0, QLabel::sizeHint().height());
}

QSize TLineLabel::minimumSizeHint() const
{
    return QSize(0, QLabel::minimumSizeHint().height());
}

void TLineLabel::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect r = contentsRect().adjusted(indent() > 0 ? indent() : 0, 0, 0, 0);
    const QString line = QString(text()).replace(QLatin1Char('\n'), QLatin1Char(' '));
    style()->drawItemText(&p, r, int(alignment()), palette(), isEnabled(),
                          fontMetrics().elidedText(line, Qt::ElideRight, r.width()), foregroundRole());
}
