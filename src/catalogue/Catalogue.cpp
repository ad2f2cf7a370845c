#include "catalogue/Catalogue.h"

#include "catalogue/CatalogueCore.h"

class TCatalogue::TImpl : public TCatalogueCore {};

QString TCatalogue::DefaultLocation()
{
    return DefaultCatalogueLocation();
}

bool TCatalogue::IsServerUrl(const QString& url)
{
    return IsCatalogueServerUrl(url);
}

TCatalogue::TCatalogue() : FImpl(std::make_unique<TImpl>()) {}

TCatalogue::~TCatalogue() = default;

bool TCatalogue::Open(const QString& url, QString& error)
{
    return FImpl->Open(url, error);
}

bool TCatalogue::OpenPreferred(const QString& url, QString& error)
{
    return FImpl->OpenPreferred(url, error);
}

void TCatalogue::SetLocalLocation(const QString& file)
{
    FImpl->SetLocalLocation(file);
}

bool TCatalogue::IsOpen() const
{
    return FImpl->IsOpen();
}

bool TCatalogue::IsServer() const
{
    return FImpl->IsServer();
}

bool TCatalogue::Offline() const
{
    return FImpl->IsOffline();
}

QString TCatalogue::Description() const
{
    return FImpl->Description();
}

int TCatalogue::SendOutbox(QString& error)
{
    return FImpl->SendOutbox(error);
}

bool TCatalogue::Record(const TModuleCopy& copy, const TVersionInfo& info, QString& error, qint64* version)
{
    return FImpl->Record(copy, info, error, version);
}

QList<TCatalogueModule> TCatalogue::Find(const QString& text, int limit, QString& error)
{
    return FImpl->Find(text, limit, error);
}

std::optional<TCatalogueModule> TCatalogue::Module(qint64 id, QString& error)
{
    return FImpl->Module(id, error);
}

std::optional<TCatalogueModule> TCatalogue::ModuleBySerial(const QString& serial, QString& error)
{
    return FImpl->ModuleBySerial(serial, error);
}

QList<TCatalogueVersion> TCatalogue::History(qint64 module, QString& error)
{
    return FImpl->History(module, error);
}

std::optional<TCatalogueVersion> TCatalogue::Version(qint64 id, QString& error)
{
    return FImpl->Version(id, error);
}

bool TCatalogue::SetSiteAndNotes(qint64 module, const QString& site, const QString& notes, QString& error)
{
    return FImpl->SetSiteAndNotes(module, site, notes, error);
}

QList<TCatalogueVersion> TCatalogue::Backups(int limit, QString& error)
{
    return FImpl->Backups(limit, error);
}

std::optional<quint32> TCatalogue::Reserve(quint32 series, const QString& port, QString& error)
{
    return FImpl->Reserve(series, port, error);
}

bool TCatalogue::UseSerial(quint32 number, const TModuleCopy& copy, const TVersionInfo& info, QString& error,
                           qint64* version)
{
    return FImpl->UseSerial(number, copy, info, error, version);
}

bool TCatalogue::GiveBack(quint32 number, QString& error)
{
    return FImpl->GiveBack(number, error);
}

QList<TSerialReservation> TCatalogue::Reservations(QString& error)
{
    return FImpl->Reservations(error);
}

bool TCatalogue::Release(quint32 number, QString& error)
{
    return FImpl->Release(number, error);
}

qint64 TCatalogue::BeginRun(QString& error)
{
    return FImpl->BeginRun(error);
}

QList<TCatalogueVersion> TCatalogue::RunVersions(qint64 run, QString& error)
{
    return FImpl->RunVersions(run, error);
}

int TCatalogue::ImportOnce(const QString& backupsFolder, const QString& counterFile, QString& error)
{
    return FImpl->ImportOnce(backupsFolder, counterFile, error);
}

QString VersionKindText(TVersionKind kind)
{
    switch (kind) {
    case TVersionKind::Read:
        return QStringLiteral("чтение");
    case TVersionKind::Backup:
        return QStringLiteral("резервная копия");
    case TVersionKind::Write:
        return QStringLiteral("запись");
    case TVersionKind::Line:
        return QStringLiteral("серийная настройка");
    }
    return QString();
}

QString ModuleSerialText(const QString& serial)
{
    return serial.isEmpty() ? QStringLiteral("без номера") : serial;
}
