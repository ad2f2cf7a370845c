#pragma once
#include <QWidget>

#include <functional>
#include <memory>

#include "catalogue/Catalogue.h"

namespace Ui {
class TCatalogueForm;
}
class QTimer;

// What the catalogue's window asks of the tool's window.
struct TCatalogueHost {
    // Puts the version into the tool as "Открыть файл…" does; false when it did not.
    std::function<bool(const TCatalogueVersion&)> Open;
    // Reads the whole module from the port (a version of it recorded); false when it was not
    // read, the operator told why.
    std::function<bool(TModuleCopy&)> ReadModule;
};

// "Каталог модулей": finds modules as the operator types (serial number, site, a subscriber's
// phone, a key), shows the chosen one's history, keeps its site and notes, opens a version into
// the tool and compares two versions, or one with the module.
class TCatalogueForm : public QWidget {
    Q_OBJECT
public:
    TCatalogueForm(TCatalogue& catalogue, TCatalogueHost host, QWidget* owner);
    ~TCatalogueForm() override;

    // The line about where the catalogue is (offline, not open).
    void SetWhere(const QString& line);
    // Looks again for what is typed and reads the chosen module's history anew (a version was
    // just recorded); the chosen module stays chosen.
    void Refresh();

    const QList<TCatalogueModule>& Found() const { return FFound; }
    const QList<TCatalogueVersion>& History() const { return FHistory; }
    // The module chosen in the list, if any.
    const TCatalogueModule* Chosen() const;
    // Chooses the found module at that row (asking first about its unsaved site and notes).
    void ChooseModule(int row);
    // Selects those rows of the history.
    void ChooseVersions(const QList<int>& rows);

    // Site or notes typed and not saved.
    bool HasUnsavedEdits() const { return Unsaved(); }

    bool SaveModuleClick();
    void OpenClick();
    void CompareClick();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FindNow();
    void ShowFound(qint64 keep);
    void ModuleChanged();
    void ShowHistory();
    void SelectionChanged();
    void EditsChanged();
    bool Unsaved() const;
    // With unsaved site or notes: asks whether to save them. False when they could not be.
    bool SaveOrDrop();
    QList<int> ChosenRows() const;
    void ShowError(const QString& error);

    std::unique_ptr<Ui::TCatalogueForm> ui;
    TCatalogue& FCatalogue;
    TCatalogueHost FHost;
    QTimer* FFindTimer;
    QString FWhere;
    QList<TCatalogueModule> FFound;
    QList<TCatalogueVersion> FHistory;
    qint64 FShownModule = 0;  // the module whose site and notes the edits hold
    bool FChoosing = false;
};
