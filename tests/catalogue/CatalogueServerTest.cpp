// The catalogue on a PostgreSQL server: the installers' rights, two stations at once, and the
// local file while the server is away.
#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <set>
#include <thread>

#include "CatalogueKit.h"
#include "TempFiles.h"
#include "module/GprsBlock.h"

namespace {

class CatalogueServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        Spot = std::make_unique<TCatalogueSpot>(TBackend::Postgres);
        if (!Spot->Unavailable.empty())
            GTEST_SKIP() << Spot->Unavailable;
    }
    TPgCluster& Cluster() { return SharedCluster(); }
    QString UrlAs(const std::string& user) const { return QString::fromStdString(SharedCluster().Url(Spot->Database, user)); }

    std::unique_ptr<TCatalogueSpot> Spot;
};

TEST_F(CatalogueServer, InstallersAddVersionsButMayNeitherChangeNorDeleteThem)
{
    QString error;
    {
        TCatalogue admin;
        ASSERT_TRUE(admin.Open(Spot->Url, error)) << error.toStdString();
    }
    ASSERT_TRUE(Cluster().Sql(Spot->Database, "DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'fitter') "
                                              "THEN CREATE ROLE fitter LOGIN; END IF; END $$; GRANT zem_installer TO fitter"));
    TCatalogue fitter;
    ASSERT_TRUE(fitter.Open(UrlAs("fitter"), error)) << error.toStdString();
    TVersionInfo info;
    info.Port = QStringLiteral("/dev/ttyUSB0");
    ASSERT_TRUE(fitter.Record(CatalogueCopy(QStringLiteral("00000042")), info, error)) << error.toStdString();
    const auto module = fitter.ModuleBySerial(QStringLiteral("00000042"), error);
    ASSERT_TRUE(module);
    EXPECT_TRUE(fitter.SetSiteAndNotes(module->Id, QStringLiteral("Склад"), QString(), error)) << error.toStdString();
    EXPECT_TRUE(fitter.Reserve(10, info.Port, error)) << error.toStdString();
    EXPECT_GT(fitter.BeginRun(error), 0) << error.toStdString();

    for (const char* sql : {"UPDATE versions SET result = 'подправлено'", "DELETE FROM versions",
                            "UPDATE catalogue_schema SET version = 2", "DELETE FROM modules"}) {
        std::string output;
        EXPECT_FALSE(Cluster().Sql(Spot->Database, sql, &output, "fitter")) << sql;
        EXPECT_NE(output.find("permission denied"), std::string::npos) << sql << ": " << output;
    }
    EXPECT_EQ(fitter.History(module->Id, error).size(), 1);

    // A database without the schema: the installer may not make it, and hears who may.
    ASSERT_TRUE(Cluster().CreateDatabase(Spot->Database + "_empty"));
    TCatalogue fresh;
    EXPECT_FALSE(fresh.Open(QString::fromStdString(Cluster().Url(Spot->Database + "_empty", "fitter")), error));
    EXPECT_TRUE(error.contains(QStringLiteral("Роль «fitter» не может создать схему"))) << error.toStdString();
}

TEST_F(CatalogueServer, TwoStationsTakingNumbersAtOnceNeverShareOne)
{
    QString error;
    {
        TCatalogue admin;
        ASSERT_TRUE(admin.Open(Spot->Url, error)) << error.toStdString();
    }
    // Two series close together: the second runs into numbers the first is giving out.
    constexpr int kEach = 25;
    std::vector<quint32> taken[2];
    QString failures[2];
    const auto station = [&](int n, quint32 series) {
        TCatalogue catalogue;
        QString e;
        if (!catalogue.Open(Spot->Url, e)) {
            failures[n] = e;
            return;
        }
        const QString port = QStringLiteral("/dev/ttyUSB%1").arg(n);
        for (int i = 0; i < kEach; ++i) {
            const std::optional<quint32> number = catalogue.Reserve(series, port, e);
            TVersionInfo info;
            info.Kind = TVersionKind::Line;
            info.Port = port;
            if (!number || !catalogue.UseSerial(*number, CatalogueCopy(GprsSerialText(*number)), info, e)) {
                failures[n] = e;
                return;
            }
            taken[n].push_back(*number);
        }
    };
    std::thread first(station, 0, 1000);
    std::thread second(station, 1, 1010);
    first.join();
    second.join();
    EXPECT_TRUE(failures[0].isEmpty()) << failures[0].toStdString();
    EXPECT_TRUE(failures[1].isEmpty()) << failures[1].toStdString();
    std::set<quint32> all(taken[0].begin(), taken[0].end());
    all.insert(taken[1].begin(), taken[1].end());
    EXPECT_EQ(all.size(), taken[0].size() + taken[1].size()) << "a number given out twice";
    EXPECT_EQ(all.size(), 2u * kEach);
}

TEST_F(CatalogueServer, WhatWasRecordedWhileTheServerWasAwayGoesUpOnce)
{
    TTempDir local;
    TCatalogue catalogue;
    catalogue.SetLocalLocation(QString::fromStdString(local / "catalogue.sqlite"));
    QString error;
    ASSERT_TRUE(catalogue.OpenPreferred(Spot->Url, error)) << error.toStdString();
    ASSERT_TRUE(catalogue.IsServer());
    TVersionInfo info;
    info.Port = QStringLiteral("/dev/ttyUSB0");
    ASSERT_TRUE(catalogue.Record(CatalogueCopy(QStringLiteral("00000001")), info, error)) << error.toStdString();

    ASSERT_TRUE(Cluster().Stop());
    ASSERT_TRUE(catalogue.Record(CatalogueCopy(QStringLiteral("00000002"), {QStringLiteral("+79161234567")}), info, error))
        << error.toStdString();
    EXPECT_TRUE(catalogue.Offline());
    EXPECT_FALSE(catalogue.Description().contains(QLatin1Char('\n')));
    EXPECT_TRUE(catalogue.Description().contains(QString::fromStdString(local.Path))) << catalogue.Description().toStdString();
    const auto module = catalogue.ModuleBySerial(QStringLiteral("00000002"), error);
    ASSERT_TRUE(module);
    ASSERT_TRUE(catalogue.SetSiteAndNotes(module->Id, QStringLiteral("Котельная"), QStringLiteral("ночью"), error));
    EXPECT_FALSE(catalogue.Reserve(1, info.Port, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("нумерация требует сервера каталога: "))) << error.toStdString();
    EXPECT_EQ(catalogue.SendOutbox(error), -1) << "the server is still away";
    EXPECT_TRUE(catalogue.Offline());

    ASSERT_TRUE(Cluster().Start()) << Cluster().Why();
    EXPECT_EQ(catalogue.SendOutbox(error), 2) << error.toStdString();
    EXPECT_TRUE(catalogue.IsServer());
    EXPECT_FALSE(catalogue.Offline());
    EXPECT_EQ(catalogue.Find(QString(), 10, error).size(), 2);
    const QList<TCatalogueModule> found = catalogue.Find(QStringLiteral("котельн"), 10, error);
    ASSERT_EQ(found.size(), 1) << error.toStdString();
    EXPECT_EQ(found[0].Serial, QStringLiteral("00000002"));
    EXPECT_EQ(found[0].Notes, QStringLiteral("ночью"));
    ASSERT_EQ(catalogue.Find(QStringLiteral("9161234"), 10, error).size(), 1);

    // The outbox row outlived the server's commit (a crash between the two): sent again, the
    // version is there once.
    {
        QSqlDatabase file = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("local"));
        file.setDatabaseName(QString::fromStdString(local / "catalogue.sqlite"));
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(QSqlQuery(file).exec(QStringLiteral("INSERT INTO outbox (what, version) SELECT 'version', id FROM versions")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("local"));
    TCatalogue again;
    again.SetLocalLocation(QString::fromStdString(local / "catalogue.sqlite"));
    ASSERT_TRUE(again.OpenPreferred(Spot->Url, error)) << error.toStdString();
    EXPECT_EQ(again.SendOutbox(error), 0) << error.toStdString();
    EXPECT_EQ(again.SendOutbox(error), 0) << "the outbox is empty";
    std::string output;
    ASSERT_TRUE(Cluster().Sql(Spot->Database, "SELECT count(*) FROM versions", &output));
    EXPECT_EQ(output, "2\n");
}

TEST_F(CatalogueServer, StartsOnTheLocalFileWhenTheServerIsAway)
{
    TTempDir local;
    {
        TCatalogue admin;
        QString error;
        ASSERT_TRUE(admin.Open(Spot->Url, error)) << error.toStdString();
    }
    ASSERT_TRUE(Cluster().Stop());
    TCatalogue catalogue;
    catalogue.SetLocalLocation(QString::fromStdString(local / "catalogue.sqlite"));
    QString error;
    const bool opened = catalogue.OpenPreferred(Spot->Url, error);
    TVersionInfo info;
    info.Port = QStringLiteral("/dev/ttyUSB0");
    const bool recorded = opened && catalogue.Record(CatalogueCopy(QStringLiteral("00000005")), info, error);
    ASSERT_TRUE(Cluster().Start()) << Cluster().Why();
    ASSERT_TRUE(opened) << error.toStdString();
    ASSERT_TRUE(recorded) << error.toStdString();
    EXPECT_TRUE(catalogue.Offline());
    EXPECT_FALSE(catalogue.IsServer());
    EXPECT_TRUE(catalogue.Description().contains(QStringLiteral("недоступен"))) << catalogue.Description().toStdString();
    EXPECT_EQ(catalogue.SendOutbox(error), 1) << error.toStdString();
    EXPECT_TRUE(catalogue.ModuleBySerial(QStringLiteral("00000005"), error));
    EXPECT_EQ(catalogue.SendOutbox(error), 0);
}

}  // namespace
