#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "IniFile.h"

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
    expected.replace('\r', "");
    normalised.replace('\r', "");
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
