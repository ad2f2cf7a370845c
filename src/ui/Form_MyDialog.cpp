#include "ui/Form_MyDialog.h"
#include "ui_Form_MyDialog.h"

#include "ui/Faces.h"
#include "ui/Formtools.h"
#include "ui/Glyphs.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int kMinDialogWidth = 200;
constexpr int kMessageWidth = 305;  // the first width a message is wrapped at
constexpr int kWidenStep = 10;
constexpr int kTitleButtonsWidth = 50;  // the title bar's icon and close box
const char* const kMessageProperty = "message";

QString KindCaption(int kind)
{
    switch (kind) {
    case mtConfirmation: return QStringLiteral("Подтверждение");
    case mtError: return QStringLiteral("Ошибка");
    case mtInformation: return QStringLiteral("Информация");
    case mtWarning: return QStringLiteral("Предупреждение");
    default: return QString();
    }
}

// Breaks the text into lines no wider than `width` at blanks; a word wider than that keeps a
// line of its own. Explicit line breaks are kept.
QString WrapText(const QString& text, const QFontMetrics& fm, int width)
{
    QStringList lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        const QStringList words = paragraph.split(QLatin1Char(' '));
        QString line;
        bool first = true;
        for (const QString& word : words) {
            if (first) {
                line = word;
                first = false;
                continue;
            }
            const QString candidate = line + QLatin1Char(' ') + word;
            if (fm.horizontalAdvance(candidate) <= width) {
                line = candidate;
            } else {
                lines << line;
                line = word;
            }
        }
        lines << line;
    }
    return lines.join(QLatin1Char('\n'));
}

int TextHeight(const QString& text, const QFontMetrics& fm)
{
    return fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop, text).height();
}

} // namespace

TMyDialogForm::TMyDialogForm(QWidget* owner)
    : QDialog(owner), ui(new Ui::TMyDialogForm)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
    SetupSpeedButton(ui->sbOk, TGlyph::Ok);
    SetupSpeedButton(ui->sbNo, TGlyph::Cancel);
    SetupSpeedButton(ui->sbCancel, TGlyph::Cancel);
    connect(ui->sbOk, &QToolButton::clicked, this, &TMyDialogForm::OkClick);
    connect(ui->sbNo, &QToolButton::clicked, this, [this] { done(mrNo); });
    connect(ui->sbCancel, &QToolButton::clicked, this, &TMyDialogForm::CancelClick);
    // Tab and the arrows move among the answers.
    for (QToolButton* button : {ui->sbOk, ui->sbNo, ui->sbCancel})
        button->installEventFilter(this);
    setMouseTracking(true);
}

TMyDialogForm::~TMyDialogForm() = default;

int TMyDialogForm::TypeImage() const
{
    return ui->Image->property("tag").toInt();
}

void TMyDialogForm::SetTypeImage(int index)
{
    if (index == TypeImage())
        return;
    ui->Image->setProperty("tag", index);
    if (index < 0 || index >= kFaceCount) {
        ui->Image->clear();
        return;
    }
    const QScreen* s = screen();
    const qreal ratio = std::max<qreal>(s ? s->devicePixelRatio() : 1.0, devicePixelRatioF());
    ui->Image->setPixmap(MakeFace(index, ratio));
}

void TMyDialogForm::Prepare(const QString& message, int kind, const QString& caption,
                            TDialogButtons buttons)
{
    if (!caption.isEmpty())
        setWindowTitle(caption);
    else if (!KindCaption(kind).isEmpty())
        setWindowTitle(KindCaption(kind));

    FKind = kind;
    SetTypeImage(kind);

    QLabel* label = ui->laMessage;
    // The label shows the text with line breaks of our own; keep the original beside it.
    label->setProperty(kMessageProperty, message);
    // Widened step by step until the text fits beside the face, but never past two thirds of the
    // screen: a longer text grows downwards.
    const QFontMetrics fm(label->font());
    const int limit = (2 * ScreenWorkArea(parentWidget() ? parentWidget() : this).width()) / 3;
    int width = kMessageWidth;
    QString wrapped = WrapText(message, fm, width);
    while (TextHeight(wrapped, fm) > ui->Image->height() && width <= limit) {
        width += kWidenStep;
        wrapped = WrapText(message, fm, width);
    }
    label->setText(wrapped);

    // Yes, No and Cancel together: the buttons say so, and "Отмена" stays for Esc.
    const bool threeWay = buttons.Contains(mbYes) && buttons.Contains(mbNo) && buttons.Contains(mbCancel);
    ui->sbOk->setText(threeWay || FYesNo ? QStringLiteral("Да") : QStringLiteral("ОК"));
    ui->sbCancel->setText(FYesNo && !threeWay ? QStringLiteral("Нет") : QStringLiteral("Отмена"));
    const bool okVisible = buttons.Contains(mbYes) || buttons.Contains(mbOK);
    const bool cancelVisible = buttons.Contains(mbNo);
    ui->sbOk->setVisible(okVisible);
    ui->sbNo->setVisible(threeWay);
    ui->sbCancel->setVisible(cancelVisible);

    // The window manager clips a title wider than the dialog: its bold title font is reckoned at
    // twice the width of the dialog's.
    const QMargins margins = ui->loMain->contentsMargins();
    const int least = std::max(kMinDialogWidth, 2 * fontMetrics().horizontalAdvance(windowTitle()) + kTitleButtonsWidth);
    ui->spTitle->changeSize(least - margins.left() - margins.right(), 0, QSizePolicy::Fixed, QSizePolicy::Fixed);
    ui->loMain->invalidate();
    ui->loMain->activate();

    if (parentWidget())
        CenterOverOwner(this);
    else
        CenterOnWorkArea(this);

    // The chosen answer, else the first shown, has the focus from the start, and its mark: the
    // operator sees what Enter gives before pressing it.
    QToolButton* chosen = FDefault ? ButtonFor(FDefault) : nullptr;
    if (!chosen || !chosen->isVisibleTo(this)) {
        const QList<QToolButton*> shown = ShownButtons();
        chosen = shown.isEmpty() ? nullptr : shown.first();
    }
    if (chosen) {
        setFocusProxy(chosen);
        chosen->setFocus(Qt::TabFocusReason);
    }
}

QToolButton* TMyDialogForm::ButtonFor(int result) const
{
    switch (result) {
    case mrOk: return ui->sbOk;
    case mrNo: return ui->sbNo;
    case mrCancel: return ui->sbCancel;
    default: return nullptr;
    }
}

QList<QToolButton*> TMyDialogForm::ShownButtons() const
{
    QList<QToolButton*> shown;
    for (QToolButton* button : {ui->sbOk, ui->sbNo, ui->sbCancel}) {
        if (button->isVisibleTo(this))
            shown << button;
    }
    return shown;
}

int TMyDialogForm::Execute(const QString& message, int kind, const QString& caption,
                           TDialogButtons buttons)
{
    Prepare(message, kind, caption, buttons);
    return exec();
}

void TMyDialogForm::OkClick()
{
    done(mrOk);
}

void TMyDialogForm::CancelClick()
{
    done(mrCancel);
}

void TMyDialogForm::reject()
{
    // Esc and the title bar's close box both answer Cancel.
    done(mrCancel);
}

void TMyDialogForm::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // The answer in focus, else the chosen one, else OK.
        QToolButton* focused = FocusedButton(this);
        QToolButton* button = focused ? focused : ButtonFor(FDefault ? FDefault : mrOk);
        if (button && button->isVisible())
            button->click();
        break;
    }
    case Qt::Key_Escape:
    case Qt::Key_Space:
        // Ends the dialog even when Cancel is hidden.
        CancelClick();
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_Right:
    case Qt::Key_Down:
        focusNextPrevChild(event->key() == Qt::Key_Right || event->key() == Qt::Key_Down);
        break;
    default:
        QDialog::keyPressEvent(event);
        return;
    }
    event->accept();
}

void TMyDialogForm::mouseMoveEvent(QMouseEvent* event)
{
    SetTypeImage(FKind);
    QDialog::mouseMoveEvent(event);
}

bool TMyDialogForm::eventFilter(QObject* watched, QEvent* event)
{
    auto* button = qobject_cast<QToolButton*>(watched);
    // Space never presses the answer in focus: it cancels, as on the dialog itself.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
        CancelClick();
        return true;
    }
    if (event->type() == QEvent::Paint && button && focusWidget() == button) {
        // A flat button draws no focus mark of its own: the answer Enter gives gets one on top,
        // from the moment the dialog shows, before the window manager has made it active.
        static_cast<QObject*>(button)->event(event);
        QPainter painter(button);
        QStyleOptionFocusRect mark;
        mark.initFrom(button);
        mark.state |= QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
        mark.rect = button->rect().adjusted(2, 2, -2, -2);
        mark.backgroundColor = button->palette().color(QPalette::Button);
        button->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &mark, &painter, button);
        return true;
    }
    if (event->type() == QEvent::Enter || event->type() == QEvent::MouseMove) {
        if (watched == ui->sbOk && ui->sbCancel->isVisible())
            SetTypeImage(6);
        else if (watched == ui->sbCancel || watched == ui->sbNo)
            SetTypeImage(5);
    }
    return QDialog::eventFilter(watched, event);
}
