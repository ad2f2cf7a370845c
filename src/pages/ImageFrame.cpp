#include "pages/ImageFrame.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollArea>
#include <QToolButton>

#include <algorithm>

#include "module/HeldModule.h"
#include "ui/Colors.h"
#include "ui/Dnx_control_utils.h"
#include "ui/Formtools.h"
#include "ui/Glyphs.h"
#include "ui/Mydialogs.h"

namespace {

const char* const kHeaderProperty = "sectionHeader";
const char* const kStretchProperty = "stretch";
const char* const kTitleProperty = "columnTitle";
const char* const kRowNameProperty = "rowName";
const char* const kRowLineProperty = "rowLine";

bool HasFlag(const QObject* object, const char* property) { return object->property(property).toBool(); }

// Whether the control can show a field of that encoding at all.
bool Fits(const QWidget* control, TEncoding encoding)
{
    if (!IsControlEncoding(encoding))
        return true;  // cells of the page's own widget
    if (encoding == TEncoding::Flag)
        return qobject_cast<const QCheckBox*>(control) != nullptr;
    if (encoding == TEncoding::ListPosition)
        return qobject_cast<const QComboBox*>(control) != nullptr;
    return qobject_cast<const QLineEdit*>(control) != nullptr;
}

}  // namespace

TImageFrame::~TImageFrame() = default;

TImageFrame::TImageFrame(QWidget* owner, THeldModule& held, TImagePage page)
    : TSettingsPage(owner, held, PartSettings), FPage(page)
{
}

void TImageFrame::BindImage(QToolButton* reset, QToolButton* save)
{
    FScroll = findChild<QScrollArea*>(QStringLiteral("scPage"));
    if (!FScroll)
        qFatal("Page \"%s\" has no scroll area", qPrintable(objectName()));
    // The page's fields take the focus; the frame that scrolls them is no stop of the Tab key.
    FScroll->setFocusPolicy(Qt::NoFocus);
    FScroll->viewport()->setAutoFillBackground(false);

    for (const TImageField* field : PageFields(FPage)) {
        QWidget* control = FindControl(FScroll->widget(), QString::fromLatin1(field->Control));
        if (!control || !Fits(control, field->Encoding))
            qFatal("Page \"%s\" has no suitable control \"%s\"", qPrintable(objectName()), field->Control);
        FBindings.push_back({field, control, QVariant(), QVariant()});
        if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            connect(edit, &QLineEdit::textChanged, this, &TImageFrame::EditsChanged);
        } else if (auto* check = qobject_cast<QCheckBox*>(control)) {
            connect(check, &QCheckBox::toggled, this, &TImageFrame::EditsChanged);
        } else if (auto* list = qobject_cast<QComboBox*>(control)) {
            list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
            list->clear();
            list->addItems(field->Items);
            list->setCurrentIndex(-1);
            connect(list, &QComboBox::currentIndexChanged, this, &TImageFrame::EditsChanged);
        }
    }
    StyleForm();

    SetupSpeedButton(reset, TGlyph::Clear);
    SetupSpeedButton(save, TGlyph::Save);
    connect(reset, &QToolButton::clicked, this, &TImageFrame::sbResetKeysClick);
    connect(save, &QToolButton::clicked, this, &TImageFrame::sbSaveKeysClick);
}

void TImageFrame::StyleForm()
{
    const QString title = QStringLiteral("color: %1; font-weight: bold;").arg(ToQColor(clNavy).name());
    const QString line = QStringLiteral("background-color: %1;").arg(ToQColor(clGray).name());
    for (QWidget* child : findChildren<QWidget*>()) {
        // A list is never narrower than its longest item: the page scrolls instead.
        const bool list = qobject_cast<QComboBox*>(child) != nullptr;
        const bool stretch = HasFlag(child, kStretchProperty);
        if (list || stretch) {
            QSizePolicy policy = child->sizePolicy();
            policy.setHorizontalPolicy(list ? (stretch ? QSizePolicy::MinimumExpanding : QSizePolicy::Minimum)
                                            : QSizePolicy::Expanding);
            child->setSizePolicy(policy);
        }
        if (HasFlag(child, kHeaderProperty))
            StyleTitleBand(child);
        else if (HasFlag(child, kTitleProperty))
            child->setStyleSheet(title);
        else if (HasFlag(child, kRowNameProperty))
            child->setStyleSheet(QStringLiteral("font-weight: bold;"));
        else if (HasFlag(child, kRowLineProperty))
            child->setStyleSheet(line);
    }
}

void TImageFrame::showEvent(QShowEvent* event)
{
    TSettingsPage::showEvent(event);
    // Nothing can be typed before the page shows, and the form is set up by then.
    for (TBinding& binding : FBindings) {
        if (!binding.Designed.isValid())
            binding.Designed = ShownValue(binding);
    }
}

bool TImageFrame::HasUnsavedEdits() const
{
    return std::any_of(FBindings.begin(), FBindings.end(), [this](const TBinding& binding) {
        const QVariant& loaded = binding.Shown.isValid() ? binding.Shown : binding.Designed;
        return loaded.isValid() && ShownValue(binding) != loaded;
    });
}

QString TImageFrame::CellText(const TImageField&) const { return QString(); }

void TImageFrame::SetCellText(const TImageField&, const QString&) {}

QVariant TImageFrame::ShownValue(const TBinding& binding) const
{
    const QWidget* control = binding.Control;
    if (!IsControlEncoding(binding.Field->Encoding))
        return CellText(*binding.Field);
    if (auto* edit = qobject_cast<const QLineEdit*>(control))
        return edit->text();
    if (auto* check = qobject_cast<const QCheckBox*>(control))
        return check->isChecked();
    if (auto* list = qobject_cast<const QComboBox*>(control))
        return list->currentIndex();
    return QVariant();
}

void TImageFrame::ShowHeld()
{
    for (TBinding& binding : FBindings) {
        const TImageField& field = *binding.Field;
        const uint8_t* bytes = Held().Settings.data() + field.Address;
        if (!IsControlEncoding(field.Encoding)) {
            SetCellText(field, FieldToText(field.Encoding, bytes));
        } else if (auto* edit = qobject_cast<QLineEdit*>(binding.Control)) {
            edit->setText(FieldToText(field.Encoding, bytes));
            edit->setCursorPosition(0);
        } else if (auto* check = qobject_cast<QCheckBox*>(binding.Control)) {
            check->setChecked(ByteToFlag(bytes[0]));
        } else if (auto* list = qobject_cast<QComboBox*>(binding.Control)) {
            list->setCurrentIndex(ByteToListPosition(bytes[0], field.FirstCode, list->count()));
        }
        binding.Shown = ShownValue(binding);
    }
    UpdateVisibility();
    emit EditsChanged();
}

bool TImageFrame::StoreField(const TBinding& binding, uint8_t* image, QString& error) const
{
    const TImageField& field = *binding.Field;
    uint8_t* bytes = image + field.Address;
    if (!IsControlEncoding(field.Encoding))
        return TextToField(field.Encoding, CellText(field), bytes, error);
    if (auto* edit = qobject_cast<const QLineEdit*>(binding.Control))
        return TextToField(field.Encoding, edit->text(), bytes, error);
    if (auto* check = qobject_cast<const QCheckBox*>(binding.Control)) {
        bytes[0] = FlagToByte(check->isChecked());
    } else if (auto* list = qobject_cast<const QComboBox*>(binding.Control)) {
        // A list with nothing chosen has no value to give: a code it has no item for survives.
        if (list->currentIndex() >= 0)
            bytes[0] = ListPositionToByte(list->currentIndex(), field.FirstCode);
    }
    return true;
}

bool TImageFrame::StoreToHeld()
{
    TSettingsBytes image = Held().Settings;
    for (const TBinding& binding : FBindings) {
        // A value shown as the module holds it may not convert back to the same bytes (a
        // voltage of 165 shows 10.3, which is 164): what the operator did not touch stays.
        if (binding.Shown.isValid() && ShownValue(binding) == binding.Shown)
            continue;
        QString error;
        if (!StoreField(binding, image.data(), error)) {
            // A field the page's modes hide cannot be pointed at: the message names it instead.
            if (!binding.Control->isVisibleTo(this))
                error = FieldTitle(*binding.Field) + QStringLiteral(": ") + error;
            FScroll->ensureWidgetVisible(binding.Control);
            Refuse(binding.Control, error);
            return false;
        }
    }
    if (Held().Settings != image)
        Held().MarkUnwritten(PartSettings);
    Held().Settings = image;
    // Show what the settings now hold: "7:30" as 07:30, a voltage as the module will see it.
    ShowHeld();
    return true;
}

void TImageFrame::sbResetKeysClick()
{
    if (ConfirmationDlg(this, QStringLiteral("Отменить изменения?"), TDefaultAnswer::KeepByDefault))
        ShowHeld();
}

void TImageFrame::sbSaveKeysClick()
{
    if (ConfirmationDlg(this, QStringLiteral("Сохранить изменения?")))
        StoreToHeld();
}
