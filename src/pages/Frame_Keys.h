#pragma once
#include <optional>

#include "device/ModuleAreas.h"
#include "keys/Ow_keyutils.h"
#include "pages/SettingsPage.h"
#include "ui/Stringgridtools.h"

class QPainter;

namespace Ui {
class TKeysFrame;
}

// The "Ключи" page: the 1-Wire keys and cards the module accepts and what each may do. The key
// table lives in the module's memory apart from the settings image; the grid is the tool's only
// copy of it and goes to and from the module with the page's own buttons.
class TKeysFrame : public TSettingsPage {
    Q_OBJECT
public:
    explicit TKeysFrame(QWidget* owner);
    ~TKeysFrame() override;

    // Fills the row's number, key, serial and parameter cells; a row past the end is added.
    void SetKeyRow(int row, const TKeyRecord& record);
    // Makes the row holding the record's serial number the current one; false when none does.
    bool FindKey(const TKeyRecord& record);
    // The grid as the module's key table (packed from slot 0) and the comments of its keys.
    TKeyTable KeyTable() const;
    QStringList KeyComments() const;
    void ShowKeyTable(const TKeyTable& table, const QStringList& comments);
    // The grid as KeyTable gives it, or none while the page holds no table: never read, loaded
    // or edited. Writing an empty table would erase the module's keys.
    std::optional<TKeyTable> HeldTable() const;
    // The grid differs from the table last read, loaded or written.
    bool HasUnsavedEdits() const override;
    // The table has gone to the module: the grid holds no more edits.
    void Written(const TKeyTable& table);

    void ReadKeysFromDevice();
    void WriteKeysToDevice();

public slots:
    void sbReadKeysClick();
    void sbWriteKeysClick();
    void sbAddClick();
    void sbDeleteClick();
    void sbSearchClick();
    void sgKeysDblClick(int row);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sgKeysDrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state);
    void FrameResize();
    int KeyCount() const;

    Ui::TKeysFrame* ui;
    TColWidths FWidths;
    std::optional<TKeyTable> FLoaded;  // the table last read, loaded or written, as KeyTable gave it
};

// The page's one instance, while it exists.
extern TKeysFrame* KeysFrame;
