// The catalogue in an SQLite file: the file itself, several processes on it, a process killed
// while it holds a number, a disk that fills at the commit.
#include <gtest/gtest.h>

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <set>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "CatalogueKit.h"
#include "TempFiles.h"
#include "module/GprsBlock.h"

namespace {

int Mode(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

TEST(CatalogueFile, IsCreatedOwnerOnlyAndRefusesWhatIsNotItsFile)
{
    TTempDir dir;
    const std::string path = dir / "new/folder/catalogue.sqlite";
    {
        TCatalogue catalogue;
        QString error;
        ASSERT_TRUE(catalogue.Open(Q(path), error)) << error.toStdString();
        EXPECT_TRUE(catalogue.Description().contains(Q(path)));
        ASSERT_TRUE(catalogue.Record(CatalogueCopy(QStringLiteral("00000001")), TVersionInfo(), error));
        EXPECT_EQ(Mode(path + "-wal"), 0600) << "the write-ahead log holds the same passwords";
    }
    EXPECT_EQ(Mode(path), 0600) << "it holds GPRS passwords";
    EXPECT_EQ(Mode(dir / "new/folder"), 0700);

    WriteFile(dir / "text.sqlite", "these are not the droids");
    ASSERT_EQ(symlink(path.c_str(), (dir / "link.sqlite").c_str()), 0);
    ASSERT_EQ(mkdir((dir / "folder.sqlite").c_str(), 0700), 0);
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        other.setDatabaseName(Q(dir / "other.sqlite"));
        ASSERT_TRUE(other.open());
        ASSERT_TRUE(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE accounts (name TEXT)")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    const struct {
        std::string Name;
        QString Cause;
    } refused[] = {
        {"link.sqlite", QStringLiteral("ссылка")},
        {"folder.sqlite", QStringLiteral("не обычный файл")},
        {"text.sqlite", QStringLiteral("не открывается")},
        {"other.sqlite", QStringLiteral("не каталог")},
    };
    for (const auto& r : refused) {
        TCatalogue catalogue;
        QString error;
        EXPECT_FALSE(catalogue.Open(Q(dir / r.Name), error)) << r.Name;
        EXPECT_TRUE(error.contains(r.Cause, Qt::CaseInsensitive)) << r.Name << ": " << error.toStdString();
        EXPECT_FALSE(catalogue.IsOpen());
    }
    EXPECT_EQ(ReadFile(dir / "text.sqlite"), "these are not the droids");
}

QProcess* StartHelper(const QStringList& args)
{
    auto* process = new QProcess;
    process->start(QStringLiteral(ZEM_CATALOGUE_HELPER), args);
    return process;
}

TEST(CatalogueFile, TwoProcessesTakingNumbersAtOnceNeverShareOne)
{
    TTempDir dir;
    const QString file = Q(dir / "catalogue.sqlite");
    {
        TCatalogue catalogue;
        QString error;
        ASSERT_TRUE(catalogue.Open(file, error)) << error.toStdString();
    }
    constexpr int kEach = 40;
    std::unique_ptr<QProcess> first(StartHelper({QStringLiteral("take"), file, QStringLiteral("1000"), QString::number(kEach)}));
    std::unique_ptr<QProcess> second(StartHelper({QStringLiteral("take"), file, QStringLiteral("1000"), QString::number(kEach)}));
    std::multiset<quint32> numbers;
    for (QProcess* process : {first.get(), second.get()}) {
        ASSERT_TRUE(process->waitForFinished(120000));
        EXPECT_EQ(process->exitCode(), 0) << process->readAllStandardError().toStdString();
        for (const QByteArray& line : process->readAllStandardOutput().split('\n'))
            if (!line.isEmpty())
                numbers.insert(line.toUInt());
    }
    ASSERT_EQ(numbers.size(), 2u * kEach);
    EXPECT_EQ(std::set<quint32>(numbers.begin(), numbers.end()).size(), numbers.size()) << "a number given out twice";
    EXPECT_EQ(*numbers.begin(), 1000u);
    EXPECT_EQ(*numbers.rbegin(), 1000u + 2 * kEach - 1);

    TCatalogue catalogue;
    QString error;
    ASSERT_TRUE(catalogue.Open(file, error));
    EXPECT_EQ(catalogue.Find(QString(), 1000, error).size(), 2 * kEach);
    EXPECT_TRUE(catalogue.Reservations(error).isEmpty());
}

TEST(CatalogueFile, ANumberReservedByAKilledProcessStaysReservedUntilReleased)
{
    TTempDir dir;
    const QString file = Q(dir / "catalogue.sqlite");
    std::unique_ptr<QProcess> holder(StartHelper({QStringLiteral("hold"), file, QStringLiteral("2000")}));
    while (!holder->canReadLine())
        ASSERT_TRUE(holder->waitForReadyRead(60000)) << holder->readAllStandardError().toStdString();
    EXPECT_EQ(holder->readLine().trimmed(), QByteArray("2000"));
    const qint64 pid = holder->processId();
    ::kill(pid_t(pid), SIGKILL);
    ASSERT_TRUE(holder->waitForFinished(60000));

    // The restart.
    TCatalogue catalogue;
    QString error;
    ASSERT_TRUE(catalogue.Open(file, error)) << error.toStdString();
    QList<TSerialReservation> reserved = catalogue.Reservations(error);
    ASSERT_EQ(reserved.size(), 1);
    EXPECT_EQ(reserved[0].Number, 2000u);
    EXPECT_EQ(reserved[0].Pid, pid);
    EXPECT_TRUE(reserved[0].ProcessGone);
    EXPECT_EQ(catalogue.Reserve(2000, QStringLiteral("/dev/ttyUSB0"), error), 2001u) << "not reused by itself";
    ASSERT_TRUE(catalogue.Release(2000, error)) << error.toStdString();
    EXPECT_EQ(catalogue.Reserve(2000, QStringLiteral("/dev/ttyUSB0"), error), 2000u);
    EXPECT_FALSE(catalogue.Release(1999, error));
}

TEST(CatalogueFile, AFullDiskAtTheCommitRecordsNothingAndGivesNoNumberOutAgain)
{
    TTempDir dir;
    const QString file = Q(dir / "catalogue.sqlite");
    int channel[2];
    ASSERT_EQ(pipe(channel), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(channel[0]);
        QByteArray said;
        {
            TCatalogue catalogue;
            QString error;
            std::optional<quint32> number;
            if (catalogue.Open(file, error))
                number = catalogue.Reserve(3000, QStringLiteral("/dev/ttyUSB0"), error);
            said += "reserved " + QByteArray::number(number.value_or(0)) + "\n";
            // From here on every write of the file fails, as on a full disk.
            TFileSizeLimit full(1);
            TVersionInfo info;
            info.Kind = TVersionKind::Line;
            const bool used = catalogue.UseSerial(3000, CatalogueCopy(QStringLiteral("00003000")), info, error);
            said += "used " + QByteArray::number(used) + " " + error.toUtf8() + "\n";
            error.clear();
            const bool recorded = catalogue.Record(CatalogueCopy(QStringLiteral("00000077")), info, error);
            said += "recorded " + QByteArray::number(recorded) + " " + error.toUtf8() + "\n";
        }
        const ssize_t written = write(channel[1], said.constData(), size_t(said.size()));
        _exit(written == said.size() ? 0 : 1);
    }
    close(channel[1]);
    QByteArray said;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        said.append(buffer, n);
    close(channel[0]);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const QList<QByteArray> lines = said.split('\n');
    ASSERT_GE(lines.size(), 3) << said.toStdString();
    EXPECT_EQ(lines[0], QByteArray("reserved 3000"));
    EXPECT_TRUE(lines[1].startsWith("used 0 ") && lines[1].size() > 10) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith("recorded 0 ") && lines[2].size() > 14) << lines[2].toStdString();

    TCatalogue catalogue;
    QString error;
    ASSERT_TRUE(catalogue.Open(file, error)) << error.toStdString();
    EXPECT_TRUE(catalogue.Find(QString(), 10, error).isEmpty()) << "no version of either";
    const QList<TSerialReservation> reserved = catalogue.Reservations(error);
    ASSERT_EQ(reserved.size(), 1);
    EXPECT_EQ(reserved[0].Number, 3000u) << "still out with the module, whatever it holds";
    EXPECT_EQ(catalogue.Reserve(3000, QStringLiteral("/dev/ttyUSB0"), error), 3001u);
}

}  // namespace
