#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QStringEncoder>
#include <QTemporaryDir>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "module/IniFile.h"
#include "util/Cp1251.h"

namespace {

QByteArray ReadBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// "== NAME" blocks of lines; '#' lines are notes.
QMap<QString, QStringList> Blocks(const QString& path)
{
    QMap<QString, QStringList> blocks;
    QString name;
    for (const QString& line : QString::fromUtf8(ReadBytes(path)).split(QLatin1Char('\n'))) {
        if (line.startsWith(QLatin1String("== ")))
            name = line.mid(3);
        else if (!name.isEmpty() && !line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            blocks[name] << line;
    }
    return blocks;
}

// A text as the reference records it: quoted, or, when long, by its length, hash and head.
QString Quoted(const QString& text)
{
    if (text.size() > 1000) {
        quint32 fnv = 2166136261u;
        for (char c : text.toUtf8())
            fnv = (fnv ^ static_cast<quint8>(c)) * 16777619u;
        return QStringLiteral("<len=%1 fnv=%2 head=%3>")
            .arg(text.size())
            .arg(fnv, 8, 16, QLatin1Char('0'))
            .arg(Quoted(text.left(16)));
    }
    QString quoted(QLatin1Char('"'));
    for (QChar c : text) {
        if (c == QLatin1Char('"'))
            quoted += QLatin1String("\\\"");
        else if (c.unicode() < 0x20)
            quoted += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            quoted += c;
    }
    return quoted + QLatin1Char('"');
}

QString Listed(QString line, const QStringList& names)
{
    line += QLatin1Char(':');
    for (const QString& name : names)
        line += QLatin1Char(' ') + Quoted(name);
    return line;
}

// "S<US>section" lists the keys; "K<US>section<US>key" reads the value.
QString Answer(const TIniFile& ini, const QString& probe)
{
    const QStringList f = probe.split(QChar(0x1F));
    if (f.value(0) == QLatin1String("S"))
        return Listed(QLatin1String("KEYS ") + Quoted(f.value(1)), ini.ReadSection(f.value(1)));
    return QStringLiteral("VAL %1 %2 = %3")
        .arg(Quoted(f.value(1)), Quoted(f.value(2)), Quoted(ini.ReadString(f.value(1), f.value(2), "<def>")));
}

class IniFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("ZEM.cfg")); }
};

}  // namespace

TEST_F(IniFileTest, missingFile_readsDefaultsAndFirstWriteCreatesIt)
{
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("MainForm", "Port", ""), QString());
    EXPECT_TRUE(ini.ReadBool("GetKeyForm", "Key", true));
    EXPECT_TRUE(ini.ReadSections().isEmpty());
    ASSERT_TRUE(ini.WriteString("MainForm", "Port", "/dev/ttyUSB0"));
    EXPECT_EQ(ReadBytes(path()), QByteArray("[MainForm]\r\nPort=/dev/ttyUSB0\r\n"));
}

TEST_F(IniFileTest, namesIgnoreCase_sectionsKeepFileOrder_valuesAreTrimmed)
{
    WriteBytes(path(), "; comment\r\n[Zeta]\r\n  Key = value with spaces  \r\n\r\n[alpha]\r\nA=1\r\n"
                       "[ZETA]\r\nKey=shadowed\r\n[Beta]\r\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("zeta", "KEY", "-"), QStringLiteral("value with spaces"));
    EXPECT_EQ(ini.ReadSections(), (QStringList{"Zeta", "alpha", "Beta"}));
    EXPECT_EQ(ini.ReadInteger("ALPHA", "a", 0), 1);
    EXPECT_EQ(ini.ReadInteger("alpha", "missing", 7), 7);

    // Writing an existing key replaces it in place; a new key joins the end of its section.
    ASSERT_TRUE(ini.WriteString("ZETA", "key", "new"));
    ASSERT_TRUE(ini.WriteString("Alpha", "B", "2"));
    EXPECT_EQ(ini.ReadString("Zeta", "Key", ""), QStringLiteral("new"));
    EXPECT_EQ(ini.ReadSection("alpha"), (QStringList{"A", "B"}));
    EXPECT_EQ(ReadBytes(path()), QByteArray("; comment\r\n[Zeta]\r\nKey=new\r\n\r\n[alpha]\r\nA=1\r\nB=2\r\n"
                                            "[ZETA]\r\nKey=shadowed\r\n[Beta]\r\n"));

    ASSERT_TRUE(ini.EraseSection("ALPHA"));
    EXPECT_EQ(ini.ReadSections(), (QStringList{"Zeta", "Beta"}));
    ASSERT_TRUE(ini.DeleteKey("zeta", "KEY"));
    EXPECT_FALSE(ini.ValueExists("Zeta", "Key"));
}

TEST_F(IniFileTest, cyrillicText_isStoredAsWindows1251AndReadBack)
{
    // "Билайн" as the Windows tool writes it.
    WriteBytes(path(), QByteArray("[\xC1\xE8\xEB\xE0\xE9\xED]\r\nAPN=internet.beeline.ru\r\n"));
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadSections(), QStringList{QStringLiteral("Билайн")});
    EXPECT_EQ(ini.ReadString(QStringLiteral("билайн"), "apn", ""), QStringLiteral("internet.beeline.ru"));

    ASSERT_TRUE(ini.WriteString(QStringLiteral("МТС"), "User", QStringLiteral("мтс")));
    const QByteArray bytes = ReadBytes(path());
    EXPECT_TRUE(bytes.contains("[\xCC\xD2\xD1]\r\nUser=\xEC\xF2\xF1\r\n")) << bytes.toHex(' ').constData();
}

TEST_F(IniFileTest, textWindows1251CannotHold_isRefusedAndFileStaysAsItWas)
{
    TIniFile ini(path());
    ASSERT_TRUE(ini.WriteString("S", "K", "old"));
    const QByteArray before = ReadBytes(path());
    EXPECT_FALSE(ini.WriteString("S", "K", QStringLiteral("日本")));
    EXPECT_FALSE(ini.WriteString(QStringLiteral("Ω"), "K", "v"));
    EXPECT_FALSE(ini.WriteString("S", "K", "two\nlines"));
    EXPECT_FALSE(ini.WriteString("S", "", "v"));
    EXPECT_FALSE(ini.WriteString("S[1]", "K", "v"));
    EXPECT_FALSE(ini.WriteString("S", " ;K", "v"));  // would be a comment, added again every time
    EXPECT_FALSE(ini.WriteString("S", "K", QStringLiteral("a%1b").arg(QChar(0))));
    EXPECT_FALSE(TIniFile::CanStore(QStringLiteral("€ и 日")));
    EXPECT_TRUE(TIniFile::CanStore(QStringLiteral("€ и №")));
    EXPECT_EQ(ReadBytes(path()), before);
}

TEST_F(IniFileTest, garbageOrUnwritableFile_neverCrashesAndLosesNothing)
{
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i)
        garbage += static_cast<char>((i * 7919 + 13) & 0xFF);
    garbage += "\n[MainForm]\nPort=/dev/ttyS0";
    WriteBytes(path(), garbage);
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString("MainForm", "Port", ""), QStringLiteral("/dev/ttyS0"));
    (void)ini.ReadSections();
    ASSERT_TRUE(ini.WriteString("MainForm", "Port", "/dev/ttyS1"));
    const QByteArray after = ReadBytes(path());
    EXPECT_TRUE(after.contains("Port=/dev/ttyS1"));
    // Every byte of the foreign content survives the rewrite (line ends aside).
    QByteArray expected = garbage;
    expected.replace("Port=/dev/ttyS0", "Port=/dev/ttyS1");
    QByteArray normalised = after;
    normalised.replace("\r\n", "\n");
    expected.replace("\r\n", "\n");
    expected.replace('\r', '\n');  // a lone CR ends a line too
    EXPECT_EQ(normalised.left(expected.size()), expected);

    // A file too large to take in whole reads as empty, and no write replaces it with the little
    // that was read.
    QByteArray huge("[MainForm]\r\nPort=/dev/ttyS0\r\n");
    huge += QByteArray(5 * 1024 * 1024, ';');
    WriteBytes(path(), huge);
    EXPECT_EQ(ini.ReadString("MainForm", "Port", "none"), QStringLiteral("none"));
    EXPECT_FALSE(ini.WriteString("MainForm", "Port", "/dev/ttyS1"));
    EXPECT_FALSE(ini.DeleteKey("MainForm", "Port"));
    EXPECT_FALSE(ini.EraseSection("MainForm"));
    EXPECT_EQ(ReadBytes(path()), huge);

    // A folder that does not exist cannot take the file: the write says so.
    TIniFile nowhere(dir.filePath(QStringLiteral("missing/ZEM.cfg")));
    EXPECT_FALSE(nowhere.WriteString("MainForm", "Port", "x"));
    EXPECT_EQ(nowhere.ReadString("MainForm", "Port", "default"), QStringLiteral("default"));
}

#ifndef _WIN32  // FIFOs and links to devices
TEST_F(IniFileTest, specialFileInPlaceOfTheFile_readsAsEmptyWithoutBlocking_andIsNeverReplaced)
{
    const QString fifo = dir.filePath(QStringLiteral("fifo")), zero = dir.filePath(QStringLiteral("zero")),
                  null = dir.filePath(QStringLiteral("null")), folder = dir.filePath(QStringLiteral("folder"));
    ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), zero));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), null));
    ASSERT_TRUE(QDir().mkpath(folder));
    const struct {
        QString Path;
        mode_t Type;
        QString Reason;
    } specials[] = {
        {fifo, S_IFIFO, QStringLiteral("это не обычный файл")},
        {zero, S_IFLNK, QStringLiteral("это не обычный файл")},
        {null, S_IFLNK, QStringLiteral("это не обычный файл")},
        {folder, S_IFDIR, QStringLiteral("это папка, а не файл")},
    };
    for (const auto& c : specials) {
        TIniFile ini(c.Path);
        EXPECT_EQ(ini.ReadString("MainForm", "Port", "none"), QStringLiteral("none"));
        EXPECT_TRUE(ini.ReadSections().isEmpty());
        EXPECT_FALSE(ini.WriteString("MainForm", "Port", "/dev/ttyS1"));
        EXPECT_TRUE(ini.LastError().endsWith(QStringLiteral("»: ") + c.Reason)) << ini.LastError().toStdString();
        struct stat st {};
        ASSERT_EQ(lstat(QFile::encodeName(c.Path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, c.Type);
    }
    struct stat st {};
    ASSERT_EQ(stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
}
#endif

TEST_F(IniFileTest, valueInOnePairOfMatchingQuotes_readsWithoutThem)
{
    WriteBytes(path(), "[Q]\r\nDouble=\"*100#\"\r\nSingle=' 111 '\r\nMixed=\"121'\r\nInner=a\"b\"\r\nLone=\"\r\n"
                       "Empty=\"\"\r\nTwice=\"\"x\"\"\r\n");
    TIniFile ini(path());
    const struct {
        const char* Key;
        const char* Value;
    } cases[] = {{"Double", "*100#"}, {"Single", " 111 "}, {"Mixed", "\"121'"}, {"Inner", "a\"b\""},
                 {"Lone", "\""},      {"Empty", ""},       {"Twice", "\"x\""}};
    for (const auto& c : cases)
        EXPECT_EQ(ini.ReadString("Q", c.Key, "-"), QString::fromLatin1(c.Value)) << c.Key;
}

TEST_F(IniFileTest, namesWithBlanksAround_findTheEntryAndWritesUpdateItInPlace)
{
    WriteBytes(path(), "top=0\r\n[Main]\r\nPort=COM1\r\n[C\r\nSpeed=9600\r\n[ Operators ]\r\nx=1\r\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadString(" Main ", "\tPort ", ""), QStringLiteral("COM1"));
    EXPECT_TRUE(ini.ValueExists("main ", " speed"));  // "[C" is no header: the key is still Main's
    EXPECT_TRUE(ini.SectionExists(" operators"));
    for (const char* section : {" Main ", "Main\t", "  MAIN"})
        ASSERT_TRUE(ini.WriteString(section, " Port ", "COM2"));
    ASSERT_TRUE(ini.WriteString("Main", "Speed ", "115200"));
    ASSERT_TRUE(ini.WriteString(" Operators ", " x ", "2"));
    EXPECT_EQ(ReadBytes(path()),
              QByteArray("top=0\r\n[Main]\r\nPort=COM2\r\n[C\r\nSpeed=115200\r\n[ Operators ]\r\nx=2\r\n"));

    ASSERT_TRUE(ini.DeleteKey(" main ", " PORT "));
    ASSERT_TRUE(ini.EraseSection(" Operators\t"));
    EXPECT_EQ(ini.ReadString("", "top", ""), QStringLiteral("0"));
    EXPECT_EQ(ReadBytes(path()), QByteArray("top=0\r\n[Main]\r\n[C\r\nSpeed=115200\r\n"));
}

TEST_F(IniFileTest, fileWithByteOrderMark_keepsItsFirstSectionAndItsEncodingAcrossWrites)
{
    const QByteArray utf8Bom("\xEF\xBB\xBF");
    WriteBytes(path(), utf8Bom + QStringLiteral("[Операторы]\r\nМТС=Билайн\r\n[A]\r\nx=1\r\n").toUtf8());
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadSections(), (QStringList{QStringLiteral("Операторы"), "A"}));
    ASSERT_TRUE(ini.WriteString(QStringLiteral("операторы"), QStringLiteral("мтс"), QStringLiteral("МТС Россия")));
    ASSERT_TRUE(ini.WriteString("A", "y", QStringLiteral("日本")));  // UTF-8 holds what Windows-1251 cannot
    EXPECT_EQ(ReadBytes(path()),
              utf8Bom + QStringLiteral("[Операторы]\r\nМТС=МТС Россия\r\n[A]\r\nx=1\r\ny=日本\r\n").toUtf8());

    QStringEncoder utf16(QStringConverter::Utf16LE);
    const QByteArray utf16Bom("\xFF\xFE");
    WriteBytes(path(), utf16Bom + QByteArray(utf16(QStringLiteral("[Опер]\r\nМТС=1\r\n"))));
    ASSERT_TRUE(ini.WriteString(QStringLiteral("Опер"), QStringLiteral("МТС"), "2"));
    EXPECT_EQ(ReadBytes(path()), utf16Bom + QByteArray(utf16(QStringLiteral("[Опер]\r\nМТС=2\r\n"))));

    // Bytes that are not UTF-8 after the mark would not survive a rewrite: no write is made.
    const QByteArray broken = utf8Bom + "[A]\r\nx=1\r\nbad=\xFF\r\n";
    WriteBytes(path(), broken);
    EXPECT_EQ(ini.ReadString("A", "x", ""), QStringLiteral("1"));
    EXPECT_FALSE(ini.WriteString("A", "x", "2"));
    EXPECT_EQ(ReadBytes(path()), broken);
}

TEST_F(IniFileTest, fileWithoutMark_staysWindows1251AndEveryLineEndBecomesCrlf)
{
    // "[Опер]", "МТС=1", "Билайн=2" in Windows-1251, with LF, lone CR and a trailing Ctrl-Z.
    WriteBytes(path(), "[\xCE\xEF\xE5\xF0]\n\xCC\xD2\xD1=1\r\xC1\xE8\xEB\xE0\xE9\xED=2\x1A\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadSection(QStringLiteral("опер")),
              (QStringList{QStringLiteral("МТС"), QStringLiteral("Билайн")}));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("Опер"), QStringLiteral("Билайн"), 0), 2);
    ASSERT_TRUE(ini.WriteString(QStringLiteral("опер"), QStringLiteral("мтс"), QStringLiteral("три")));
    EXPECT_EQ(ReadBytes(path()),
              QByteArray("[\xCE\xEF\xE5\xF0]\r\n\xCC\xD2\xD1=\xF2\xF0\xE8\r\n\xC1\xE8\xEB\xE0\xE9\xED=2\x1A\r\n"));
}

// Files from the Windows tool and from text editors, each read as Windows read it. Where we keep
// a rule of our own on purpose, ours.txt holds our answer instead, and every line there must
// still be needed.
TEST(IniReferenceTest, everyProbeReadsAsWindowsReadsIt)
{
    const QDir dir(QStringLiteral(ZEM_INI_REFERENCE_DIR));
    const QMap<QString, QStringList> reference = Blocks(dir.filePath("expected-reads.txt"));
    const QMap<QString, QStringList> ours = Blocks(dir.filePath("ours.txt"));
    ASSERT_EQ(reference.size(), 44);
    int probes = 0, agreed = 0;
    QSet<QString> needed;
    for (auto it = reference.cbegin(); it != reference.cend(); ++it) {
        const TIniFile ini(dir.filePath("cases/" + it.key()));
        const QByteArray probeBytes = ReadBytes(dir.filePath("probes/" + QFileInfo(it.key()).baseName() + ".txt"));
        QStringList queries = QString::fromStdString(Cp1251ToUtf8(probeBytes.toStdString())).split('\n');
        queries.removeLast();
        ASSERT_EQ(it.value().size(), queries.size() + 1) << qPrintable(it.key());
        QStringList answers{Listed(QStringLiteral("SECTIONS"), ini.ReadSections())};
        for (const QString& query : queries)
            answers << Answer(ini, query);
        for (int i = 0; i < answers.size(); ++i) {
            const bool agrees = answers[i] == it.value()[i];
            if (i > 0) {  // the first answer is the section list, no probe
                ++probes;
                agreed += agrees;
            }
            if (agrees)
                continue;
            if (ours.value(it.key()).contains(answers[i]))
                needed << it.key() + answers[i];
            else
                ADD_FAILURE() << qPrintable(it.key()) << "\n  reference: " << qPrintable(it.value()[i])
                              << "\n  ours:      " << qPrintable(answers[i]);
        }
    }
    for (auto it = ours.cbegin(); it != ours.cend(); ++it) {
        for (const QString& line : it.value())
            EXPECT_TRUE(needed.contains(it.key() + line)) << "not needed: " << qPrintable(it.key() + ": " + line);
    }
    RecordProperty("probes", probes);
    RecordProperty("agreed", agreed);
}
