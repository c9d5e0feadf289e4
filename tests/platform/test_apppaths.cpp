#include "AppPaths.h"

#include <QDir>

#include <gtest/gtest.h>

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

TEST(AppPathsTest, DerivedPathsFollowTheDataFolder)
{
    SetAppDataFolder(QStringLiteral("/home/u/.local/share/"));
    EXPECT_EQ(AppDataFolder(), QStringLiteral("/home/u/.local/share"));
    EXPECT_EQ(DataFolder(), QStringLiteral("/home/u/.local/share/Tavrik/TRAXEL/"));
    EXPECT_EQ(ShotFilesFolder(), QStringLiteral("/home/u/.local/share/Tavrik/TRAXEL/Shot files"));
    EXPECT_EQ(SetupsFolder(), QStringLiteral("/home/u/.local/share/Tavrik/TRAXEL/Setups"));
    EXPECT_EQ(SettingsFileName(), QStringLiteral("/home/u/.local/share/Tavrik/TRAXEL/TRAXEL.settings.xml"));
    EXPECT_EQ(StandardDefaultSetupPath(), QStringLiteral("/home/u/.local/share/Tavrik/TRAXEL/Setups/default.setup.xml"));

    // Without a data location nothing points below the file-system root.
    SetAppDataFolder(QString());
    EXPECT_TRUE(DataFolder().isEmpty());
    EXPECT_TRUE(SettingsFileName().isEmpty());
    EXPECT_TRUE(SetupsFolder().isEmpty());
    EXPECT_TRUE(DefaultSetupPath().isEmpty());
}

TEST(AppPathsTest, AppFolderAndDefaultSetup)
{
    SetAppFolder(QStringLiteral("/opt/traxel/"));
    EXPECT_EQ(AppFolder(), QStringLiteral("/opt/traxel"));
    EXPECT_EQ(ShippedDefaultSetupPath(), QStringLiteral("/opt/traxel/default.setup.xml"));
    EXPECT_EQ(LanguagesFolder(), QStringLiteral("/opt/traxel/Languages"));

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
