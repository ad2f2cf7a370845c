#pragma once
#include <QWidget>

#include <memory>

namespace Ui {
class TMainForm;
}
class TPageControlFrame;
class TVirtualModule;

// The tool's window: port choice, the three whole-device operations, "Сброс", and the tab bar
// with the seven pages. Creating it starts the shared objects; closing it stops them.
class TMainForm : public QWidget {
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);
    ~TMainForm() override;

    TPageControlFrame* PageControl() const { return FPageControl; }
    // Whether SettingsImage holds real settings since start (a successful read or a reset).
    bool ImageFilled() const { return FImageFilled; }

public slots:
    void cbPortDropDown();
    void cbPortChange();
    void cbPortSelect(int index);
    void sbPingClick();
    void sbReadClick();
    void sbWriteClick();
    void sbDefaultsClick();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void paHolderResize();
    void ReloadImagePages();
    void ShowPortName(const QString& port);

    Ui::TMainForm* ui;
    TPageControlFrame* FPageControl = nullptr;
    bool FShown = false;
    bool FClosed = false;
    bool FImageFilled = false;
    bool FCloseWhenIdle = false;
    std::unique_ptr<TVirtualModule> FVirtualModule;  // while the virtual module is chosen  // a close asked for during an operation, to follow its end
};

extern TMainForm* MainForm;
