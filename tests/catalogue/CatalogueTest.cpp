// The catalogue on both databases: what it records, finds and hands out.
#include <gtest/gtest.h>

#include <QDir>
#include <QSysInfo>

#include "CatalogueKit.h"
#include "TempFiles.h"
#include "keys/Ow_keyutils.h"
#include "module/GprsBlock.h"
#include "module/ModuleFile.h"

namespace {

class CatalogueTest : public ::testing::TestWithParam<TBackend> {
protected:
    void SetUp() override
    {
        Spot = std::make_unique<TCatalogueSpot>(GetParam());
        if (!Spot->Unavailable.empty())
            GTEST_SKIP() << Spot->Unavailable;
        QString error;
        ASSERT_TRUE(Catalogue.Open(Spot->Url, error)) << error.toStdString();
    }

    qint64 Record(const TModuleCopy& copy, const QDateTime& time, TVersionKind kind = TVersionKind::Read,
                  const QString& port = QStringLiteral("/dev/ttyUSB0"))
    {
        TVersionInfo info;
        info.Kind = kind;
        info.Port = port;
        info.Time = time;
        QString error;
        qint64 version = 0;
        EXPECT_TRUE(Catalogue.Record(copy, info, error, &version)) << error.toStdString();
        return version;
    }

    QStringList Serials(const QString& text, int limit = 10)
    {
        QString error;
        QStringList serials;
        for (const TCatalogueModule& module : Catalogue.Find(text, limit, error))
            serials << (module.Serial.isEmpty() ? QStringLiteral("без номера") : module.Serial);
        EXPECT_TRUE(error.isEmpty()) << error.toStdString();
        return serials;
    }

    quint32 Reserve(quint32 series)
    {
        QString error;
        const std::optional<quint32> number = Catalogue.Reserve(series, QStringLiteral("/dev/ttyUSB1"), error);
        EXPECT_TRUE(number) << error.toStdString();
        return number.value_or(0);
    }

    bool Use(quint32 number, qint64 run = 0)
    {
        TVersionInfo info;
        info.Kind = TVersionKind::Line;
        info.Port = QStringLiteral("/dev/ttyUSB1");
        info.Run = run;
        QString error;
        return Catalogue.UseSerial(number, CatalogueCopy(GprsSerialText(number)), info, error);
    }

    std::unique_ptr<TCatalogueSpot> Spot;
    TCatalogue Catalogue;
    const QDateTime T0 = QDateTime(QDate(2024, 5, 1), QTime(9, 0));
};

std::string BackendParamName(const ::testing::TestParamInfo<TBackend>& info)
{
    return BackendName(info.param);
}

INSTANTIATE_TEST_SUITE_P(Both, CatalogueTest, ::testing::Values(TBackend::Sqlite, TBackend::Postgres), BackendParamName);

TEST_P(CatalogueTest, FindsAModuleBySerialSitePhoneAndKeyAsYouType)
{
    const qint64 keyA = 0x0000A1B2C3D4;
    const qint64 keyB = 1000;
    Record(CatalogueCopy(QStringLiteral("00012345"), {QStringLiteral("+79161234567")}, {keyA}), T0);
    Record(CatalogueCopy(QStringLiteral("00012399"), {QStringLiteral("+79035550011"), QStringLiteral("84951112233")}, {keyB}),
           T0.addSecs(60));
    Record(CatalogueCopy(QStringLiteral("00077777")), T0.addSecs(120));
    Record(CatalogueCopy(QString(), {QStringLiteral("+79990001122")}), T0.addSecs(180));
    // An older version's phone still finds its module.
    Record(CatalogueCopy(QStringLiteral("00077777"), {QStringLiteral("+74957776655")}), T0.addSecs(100));
    QString error;
    const auto a = Catalogue.ModuleBySerial(QStringLiteral("00012345"), error);
    const auto b = Catalogue.ModuleBySerial(QStringLiteral("00012399"), error);
    ASSERT_TRUE(a && b) << error.toStdString();
    ASSERT_TRUE(Catalogue.SetSiteAndNotes(a->Id, QStringLiteral("Склад на Ленина, 5"), QString(), error)) << error.toStdString();
    ASSERT_TRUE(Catalogue.SetSiteAndNotes(b->Id, QStringLiteral("Офис 100% Гагарина"), QString(), error));

    const QString codeB = QString::fromStdString(KeyCodeText(keyB, true));
    const struct {
        QString Text;
        QStringList Expected;  // newest first
    } cases[] = {
        {QStringLiteral("00012"), {QStringLiteral("00012399"), QStringLiteral("00012345")}},
        {QStringLiteral("0001239"), {QStringLiteral("00012399")}},
        {QStringLiteral("ленина"), {QStringLiteral("00012345")}},
        {QStringLiteral("ЛЕНИНА, 5"), {QStringLiteral("00012345")}},
        {QStringLiteral("на"), {QStringLiteral("00012399"), QStringLiteral("00012345")}},
        {QStringLiteral("100%"), {QStringLiteral("00012399")}},
        {QStringLiteral("0%"), {QStringLiteral("00012399")}},
        {QStringLiteral("916 123"), {QStringLiteral("00012345")}},
        {QStringLiteral("+7 (903) 555"), {QStringLiteral("00012399")}},
        {QStringLiteral("2233"), {QStringLiteral("00012399")}},
        {QStringLiteral("99"), {QStringLiteral("без номера")}},
        {QStringLiteral("6655"), {QStringLiteral("00077777")}},
        {QString::number(keyA), {QStringLiteral("00012345")}},
        {QStringLiteral("1000"), {QStringLiteral("00012399")}},
        {codeB.left(8), {QStringLiteral("00012399")}},
        {codeB.left(8).toLower().remove(QLatin1Char(' ')), {QStringLiteral("00012399")}},
        {QStringLiteral("нет такого"), {}},
        {QStringLiteral(" "), {QStringLiteral("без номера"), QStringLiteral("00077777"), QStringLiteral("00012399"),
                               QStringLiteral("00012345")}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Serials(c.Text), c.Expected) << "text: " << c.Text.toStdString();
    EXPECT_EQ(Serials(QString(), 2), (QStringList{QStringLiteral("без номера"), QStringLiteral("00077777")}));

    // A site changed is found by its new words only.
    ASSERT_TRUE(Catalogue.SetSiteAndNotes(a->Id, QStringLiteral("Котельная"), QStringLiteral("ключ у вахтёра"), error));
    EXPECT_EQ(Serials(QStringLiteral("ленина")), QStringList());
    EXPECT_EQ(Serials(QStringLiteral("котельн")), QStringList{QStringLiteral("00012345")});
    EXPECT_EQ(Catalogue.Module(a->Id, error)->Notes, QStringLiteral("ключ у вахтёра"));
    EXPECT_FALSE(Catalogue.SetSiteAndNotes(a->Id + 1000, QStringLiteral("x"), QString(), error));
}

TEST_P(CatalogueTest, KeepsEveryVersionOfAModuleWithWhoAndWhereNewestFirst)
{
    const TModuleCopy full = CatalogueCopy(QStringLiteral("00000042"), {QStringLiteral("+79161234567")}, {7, 8});
    const qint64 read = Record(full, T0);
    TModuleCopy settingsOnly;
    settingsOnly.Settings = full.Settings;
    (*settingsOnly.Settings)[10] = 0x33;
    TVersionInfo backup;
    backup.Kind = TVersionKind::Backup;
    backup.Port = QStringLiteral("/dev/ttyACM0");
    backup.Adapter = QStringLiteral("A10K3ZQX");
    backup.Serial = QStringLiteral("00000042");  // the copy has no GPRS block to say so
    backup.Time = T0.addSecs(60);
    QString error;
    ASSERT_TRUE(Catalogue.Record(settingsOnly, backup, error)) << error.toStdString();
    TVersionInfo write;
    write.Kind = TVersionKind::Write;
    write.Port = QStringLiteral("/dev/ttyACM0");
    write.Passed = false;
    write.Result = QStringLiteral("ключи: блок 3 из 8");
    write.Time = T0.addSecs(61);
    TModuleCopy commented = full;
    commented.KeyComments = QStringList{QStringLiteral("Иванов"), QStringLiteral("")};
    ASSERT_TRUE(Catalogue.Record(commented, write, error)) << error.toStdString();

    const auto module = Catalogue.ModuleBySerial(QStringLiteral("00000042"), error);
    ASSERT_TRUE(module) << error.toStdString();
    EXPECT_EQ(module->Versions, 3);
    EXPECT_EQ(module->LastPort, QStringLiteral("/dev/ttyACM0"));
    EXPECT_EQ(module->LastTime, T0.addSecs(61));
    const QList<TCatalogueVersion> history = Catalogue.History(module->Id, error);
    ASSERT_EQ(history.size(), 3) << error.toStdString();
    EXPECT_EQ(history[0].Info.Kind, TVersionKind::Write);
    EXPECT_FALSE(history[0].Info.Passed);
    EXPECT_EQ(history[0].Info.Result, QStringLiteral("ключи: блок 3 из 8"));
    EXPECT_EQ(history[0].Copy.KeyComments, commented.KeyComments);
    EXPECT_EQ(history[1].Info.Kind, TVersionKind::Backup);
    EXPECT_EQ(history[1].Info.Adapter, QStringLiteral("A10K3ZQX"));
    EXPECT_EQ(history[1].Copy.Parts(), unsigned(PartSettings));
    EXPECT_EQ(history[1].Copy.Settings, settingsOnly.Settings);
    EXPECT_EQ(history[2].Id, read);
    EXPECT_EQ(history[2].Copy.Settings, full.Settings);
    EXPECT_EQ(history[2].Copy.Keys, full.Keys);
    EXPECT_EQ(history[2].Copy.Gprs, full.Gprs);
    EXPECT_EQ(history[2].Info.Station, QSysInfo::machineHostName());
    EXPECT_FALSE(history[2].Info.User.isEmpty());
    EXPECT_EQ(history[2].Info.Serial, QStringLiteral("00000042"));
    EXPECT_EQ(history[0].Uid.size(), 36);
    EXPECT_NE(history[0].Uid, history[1].Uid);
    const auto again = Catalogue.Version(read, error);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->Uid, history[2].Uid);

    const QList<TCatalogueVersion> backups = Catalogue.Backups(10, error);
    ASSERT_EQ(backups.size(), 1);
    EXPECT_EQ(backups[0].Info.Port, QStringLiteral("/dev/ttyACM0"));

    // An erased number: a module of its own each time it is met.
    Record(CatalogueCopy(QString()), T0.addSecs(200), TVersionKind::Read, QStringLiteral("/dev/ttyUSB3"));
    Record(CatalogueCopy(QString()), T0.addSecs(300), TVersionKind::Read, QStringLiteral("/dev/ttyUSB3"));
    const QList<TCatalogueModule> all = Catalogue.Find(QString(), 10, error);
    ASSERT_EQ(all.size(), 3);
    EXPECT_TRUE(all[0].Serial.isEmpty() && all[1].Serial.isEmpty());
    EXPECT_NE(all[0].Id, all[1].Id);
    EXPECT_EQ(all[0].Versions, 1);
}

TEST_P(CatalogueTest, HandsOutSerialNumbersSeriesBySeriesNeverTwice)
{
    QString error;
    EXPECT_EQ(Reserve(5000), 5000u);
    EXPECT_EQ(Reserve(5000), 5001u);
    EXPECT_EQ(Reserve(5000), 5002u);
    EXPECT_TRUE(Use(5000));
    EXPECT_FALSE(Use(5000)) << "a number used up is not used again";
    ASSERT_TRUE(Catalogue.GiveBack(5001, error)) << error.toStdString();
    EXPECT_FALSE(Catalogue.GiveBack(5000, error)) << "a number used up is not given back";
    EXPECT_EQ(Reserve(5000), 5001u) << "the lowest free number of the series";

    QList<TSerialReservation> reserved = Catalogue.Reservations(error);
    ASSERT_EQ(reserved.size(), 2) << error.toStdString();
    EXPECT_EQ(reserved[0].Number + reserved[1].Number, 5001u + 5002u);
    EXPECT_EQ(reserved[0].Series, 5000u);
    EXPECT_EQ(reserved[0].Port, QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(reserved[0].Station, QSysInfo::machineHostName());
    EXPECT_FALSE(reserved[0].ProcessGone);

    // The module the line wrote shows a number other than the one it was given.
    TVersionInfo line;
    line.Kind = TVersionKind::Line;
    EXPECT_FALSE(Catalogue.UseSerial(5001, CatalogueCopy(QStringLiteral("00005002")), line, error));
    // A module seen holding a reserved number makes it that module's.
    Record(CatalogueCopy(QStringLiteral("00005002")), T0);
    reserved = Catalogue.Reservations(error);
    ASSERT_EQ(reserved.size(), 1);
    EXPECT_EQ(reserved[0].Number, 5001u);
    // And so does one holding a number no series gave out yet.
    Record(CatalogueCopy(QStringLiteral("00005004")), T0);
    EXPECT_EQ(Reserve(5000), 5003u);
    EXPECT_EQ(Reserve(5000), 5005u);

    // A later series, then the earlier one again: it goes on where it stopped, and steps over
    // what the later one gave out.
    EXPECT_EQ(Reserve(5007), 5007u);
    EXPECT_EQ(Reserve(5007), 5008u);
    EXPECT_EQ(Reserve(5000), 5006u);
    EXPECT_EQ(Reserve(5000), 5009u);
    EXPECT_EQ(Reserve(5007), 5010u);

    EXPECT_EQ(Reserve(LargestGprsSerial), LargestGprsSerial);
    error.clear();
    EXPECT_FALSE(Catalogue.Reserve(LargestGprsSerial, QStringLiteral("/dev/ttyUSB1"), error));
    EXPECT_TRUE(error.isEmpty()) << "the eight digits ran out: no number, and no failure";
    EXPECT_FALSE(Catalogue.Reserve(0, QStringLiteral("/dev/ttyUSB1"), error));
    EXPECT_FALSE(error.isEmpty());
}

TEST_P(CatalogueTest, ARunsReportRowsAreItsLineVersions)
{
    QString error;
    const qint64 run = Catalogue.BeginRun(error);
    ASSERT_GT(run, 0) << error.toStdString();
    const qint64 other = Catalogue.BeginRun(error);
    ASSERT_NE(other, run);
    const quint32 first = Reserve(100);
    const quint32 second = Reserve(100);
    ASSERT_TRUE(Use(second, run));
    ASSERT_TRUE(Use(first, run));
    Record(CatalogueCopy(QStringLiteral("00000100")), T0);  // a read: not a row of the report
    const QList<TCatalogueVersion> rows = Catalogue.RunVersions(run, error);
    ASSERT_EQ(rows.size(), 2) << error.toStdString();
    EXPECT_EQ(rows[0].Info.Serial, GprsSerialText(second));
    EXPECT_EQ(rows[1].Info.Serial, GprsSerialText(first));
    EXPECT_EQ(rows[0].Info.Run, run);
    EXPECT_TRUE(Catalogue.RunVersions(other, error).isEmpty());
}

TEST_P(CatalogueTest, TakesInTheOldBackupsAndCounterOnce)
{
    TTempDir old;
    const QString folder = QString::fromStdString(old / "backups");
    ASSERT_TRUE(QDir().mkpath(folder));
    QString error;
    const QDateTime saved(QDate(2023, 11, 2), QTime(10, 0));
    ASSERT_TRUE(SaveModuleFile(folder + QStringLiteral("/2023-11-02_10-00-00_ttyUSB0.zem"),
                               CatalogueCopy(QStringLiteral("00000042"), {QStringLiteral("+79161234567")}),
                               TModuleFileInfo{saved, QStringLiteral("/dev/ttyUSB0")}, error));
    TModuleCopy settingsOnly;
    settingsOnly.Settings = CatalogueCopy(QString()).Settings;
    ASSERT_TRUE(SaveModuleFile(folder + QStringLiteral("/SN00000043_2023-11-03_11-00-00_ttyUSB1.zem"), settingsOnly,
                               TModuleFileInfo{saved.addDays(1), QStringLiteral("/dev/ttyUSB1")}, error));
    WriteFile(folder.toStdString() + "/broken.zem", "{not a copy");
    const std::string counter = old / "serial-counter.txt";
    WriteFile(counter, "first 00007000\nnext 00007005\nfree 00007001 00007003\n");

    EXPECT_EQ(Catalogue.ImportOnce(folder, QString::fromStdString(counter), error), 2) << error.toStdString();
    EXPECT_EQ(Catalogue.ImportOnce(folder, QString::fromStdString(counter), error), 0) << "once";
    const QList<TCatalogueVersion> backups = Catalogue.Backups(10, error);
    ASSERT_EQ(backups.size(), 2);
    EXPECT_EQ(backups[0].Info.Serial, QStringLiteral("00000043"));
    EXPECT_EQ(backups[0].Info.Port, QStringLiteral("/dev/ttyUSB1"));
    EXPECT_EQ(backups[0].Info.Time, saved.addDays(1));
    EXPECT_EQ(backups[1].Info.Serial, QStringLiteral("00000042"));
    EXPECT_EQ(Serials(QStringLiteral("9161234")), QStringList{QStringLiteral("00000042")});
    EXPECT_EQ(Reserve(7000), 7001u);
    EXPECT_EQ(Reserve(7000), 7003u);
    EXPECT_EQ(Reserve(7000), 7005u);
}

TEST_P(CatalogueTest, OpensItsOwnSchemaAgainAndRefusesANewerOne)
{
    Record(CatalogueCopy(QStringLiteral("00000001")), T0);
    TCatalogue second;
    QString error;
    ASSERT_TRUE(second.Open(Spot->Url, error)) << error.toStdString();
    EXPECT_TRUE(second.ModuleBySerial(QStringLiteral("00000001"), error));
    EXPECT_EQ(second.IsServer(), GetParam() == TBackend::Postgres);
    EXPECT_FALSE(second.Offline());
    EXPECT_FALSE(second.Description().isEmpty());

    ASSERT_TRUE(Spot->Sql(QStringLiteral("UPDATE catalogue_schema SET version = 99")));
    TCatalogue newer;
    EXPECT_FALSE(newer.Open(Spot->Url, error));
    EXPECT_TRUE(error.contains(QStringLiteral("более новой версией"))) << error.toStdString();
}

}  // namespace
