#pragma once
#include <optional>

#include "device/ModuleAreas.h"
#include "module/GprsBlock.h"
#include "pages/SettingsPage.h"

class QLineEdit;

class TDeviceSession;
class TToolCore;

namespace Ui {
class TGPRSFrame;
}

// The "GPRS" page: the module's GPRS block (serial number, monitoring request, access point,
// gateway, user, password), read and written with its own buttons, and the operator presets of
// "Operators.cfg".
class TGPRSFrame : public TSettingsPage {
    Q_OBJECT
public:
    TGPRSFrame(QWidget* owner, THeldModule& held, TToolCore& core);
    ~TGPRSFrame() override;

    // Run by the tab bar with no sender each time the page is shown: refills the preset list.
    Q_INVOKABLE void FrameEnter(QObject* sender);

    void sbReadKeysClick();
    void sbWriteKeysClick();
    void sbAddClick();
    void sbDeleteClick();
    void sbSaveClick();
    void cbOperatorChange();

    TGprsTexts Texts() const;
    void SetTexts(const TGprsTexts& texts);
    // The edits as the module's block; a text that cannot be written is refused (false).
    bool EncodeTexts(TGprsBytes& block);
    // Shows the held block, when the tool holds one.
    void ShowHeld() override;
    // Stores the block the page holds: the one shown while its edits are unchanged, none while
    // the page is as it started, else the edits encoded (refused, as EncodeTexts, when they
    // cannot be).
    bool StoreToHeld() override;
    // The edits differ from the block last read, loaded or written (from what the page showed
    // at start, when there is none).
    bool HasUnsavedEdits() const override;
    // The block has gone to the module: the edits that made it are no longer unsaved.
    void Written(const TGprsBytes& block);

private:
    void LoadOperatorList();
    void LoadOperator(const QString& name);
    // False with the installer's message when the file was not changed.
    bool SaveOperator(const QString& name, QString& error);
    bool DeleteOperator(const QString& name, QString& error);
    QString OperatorsFileName() const;
    QLineEdit* FieldEdit(TGprsField field) const;

    Ui::TGPRSFrame* ui;
    TToolCore& FCore;
    TDeviceSession& FSession;
    std::optional<TGprsBytes> FShownBlock;
};
