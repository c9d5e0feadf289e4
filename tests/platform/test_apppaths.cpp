#include "AppPaths.h"

#include <QDir>

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

TEST(AppPathsTest, DerivedPathsFollowTheDataFolder)
{
    SetAppDataFolder(QStringLiteral("/home/u/.local/share/"));
    const QString d = QStringLiteral("/home/u/.local/share/Tavrik/TRAXEL/");
    EXPECT_EQ(std::tuple(AppDataFolder(), DataFolder(), ShotFilesFolder(), SetupsFolder()),
              std::tuple(QStringLiteral("/home/u/.local/share"), d, d + "Shot files", d + "Setups"));
    EXPECT_EQ(std::tuple(SettingsFileName(), StandardDefaultSetupPath()), std::tuple(d + "TRAXEL.settings.xml", d + "Setups/default.setup.xml"));

    // Without a data location nothing points below the file-system root.
    SetAppDataFolder(QString());
    EXPECT_EQ(DataFolder() + SettingsFileName() + SetupsFolder() + DefaultSetupPath(), QString());
}

TEST(AppPathsTest, AppFolderAndDefaultSetup)
{
    SetAppFolder(QStringLiteral("/opt/traxel/"));
    EXPECT_EQ(std::tuple(AppFolder(), ShippedDefaultSetupPath(), LanguagesFolder()),
              std::tuple(QStringLiteral("/opt/traxel"), QStringLiteral("/opt/traxel/default.setup.xml"), QStringLiteral("/opt/traxel/Languages")));

    SetAppDataFolder(QStringLiteral("/data"));
    EXPECT_EQ(DefaultSetupPath(), QStringLiteral("/data/Tavrik/TRAXEL/Setups/default.setup.xml"));
    SetDefaultSetupPath(QStringLiteral("/elsewhere/my.setup.xml"));
    EXPECT_EQ(DefaultSetupPath(), QStringLiteral("/elsewhere/my.setup.xml"));
    SetDefaultSetupPath(QString());
    EXPECT_EQ(DefaultSetupPath(), StandardDefaultSetupPath());
}

TEST(AppPathsTest, InitTakesTheCurrentDirectory)
{
    const QString before = QDir::currentPath();
    SetAppFolder(QStringLiteral("/nowhere"));
    InitAppPaths();
    EXPECT_EQ(AppFolder(), QDir::fromNativeSeparators(before));
    // Changing directory later does not move the program's folder.
    ASSERT_TRUE(QDir::setCurrent(QDir::tempPath()));
    EXPECT_EQ(AppFolder(), QDir::fromNativeSeparators(before));
    QDir::setCurrent(before);
}
