#pragma once
#include <optional>

#include "device/ModuleAreas.h"
#include "keys/Ow_keyutils.h"
#include "pages/SettingsPage.h"
#include "ui/Stringgridtools.h"

class QPainter;

class TDeviceSession;
class TIniFile;
class TToolCore;

namespace Ui {
class TKeysFrame;
}

// The "Ключи" page: the 1-Wire keys and cards the module accepts and what each may do. The key
// table lives in the module's memory apart from the settings; the grid keeps the tool's edits of
// it, stored as they stand, and goes to and from the module with the page's own buttons.
class TKeysFrame : public TSettingsPage {
    Q_OBJECT
public:
    TKeysFrame(QWidget* owner, THeldModule& held, TToolCore& core);
    ~TKeysFrame() override;

    // Fills the row's number, key, serial and parameter cells; a row past the end is added.
    void SetKeyRow(int row, const TKeyRecord& record);
    // Makes the row holding the record's serial number the current one; false when none does.
    bool FindKey(const TKeyRecord& record);
    // The grid as the module's key table (packed from slot 0) and the comments of its keys.
    TKeyTable KeyTable() const;
    QStringList KeyComments() const;
    // Shows the held key table and its comments, when the tool holds one.
    void ShowHeld() override;
    // Stores the grid as KeyTable gives it, or no table while the page holds none: never read,
    // loaded or edited (writing an empty table would erase the module's keys). Never refused.
    bool StoreToHeld() override;
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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void sgKeysDrawCell(QPainter& canvas, int col, int row, const QRect& rect, TGridDrawState state);
    // No row, and no current cell, while the grid holds no key; once it holds one, the first key
    // is current.
    void ShowEmptiness();
    int KeyCount() const;

    Ui::TKeysFrame* ui;
    TToolCore& FCore;
    TDeviceSession& FSession;
    TIniFile& FConfig;
    TColWidths FWidths;
    std::optional<TKeyTable> FLoaded;  // the table last read, loaded or written, as KeyTable gave it
};
