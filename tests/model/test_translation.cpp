#include "AppPaths.h"
#include "Globals.h"
#include "SessionFixtures.h"
#include "Translation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TestFiles.h"
#include "TextBytes.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

class TranslationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FTemp.isValid());
        SetAppDataFolder(FTemp.path());
        ASSERT_TRUE(QDir().mkpath(DataFolder()));
        ResetTranslation();
    }
    void TearDown() override { ResetTranslation(); }
    QString Path(const char* name) const { return FTemp.filePath(QString::fromUtf8(name)); }

    QTemporaryDir FTemp;
};

}  // namespace

TEST_F(TranslationTest, LookupRules)
{
    // Without a list nothing is translated or recorded.
    EXPECT_EQ(Translate(" Shooter %d "), QStringLiteral(" Shooter %d "));
    EXPECT_FALSE(TranslationFaultFlag());
    EXPECT_FALSE(SaveTranslationFaults());
    EXPECT_FALSE(QFile::exists(TranslationFaultsFileName()));

    SetTranslationList({"Hello=Hallo", "HELLO=second", "Empty=", "Empty=later", "Spaced =x", "no separator",
                        "a=b=c", "Shooter %d=Schütze %d"});
    EXPECT_EQ(Translate("Hello"), QStringLiteral("Hallo"));
    EXPECT_EQ(Translate("hELLo"), QStringLiteral("Hallo"));       // letter case ignored, first line wins
    EXPECT_EQ(Translate("  Hello\t"), QStringLiteral("Hallo"));  // the key is trimmed
    EXPECT_EQ(Translate("a"), QStringLiteral("b=c"));            // the first '=' separates
    EXPECT_EQ(Translate("Shooter %d"), QStringLiteral("Schütze %d"));
    EXPECT_FALSE(TranslationFaultFlag());

    EXPECT_EQ(Translate("Empty"), QStringLiteral("Empty"));  // an empty value is missing
    EXPECT_EQ(Translate("Spaced"), QStringLiteral("Spaced"));
    EXPECT_EQ(Translate("no separator"), QStringLiteral("no separator"));
    EXPECT_EQ(Translate("  Missing  "), QStringLiteral("  Missing  "));  // returned with its blanks
    EXPECT_TRUE(TranslationFaultFlag());
    EXPECT_EQ(TranslationFaults(), (QStringList {"Empty", "Spaced", "no separator", "Missing"}));
}

TEST_F(TranslationTest, LoaderEncodings)
{
    const QString german = QStringLiteral("Größe=Größe €");
    struct Case {
        const char* Name;
        QByteArray Bytes;
    };
    const Case cases[] = {
        {"utf8", QByteArray("\xEF\xBB\xBF") + QStringLiteral("x=1\r\n%1\r\n").arg(german).toUtf8()},
        {"utf16le", Utf16Bytes(QStringLiteral("x=1\n%1\n").arg(german))},
        {"utf16be", Utf16Bytes(QStringLiteral("x=1\r%1").arg(german), false)},
        {"utf8 without mark", QStringLiteral("x=1\n%1").arg(german).toUtf8()},
        {"cp1252", QByteArray("x=1\r\nGr\xF6\xDF" "e=Gr\xF6\xDF" "e \x80\r\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Name);
        ResetTranslation();
        const QString path = Path(c.Name);
        WriteAll(path, c.Bytes);
        ASSERT_TRUE(LoadTranslationList(path));
        EXPECT_EQ(TranslationList(), (QStringList {"x=1", german}));
        EXPECT_EQ(Translate("x"), QStringLiteral("1"));
        EXPECT_EQ(Translate(QStringLiteral("GRÖSSE")), QStringLiteral("GRÖSSE"));  // not the same text
        EXPECT_EQ(Translate(QStringLiteral("größe")), QStringLiteral("Größe €"));
    }

    // A bad UTF-8 sequence spoils one character, not the list.
    WriteAll(Path("bad"), "\xEF\xBB\xBFok=gut\nbad=\xC3\x28\n");
    ASSERT_TRUE(LoadTranslationList(Path("bad")));
    EXPECT_EQ(Translate("ok"), QStringLiteral("gut"));
    // Half a UTF-16 character at the end is dropped.
    WriteAll(Path("odd"), Utf16Bytes("k=v") + "\x41");
    ASSERT_TRUE(LoadTranslationList(Path("odd")));
    EXPECT_EQ(Translate("k"), QStringLiteral("v"));

    // An unreadable file leaves the list alone.
    EXPECT_FALSE(LoadTranslationList(Path("missing")));
    EXPECT_EQ(Translate("k"), QStringLiteral("v"));
}

TEST_F(TranslationTest, FaultsFileOnlyWithAnInstalledTranslation)
{
    SetTranslationList({"Yes=Ja"});
    Translate("No");
    Translate("Cancel");
    Translate("no");
    // No translation file in the data folder: nothing is written.
    EXPECT_FALSE(SaveTranslationFaults());
    EXPECT_FALSE(QFile::exists(TranslationFaultsFileName()));

    WriteAll(TranslationFileName(), "\xEF\xBB\xBFYes=Ja\r\n");
    EXPECT_TRUE(SaveTranslationFaults());
    EXPECT_EQ(ReadAll(TranslationFaultsFileName()), QByteArray("\xEF\xBB\xBFNo\r\nCancel\r\n"));

    // The next run loads them; without a new fault this run writes nothing.
    ResetTranslation();
    ASSERT_TRUE(LoadTranslationList(TranslationFileName()));
    ASSERT_TRUE(LoadTranslationFaults(TranslationFaultsFileName()));
    EXPECT_EQ(TranslationFaults(), (QStringList {"No", "Cancel"}));
    Translate("Yes");
    Translate("CANCEL");  // already known: flag set, no new line
    EXPECT_TRUE(TranslationFaultFlag());
    EXPECT_EQ(TranslationFaults(), (QStringList {"No", "Cancel"}));
    Translate("Größe");
    EXPECT_TRUE(SaveTranslationFaults());
    ResetTranslation();
    ASSERT_TRUE(LoadTranslationFaults(TranslationFaultsFileName()));
    EXPECT_EQ(TranslationFaults(), (QStringList {"No", "Cancel", "Größe"}));
    EXPECT_FALSE(SaveTranslationFaults());  // loaded, but nothing recorded this run

    // A write that fails is reported.
    SetTranslationList({"Yes=Ja"});
    Translate("Other");
    ASSERT_TRUE(QFile::remove(TranslationFaultsFileName()));
    ASSERT_TRUE(QDir().mkdir(TranslationFaultsFileName()));
    EXPECT_THROW(SaveTranslationFaults(), Exception);
}

TEST_F(TranslationTest, InstallingALanguage)
{
    const QString german = Path("German.lang.txt");
    const QString french = Path("French.lang.txt");
    WriteAll(german, "\xEF\xBB\xBFYes=Ja\r\n");
    WriteAll(french, "\xEF\xBB\xBFYes=Oui\r\n");
    WriteAll(TranslationFaultsFileName(), "old fault\r\n");
    ASSERT_TRUE(LoadTranslationFaults(TranslationFaultsFileName()));

    EXPECT_EQ(InstallLanguageFile(Path("missing.lang.txt")), TLanguageChange::CopyFailed);
    EXPECT_EQ(TranslationFaults(), QStringList {"old fault"});

    EXPECT_EQ(InstallLanguageFile(german), TLanguageChange::Applied);
    EXPECT_EQ(Translate("Yes"), QStringLiteral("Ja"));
    EXPECT_FALSE(QFile::exists(TranslationFaultsFileName()));
    EXPECT_TRUE(TranslationFaults().isEmpty());

    // A later change needs a restart; the running list stays.
    EXPECT_EQ(InstallLanguageFile(french), TLanguageChange::RestartNeeded);
    EXPECT_EQ(Translate("Yes"), QStringLiteral("Ja"));
    EXPECT_EQ(ReadAll(TranslationFileName()), ReadAll(french));
}

TEST_F(TranslationTest, ConcurrentLookupsRecordEachFaultOnce)
{
    SetTranslationList({"Hit=Treffer"});
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([] {
            for (int i = 0; i < 500; ++i) {
                if (Translate("Hit") != QStringLiteral("Treffer"))
                    ADD_FAILURE();
                Translate(QStringLiteral("Text %1").arg(i % 50));
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(TranslationFaults().size(), 50);
}
