// Serial numbers as transactions of the database: whoever holds the series row (SQLite's write
// lock, PostgreSQL's row lock) picks the number, and the unique key on the number refuses a
// second holder of it whatever happens elsewhere.
#include <QSqlQuery>

#include <vector>

#include "catalogue/CatalogueCore.h"
#include "catalogue/CatalogueTerms.h"
#include "module/GprsBlock.h"

namespace {

const QString kNumbering = QStringLiteral("Каталог не выдал серийный номер");

struct TSeriesRange {
    qint64 First = 0;
    qint64 Next = 0;
};

// The lowest number from `from` on that no series has handed out and no module is known to hold.
bool FirstUnused(TStore& store, qint64 from, const std::vector<TSeriesRange>& others, qint64& number, QString& error)
{
    constexpr int kBatch = 256;
    number = from;
    for (bool moved = true; moved && number <= LargestGprsSerial;) {
        moved = false;
        for (const TSeriesRange& range : others) {
            if (range.First <= number && number < range.Next) {
                number = range.Next;
                moved = true;
            }
        }
        QSqlQuery taken = store.Prepare(QStringLiteral("SELECT number FROM serial_numbers WHERE number >= ? ORDER BY number LIMIT ?"));
        taken.addBindValue(number);
        taken.addBindValue(kBatch);
        if (!store.Exec(taken, kNumbering, error))
            return false;
        while (taken.next() && taken.value(0).toLongLong() == number) {
            ++number;
            moved = true;
        }
    }
    return true;
}

bool ReserveIn(TStore& store, quint32 series, const QString& port, std::optional<quint32>& reserved, QString& error)
{
    reserved.reset();
    const bool pg = store.Dialect() == TDialect::Postgres;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QSqlQuery start = store.Prepare(QStringLiteral("INSERT INTO serial_series (first_number, next_number, started) "
                                                   "VALUES (?, ?, ?) ON CONFLICT DO NOTHING"));
    start.addBindValue(qint64(series));
    start.addBindValue(qint64(series));
    start.addBindValue(now);
    QSqlQuery own = store.Prepare(QStringLiteral("SELECT next_number FROM serial_series WHERE first_number = ?") +
                                  (pg ? QStringLiteral(" FOR UPDATE") : QString()));
    own.addBindValue(qint64(series));
    if (!store.Exec(start, kNumbering, error) || !store.Exec(own, kNumbering, error) || !own.next())
        return false;
    const qint64 next = own.value(0).toLongLong();

    QSqlQuery freed = store.Prepare(QStringLiteral("SELECT min(number) FROM serial_numbers WHERE series = ? AND state = 'free'"));
    freed.addBindValue(qint64(series));
    if (!store.Exec(freed, kNumbering, error))
        return false;
    if (freed.next() && !freed.value(0).isNull()) {
        const qint64 number = freed.value(0).toLongLong();
        QSqlQuery take = store.Prepare(QStringLiteral("UPDATE serial_numbers SET state = 'reserved', station = ?, pid = ?, "
                                                      "port = ?, time_ms = ?, module = NULL WHERE number = ?"));
        take.addBindValue(SqlText(ThisStation()));
        take.addBindValue(ThisProcess());
        take.addBindValue(SqlText(port));
        take.addBindValue(now);
        take.addBindValue(number);
        if (!store.Exec(take, kNumbering, error))
            return false;
        reserved = quint32(number);
        return true;
    }

    std::vector<TSeriesRange> others;
    QSqlQuery ranges = store.Prepare(QStringLiteral("SELECT first_number, next_number FROM serial_series WHERE first_number <> ?"));
    ranges.addBindValue(qint64(series));
    if (!store.Exec(ranges, kNumbering, error))
        return false;
    while (ranges.next())
        others.push_back({ranges.value(0).toLongLong(), ranges.value(1).toLongLong()});
    qint64 number = 0;
    if (!FirstUnused(store, next, others, number, error))
        return false;
    if (number > LargestGprsSerial)
        return true;
    QSqlQuery take = store.Prepare(QStringLiteral("INSERT INTO serial_numbers (number, series, state, station, pid, port, time_ms) "
                                                  "VALUES (?, ?, 'reserved', ?, ?, ?, ?)"));
    take.addBindValue(number);
    take.addBindValue(qint64(series));
    take.addBindValue(SqlText(ThisStation()));
    take.addBindValue(ThisProcess());
    take.addBindValue(SqlText(port));
    take.addBindValue(now);
    QSqlQuery advance = store.Prepare(QStringLiteral("UPDATE serial_series SET next_number = ? WHERE first_number = ?"));
    advance.addBindValue(number + 1);
    advance.addBindValue(qint64(series));
    if (!store.Exec(take, kNumbering, error) || !store.Exec(advance, kNumbering, error))
        return false;
    reserved = quint32(number);
    return true;
}

// A number reserved and not used up becomes free.
bool Free(TCatalogueCore& d, quint32 number, QString& error)
{
    if (!d.Numbering(error))
        return false;
    const auto body = [&](TStore& store, QString& e) {
        QSqlQuery free = store.Prepare(QStringLiteral("UPDATE serial_numbers SET state = 'free', module = NULL "
                                                      "WHERE number = ? AND state = 'reserved'"));
        free.addBindValue(qint64(number));
        if (!store.Exec(free, QStringLiteral("Каталог не освободил серийный номер"), e))
            return false;
        if (free.numRowsAffected() == 1)
            return true;
        e = QStringLiteral("Серийный номер %1 не зарезервирован.").arg(GprsSerialText(number));
        return false;
    };
    return d.Write(body, error);
}

}  // namespace

std::optional<quint32> TCatalogueCore::Reserve(quint32 series, const QString& port, QString& error)
{
    error.clear();
    if (!Numbering(error))
        return std::nullopt;
    if (series == 0 || series > LargestGprsSerial) {
        error = QStringLiteral("Серия серийных номеров начинается с числа от 1 до %1.").arg(LargestGprsSerial);
        return std::nullopt;
    }
    std::optional<quint32> reserved;
    if (!Write([&](TStore& store, QString& e) { return ReserveIn(store, series, port, reserved, e); }, error))
        return std::nullopt;
    return reserved;
}

bool TCatalogueCore::UseSerial(quint32 number, const TModuleCopy& copy, const TVersionInfo& info, QString& error,
                           qint64* version)
{
    if (!Numbering(error))
        return false;
    const QString serial = GprsSerialText(number);
    if (copy.Gprs && CopySerial(copy) != serial) {
        error = QStringLiteral("Модуль не хранит серийный номер %1: номер не отмечен.").arg(serial);
        return false;
    }
    TVersionInfo held = info;
    held.Serial = serial;
    const TVersionRow row = MakeRow(copy, held);
    TRecorded recorded;
    const auto body = [&](TStore& store, QString& e) {
        QSqlQuery state = store.Prepare(QStringLiteral("SELECT state FROM serial_numbers WHERE number = ?") +
                                        (store.Dialect() == TDialect::Postgres ? QStringLiteral(" FOR UPDATE") : QString()));
        state.addBindValue(qint64(number));
        if (!store.Exec(state, kNumbering, e))
            return false;
        if (state.next() && state.value(0).toString() == QLatin1String("used")) {
            e = QStringLiteral("Серийный номер %1 уже выдан другому модулю.").arg(serial);
            return false;
        }
        // The version's own statement makes the number used, as the module's.
        return RecordRow(store, row, recorded, e);
    };
    if (!Write(body, error))
        return false;
    if (version)
        *version = recorded.Version;
    return true;
}

bool TCatalogueCore::GiveBack(quint32 number, QString& error)
{
    return Free(*this, number, error);
}

bool TCatalogueCore::Release(quint32 number, QString& error)
{
    return Free(*this, number, error);
}

QList<TSerialReservation> TCatalogueCore::Reservations(QString& error)
{
    QList<TSerialReservation> reservations;
    if (!Numbering(error))
        return reservations;
    const QString station = ThisStation();
    const auto body = [&](TStore& store, QString& e) {
        QSqlQuery query = store.Prepare(QStringLiteral("SELECT number, series, station, pid, port, time_ms FROM serial_numbers "
                                                       "WHERE state = 'reserved' ORDER BY time_ms, number"));
        if (!store.Exec(query, QStringLiteral("Каталог не прочитал зарезервированные номера"), e))
            return false;
        reservations.clear();
        while (query.next()) {
            TSerialReservation r;
            r.Number = quint32(query.value(0).toLongLong());
            r.Series = quint32(query.value(1).toLongLong());
            r.Station = query.value(2).toString();
            r.Pid = query.value(3).toLongLong();
            r.Port = query.value(4).toString();
            r.Time = QDateTime::fromMSecsSinceEpoch(query.value(5).toLongLong());
            r.ProcessGone = r.Station == station && r.Pid > 0 && !ProcessAlive(r.Pid);
            reservations << r;
        }
        return true;
    };
    if (!Read(body, error))
        reservations.clear();
    return reservations;
}
