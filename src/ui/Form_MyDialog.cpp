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
constexpr int kLabelRightMargin = 16;
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
    for (QToolButton* button : {ui->sbOk, ui->sbNo, ui->sbCancel}) {
        button->installEventFilter(this);
        // The dialog takes the keys itself; its answers take the focus only when one is the
        // default (Prepare).
        button->setFocusPolicy(Qt::NoFocus);
    }
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
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

void TMyDialogForm::FitMessage(int width)
{
    const QFontMetrics fm(ui->laMessage->font());
    const QString wrapped = WrapText(FMessage, fm, width);
    const QRect bounds = fm.boundingRect(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop, wrapped);
    ui->laMessage->setText(wrapped);
    ui->laMessage->resize(bounds.width(), std::max(bounds.height(), fm.height()));
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
    QLabel* image = ui->Image;
    FMessage = message;
    // The label shows the text with line breaks of our own; keep the original beside it.
    label->setProperty(kMessageProperty, message);
    FitMessage(label->width());
    int w = label->width();
    const int limit = (2 * ScreenWorkArea(parentWidget() ? parentWidget() : this).width()) / 3;
    while (label->height() > image->height() && w <= limit) {
        w += kWidenStep;
        FitMessage(w);
    }

    // Yes, No and Cancel together: the buttons say so, and "Отмена" stays for Esc.
    const bool threeWay = buttons.Contains(mbYes) && buttons.Contains(mbNo) && buttons.Contains(mbCancel);
    ui->sbOk->setText(threeWay || FYesNo ? QStringLiteral("Да") : QStringLiteral("ОК"));
    ui->sbCancel->setText(FYesNo && !threeWay ? QStringLiteral("Нет") : QStringLiteral("Отмена"));
    const int rowWidth = ui->sbOk->width() + ui->sbNo->width() + ui->sbCancel->width();
    int dialogWidth = label->x() + label->width() + kLabelRightMargin;
    dialogWidth = std::max(dialogWidth, threeWay ? rowWidth + 2 * kLabelRightMargin : kMinDialogWidth);
    // The window manager clips a title wider than the dialog: its bold title font is reckoned at
    // twice the width of the dialog's.
    dialogWidth = std::max(dialogWidth, 2 * fontMetrics().horizontalAdvance(windowTitle()) + kTitleButtonsWidth);

    int dialogHeight = height();
    if (label->height() > image->height()) {
        const int grow = label->height() - image->height();
        for (QToolButton* button : {ui->sbOk, ui->sbNo, ui->sbCancel})
            button->move(button->x(), button->y() + grow);
        dialogHeight += grow;
    } else {
        label->move(label->x(), image->y() + (image->height() - label->height()) / 2);
    }
    setFixedSize(dialogWidth, dialogHeight);

    const bool okVisible = buttons.Contains(mbYes) || buttons.Contains(mbOK);
    const bool cancelVisible = buttons.Contains(mbNo);
    ui->sbOk->setVisible(okVisible);
    ui->sbNo->setVisible(threeWay);
    ui->sbCancel->setVisible(cancelVisible);
    if (threeWay) {
        int left = (dialogWidth - rowWidth) / 2;
        for (QToolButton* button : {ui->sbOk, ui->sbNo, ui->sbCancel}) {
            button->move(left, button->y());
            left += button->width();
        }
    } else if (okVisible && cancelVisible) {
        const int left = (dialogWidth - ui->sbOk->width() - ui->sbCancel->width()) / 2;
        ui->sbOk->move(left, ui->sbOk->y());
        ui->sbCancel->move(left + ui->sbOk->width(), ui->sbCancel->y());
    } else if (okVisible) {
        ui->sbOk->move((dialogWidth - ui->sbOk->width()) / 2, ui->sbOk->y());
    }

    if (parentWidget())
        CenterOverOwner(this);
    else
        CenterOnWorkArea(this);

    // The chosen answer takes the focus the dialog is given, and its mark: the operator sees
    // what Enter gives before pressing it, and Tab moves among the answers.
    if (QToolButton* chosen = FDefault ? ButtonFor(FDefault) : nullptr; chosen && chosen->isVisibleTo(this)) {
        for (QToolButton* button : {ui->sbOk, ui->sbNo, ui->sbCancel})
            button->setFocusPolicy(Qt::TabFocus);
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
        auto* focused = qobject_cast<QToolButton*>(focusWidget());
        QToolButton* button = focused && focused->parentWidget() == this ? focused : ButtonFor(FDefault ? FDefault : mrOk);
        if (button && button->isVisible())
            button->click();
        break;
    }
    case Qt::Key_Escape:
    case Qt::Key_Space:
        // Ends the dialog even when Cancel is hidden.
        CancelClick();
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
    if (event->type() == QEvent::Paint && button && button->hasFocus()) {
        // A flat button draws no focus mark of its own: the answer Enter gives gets one on top.
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
