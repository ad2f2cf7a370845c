#pragma once
#include <QMap>
#include <QWidget>

#include <memory>

#include "catalogue/Catalogue.h"
#include "device/ProductionLine.h"

class QLabel;
class QProgressBar;
class TExchangeRecorder;

namespace Ui {
class TSerialLineForm;
}

// "Серийная настройка": modules set up one after another with a template on one or several ports
// at once, with a tile per port (waiting, working, passed ✓ or failed ✗ with the cause), the
// counts of passed and failed modules, serial numbers from the module catalogue, the numbers left
// reserved there by a line that did not end (to release), and the CSV export of the report.
class TSerialLineForm : public QWidget {
    Q_OBJECT
public:
    static constexpr int MaxPorts = 8;

    TSerialLineForm(TExchangeRecorder& recorder, QWidget* owner);
    ~TSerialLineForm() override;

    // Loads the module copy written to every module; false after telling the operator why.
    bool SetTemplate(const QString& fileName);
    // Adds the port to the list, chosen.
    void AddPort(const QString& port);
    void SetReportFile(const QString& fileName);
    // The module catalogue (a file path or a server's URI); by default the one ZEM.cfg names,
    // else the default one.
    void SetCatalogue(const QString& url);
    // Reads the numbers left reserved anew.
    void RefreshReservations();
    // Starts the line on the chosen ports; false after telling the operator what is missing.
    bool Start();
    void Stop();
    bool Running() const { return FLine != nullptr; }

    int Passed() const { return FPassed; }
    int Failed() const { return FFailed; }
    // The port's tile as the operator reads it.
    QString TileText(const QString& port) const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    struct TTile {
        QWidget* Frame = nullptr;
        QLabel* State = nullptr;
        QProgressBar* Progress = nullptr;
        QString Ended;  // the last module's result, until the port waits for the next (a failure: until it answers)
        bool Failed = false;
    };
    void OnEvent(const TLineEvent& event);
    void ShowTile(TTile& tile, const QString& text, const QString& colour);
    void ShowCounts();
    void FillPorts();
    void ChooseTemplateClick();
    void StartStopClick();
    void EnableSetup(bool enabled);
    void ReleaseClick();
    // The window's own catalogue (its connection belongs to this thread), opened on first use.
    TCatalogue* Catalogue(QString& error);

    std::unique_ptr<Ui::TSerialLineForm> ui;
    TModuleCopy FTemplate;
    TExchangeRecorder& FRecorder;
    QString FCatalogueUrl;
    std::unique_ptr<TCatalogue> FCatalogue;
    QList<TSerialReservation> FReservations;
    std::unique_ptr<TProductionLine> FLine;
    QMap<QString, TTile> FTiles;
    int FPassed = 0;
    int FFailed = 0;
    int FPortsRunning = 0;
};
