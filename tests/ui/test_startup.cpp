// The program's start-up and shutdown against a scratch data folder.
#include "AppPaths.h"
#include "UiGlobals.h"
#include "UiRig.h"

#include <QFileInfo>

namespace {

class StartupTest : public UiRigTest {};

TEST_F(StartupTest, FirstRunCreatesTheFoldersAndCopiesTheDefaultSetupOnce)
{
    ASSERT_TRUE(StartProgram());
    EXPECT_EQ(prompts.Count(QStringLiteral("User profile lacks some necessary storage folders. These folders are created.")), 1);
    EXPECT_TRUE(QFileInfo::exists(ShotFilesFolder()));
    EXPECT_TRUE(QFileInfo::exists(SetupsFolder() + QStringLiteral("/default.setup.xml")));
    EXPECT_NE(FormStartMenu, nullptr);
    StopProgram();
    EXPECT_EQ(FormStartMenu, nullptr);

    prompts.shown.clear();
    ASSERT_TRUE(StartProgram());
    EXPECT_TRUE(prompts.shown.empty());
}

}  // namespace
