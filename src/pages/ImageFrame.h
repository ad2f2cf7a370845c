#pragma once
#include <QVariant>

#include <vector>

#include "module/ImageFields.h"
#include "pages/SettingsPage.h"

class QScrollArea;
class QToolButton;

// A page whose controls mirror bytes of the held settings, bound through the field table. The
// window shows these pages again after a read or a reset; "Очистить" shows the page again from
// the settings, "Сохранить" stores it back. Nothing here talks to the module.
//
// The page's form lays itself out: its strip of buttons on top, then the scroll area "scPage"
// with the fields. The form marks its parts with properties, and the look of each is set here:
// "sectionHeader" (bold white on grey), "columnTitle" (bold navy), "rowName" (bold), "rowLine"
// (a grey line); a control marked "stretch" takes the room its row leaves.
class TImageFrame : public TSettingsPage {
    Q_OBJECT
public:
    TImageFrame(QWidget* owner, THeldModule& held, TImagePage page);
    ~TImageFrame() override;

    TImagePage Page() const { return FPage; }

    // Sets every bound control from the settings in the page's order, then what is visible.
    void ShowHeld() override;
    // Converts every field first and changes the settings only when all of them converted; a
    // field whose control still shows what the last load put there keeps its bytes. The first
    // field that does not convert is refused, and the settings are left as they were.
    bool StoreToHeld() override;
    // A field shows other than what the last load put there (before the first load, other than
    // what the form first showed).
    bool HasUnsavedEdits() const override;

public slots:
    void sbResetKeysClick();
    void sbSaveKeysClick();

protected:
    // Binds the page's fields and its strip's two buttons, once the form is built on the page.
    // A field of the table whose control the form lacks stops the tool at start, as does a form
    // without its scroll area. The lists take
    // their items from the table, with nothing chosen.
    void BindImage(QToolButton* reset, QToolButton* save);

    // A field shown in cells of a grid rather than in a control of its own (phone numbers,
    // rights): the text the page shows for it, and showing a text. Pages with such fields
    // override both.
    virtual QString CellText(const TImageField& field) const;
    virtual void SetCellText(const TImageField& field, const QString& text);

    // The page's own rules for what is visible; run after every load.
    virtual void UpdateVisibility() {}

    void showEvent(QShowEvent* event) override;

private:
    struct TBinding {
        const TImageField* Field;
        QWidget* Control;
        QVariant Shown;     // what the last load showed: text, tick or list position
        QVariant Designed;  // what the form showed until the first load
    };

    void StyleForm();
    QVariant ShownValue(const TBinding& binding) const;
    bool StoreField(const TBinding& binding, uint8_t* image, QString& error) const;

    TImagePage FPage;
    QScrollArea* FScroll = nullptr;
    std::vector<TBinding> FBindings;
};
