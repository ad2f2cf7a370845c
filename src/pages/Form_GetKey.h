#pragma once
#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>

#include "keys/Ow_keyutils.h"
#include "module/TypedKey.h"

class QTimer;
class QString;

class TDeviceSession;
class TIniFile;
class TKeyReadRun;

namespace Ui {
class TGetKeyForm;
}

// "Ввод ключа": one key laid on the module's reader (read on the session's task thread while the
// dialog waits) or typed as a code or as a card's serial number. The reading never outlives the
// dialog and never touches it: the dialog's timer looks at the run. The port is open, and the
// session's record of it runs, while the dialog is shown.
class TGetKeyForm : public QDialog {
    Q_OBJECT
public:
    TGetKeyForm(QWidget* owner, TDeviceSession& session, TIniFile& config);
    ~TGetKeyForm() override;

    // The accepted key in display order (CRC first, family code last).
    const uint8_t* Key() const { return FKey; }
    bool OneMoreKey() const;
    // Before the dialog is shown: the key the dialog before took. Its reading passes over that
    // key while it still lies on the reader (TKeyReadRun::PassOver).
    void PassOver(const TKeyRecord& key) { FPassOver = key; }

    void sbStartClick();
    void sbStopClick();
    void TimerTimer();
    void rbKeyClick();
    void sbOkClick();
    void sbCancelClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void FormShow();
    void FormClose();
    void LoadOptions();
    void SaveOptions();
    void ShowKey();
    void ShowStatus(const QString& text, const QColor& color);
    void LightSquare(int index, bool lit);
    // The typed text as a key in display order; false after telling the operator why not.
    bool TypedKey(uint8_t key[KeyCodeSize]);
    bool ReadingRuns() const;

    std::unique_ptr<Ui::TGetKeyForm> ui;
    TDeviceSession& FSession;
    TIniFile& FConfig;
    QTimer* FTimer;
    int FLightTag = 0;
    uint8_t FKey[KeyCodeSize] = {};
    std::shared_ptr<TKeyReadRun> FRun;
    bool FShown = false;
    bool FClosed = false;
    bool FPortOpen = false;
    bool FShowingKeyFormat = true;  // the format the edit's text is in
    std::optional<TKeyRecord> FPassOver;  // for the first reading only
};

// Asks the operator for one key in the modal "Ввод ключа" dialog, laid on the module's reader
// or typed. 0: cancelled; 1: a key; 2: a key, and another one is wanted ("Ввести еще один
// ключ"). With a key, the record holds its six serial bytes, its CRC for family 0x01 and
// parameter 0. `passOver`, for one more key, is the key the dialog before gave: left lying on
// the reader, it is not read again until it has been taken away.
int GetKey(QWidget* owner, TDeviceSession& session, TIniFile& config, TKeyRecord* record,
           const TKeyRecord* passOver = nullptr);
