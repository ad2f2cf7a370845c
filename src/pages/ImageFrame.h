#pragma once
#include <QRect>
#include <QVariant>

#include <utility>
#include <vector>

#include "module/ImageFields.h"
#include "pages/SettingsPage.h"

class QScrollArea;
class QToolButton;

// A page whose controls mirror bytes of the held settings, bound through the field table. The
// window shows these pages again after a read or a reset; "Очистить" shows the page again from
// the settings, "Сохранить" stores it back. Nothing here talks to the module.
//
// The page's form is built on Body(), which keeps the form's design size and scrolls when the
// page is smaller; the controls that captions name move right when a caption needs the room.
// The form marks its parts with properties, and the look of each is set here:
// "sectionHeader" (bold white on grey, across the whole body), "columnTitle" (bold navy),
// "rowName" (bold), "rowLine" (a grey line); a control marked "stretch" reaches the body's
// right edge.
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
    QWidget* Body() const { return FBody; }
    QScrollArea* ScrollArea() const { return FScroll; }

    // Binds the page's fields and its strip's two buttons, once the form is built on Body().
    // A field of the table whose control the form lacks stops the tool at start. The lists take
    // their items from the table, with nothing chosen.
    void BindImage(QToolButton* reset, QToolButton* save);

    // A field shown in cells of a grid rather than in a control of its own (phone numbers,
    // rights): the text the page shows for it, and showing a text. Pages with such fields
    // override both.
    virtual QString CellText(const TImageField& field) const;
    virtual void SetCellText(const TImageField& field, const QString& text);

    // Fits the form to its lists' items, once they are filled and before its layout is planned.
    virtual void ListsFilled() {}
    // The page's own rules for what is visible; run after every load.
    virtual void UpdateVisibility() {}
    // Lays the form out for the body's width; run after the stretching above.
    virtual void BodyResized() {}

    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct TBinding {
        const TImageField* Field;
        QWidget* Control;
        QVariant Shown;     // what the last load showed: text, tick or list position
        QVariant Designed;  // what the form showed until the first load
    };

    void StyleForm();
    // Where each part of the form goes: planned once the form is built, applied on every resize.
    void PlanLayout();
    void FitBody();
    void ArrangeBody();
    QVariant ShownValue(const TBinding& binding) const;
    bool StoreField(const TBinding& binding, uint8_t* image, QString& error) const;

    TImagePage FPage;
    QScrollArea* FScroll;
    QWidget* FBody;
    std::vector<TBinding> FBindings;
    std::vector<std::pair<QWidget*, QRect>> FDesign;  // the form's parts where it placed them
    int FDesignColumn = -1;  // where the form put the controls its captions name, if it has any
    int FColumn = -1;        // where they go, so that every caption fits before them
};
