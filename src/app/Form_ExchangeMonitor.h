#pragma once
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>

#include "link/ExchangeRecorder.h"

class QTreeWidgetItem;

namespace Ui {
class TExchangeMonitorForm;
}

// "Журнал обмена": every frame of this run under its operation, live while an operation runs.
// A window of its own beside the main window; it reads the recorder while it is shown.
class TExchangeMonitorForm : public QWidget {
    Q_OBJECT
public:
    TExchangeMonitorForm(const TExchangeRecorder& recorder, QWidget* owner);
    ~TExchangeMonitorForm() override;

    // Takes in what the recorder has gained since the last look.
    void Refresh();
    // The rows shown (filters applied), or only the selected ones, a line each.
    QString ShownText(bool selectedOnly) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void ShowOperation(const TOperationRecord& operation);
    void ApplyFilters();
    void CopyClick();
    void SaveClick();

    std::unique_ptr<Ui::TExchangeMonitorForm> ui;
    const TExchangeRecorder& FRecorder;
    QTimer FPoll;
    uint64_t FSeenVersion = ~uint64_t(0);
    uint64_t FFirstOpen = 1;  // the first operation that may still change
    std::map<uint64_t, QTreeWidgetItem*> FItems;
};
