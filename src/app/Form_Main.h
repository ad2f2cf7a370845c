#pragma once
#include <QWidget>

#include <memory>
#include <vector>

#include "device/ModuleAreas.h"
#include "module/HeldModule.h"
#include "pages/SettingsPage.h"

namespace Ui {
class TMainForm;
}
class QTimer;
class QToolButton;
class TCatalogueForm;
struct TCatalogueVersion;
class TPageControlFrame;
class TVirtualModule;
class TExchangeMonitorForm;
class TSerialLineForm;
class TDeviceSession;
class TToolCore;

// The tool's window: port choice, the three whole-device operations, "Сброс", and the tab bar
// with the seven pages. It talks to the module through the core's session; without a core
// handed in it makes one of its own.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(TToolCore* core = nullptr, QWidget* parent = nullptr);
    ~TMainForm() override;

    TToolCore& Core() { return FCore; }
    TDeviceSession& Session();

    TPageControlFrame* PageControl() const { return FPageControl; }
    THeldModule& Held() { return FHeld; }
    // The window's page of that class.
    template <class TPage>
    TPage* Page() const
    {
        for (TSettingsPage* page : FPages) {
            if (auto* typed = qobject_cast<TPage*>(page))
                return typed;
        }
        return nullptr;
    }

    // What the tool holds: the settings once filled, the Keys grid, and the GPRS block when the
    // page holds one. False, with the GPRS page shown and the reason told, when its edits cannot
    // be written.
    bool HeldCopy(TModuleCopy& copy);
    // Puts what a copy holds into what the tool holds and shows it on the pages of its areas;
    // nothing goes to the module.
    void ShowCopy(const TModuleCopy& copy);
    // The tab indexes of the pages showing unsaved edits, among those of the areas in `parts`.
    std::vector<int> UnsavedTabs(unsigned parts) const;

    // Before the window is shown: starts it on that port instead of the one ZEM.cfg keeps, which
    // stays as it is unless the operator chooses or types another port in the box.
    void ChoosePortForThisRun(const QString& port);

    // The "Файл" operations on a file chosen already; each tells the operator how it went.
    bool SaveToFile(const QString& fileName);
    bool OpenFile(const QString& fileName);
    // A version from the catalogue into the tool, as a file is opened.
    bool OpenVersion(const TCatalogueVersion& version);
    // Reads the whole module and records the read in the catalogue. False when it was not read
    // (the operator told why); `recordProblem` says why the catalogue did not take it.
    bool ReadWholeModule(const QString& title, TModuleCopy& copy, QString& recordProblem);
    bool ExportKeys(const QString& fileName);
    bool ImportKeys(const QString& fileName);
    bool SaveSupportReport(const QString& fileName);
    // "Журнал обмена", made at its first opening.
    TExchangeMonitorForm* ExchangeMonitor() const { return FMonitor.get(); }
    // "Серийная настройка", made at its first opening.
    TSerialLineForm* SerialLine() const { return FSerialLine.get(); }
    // "Каталог модулей", made at its first opening.
    TCatalogueForm* CatalogueWindow() const { return FCatalogueForm.get(); }
    // The line under the top strip about the catalogue: empty when it is where it was chosen.
    QString CatalogueLine() const;
    // The same at length, with the cause and where the records are kept meanwhile.
    QString CatalogueDetails() const;

public slots:
    void cbPortDropDown();
    void cbPortChange();
    void cbPortSelect(int index);
    void sbPingClick();
    void sbReadClick();
    void sbWriteClick();
    void sbDefaultsClick();
    void ReadAllClick();
    void WriteAllClick();
    void SaveFileClick();
    void OpenFileClick();
    void BackupsClick();
    void CatalogueClick();
    void CompareClick();
    void ExportKeysClick();
    void ImportKeysClick();
    void ExchangeMonitorClick();
    void SerialLineClick();
    void SupportReportClick();
    // While the catalogue works offline (and each minute by itself): sends what was recorded to
    // the server, and once it has gone the window works on the server again.
    void RetryCatalogueServer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void ShowPortName(const QString& port);
    void SetupFileMenu();
    // The strip's shortcuts, shown in the buttons' tips, and Ctrl+S for the page's "Сохранить".
    void SetupKeys();
    static QToolButton* PageSaveButton(QWidget* page);
    void SavePageClick();
    // The status line: what ended last, with the time; a failure in red.
    void Report(bool succeeded, const QString& line);
    // A success the operator is told of: on the status line and in a message, `more` below it.
    void Tell(const QString& done, const QString& more = QString());
    bool SettingsFilledOrWarn();
    // Before a write: offers to store the settings pages' unsaved edits. False when the operator
    // cancels, or a page refuses its edits (the page shown, the field focused).
    bool StoreBeforeWrite();
    // What replacing the areas in `parts` would lose: the pages' unsaved edits, and what the
    // module has not received. One sentence each; none when nothing would be lost.
    QStringList WhatWouldBeLost(unsigned parts) const;
    // Before the pages of the areas in `parts` are replaced: true when nothing would be lost, or
    // the operator lets it go (Enter keeps it). An operation's own question, when it has one, is
    // asked in the same breath.
    bool MayReplace(unsigned parts, const QString& question = QString());
    QString TabCaptions(const std::vector<int>& tabs) const;
    // The dialog is titled by its action.
    QString AskFileName(const QString& title, bool saving, const QString& filter, const QString& suggested);
    static QString CopyFilter();
    // Puts a copy from a file or the catalogue into the tool, asking first before it replaces
    // unsaved edits, and says so: "Загружено <from>: <parts> (<details>)." Nothing is sent.
    bool OpenCopy(const TModuleCopy& copy, const QString& from, const QString& details);
    // Shows or hides the catalogue's line, the window growing by its height.
    void ShowCatalogueState();
    void VersionRecorded();

    std::unique_ptr<TToolCore> FOwnCore;
    TToolCore& FCore;
    Ui::TMainForm* ui;
    THeldModule FHeld;
    TPageControlFrame* FPageControl = nullptr;
    std::vector<TSettingsPage*> FPages;  // in tab order, owned by the tab bar
    bool FShown = false;
    bool FClosed = false;
    bool FCloseWhenIdle = false;  // a close asked for during an operation, to follow its end
    QString FStartPort;           // chosen for this run, over ZEM.cfg's
    bool FKeepSavedPort = false;  // the box still shows the port chosen for this run
    std::unique_ptr<TVirtualModule> FVirtualModule;  // while the virtual module is chosen
    std::unique_ptr<TExchangeMonitorForm> FMonitor;
    std::unique_ptr<TSerialLineForm> FSerialLine;
    std::unique_ptr<TCatalogueForm> FCatalogueForm;
    QTimer* FOutboxTimer = nullptr;  // while offline: tries the server again
};
