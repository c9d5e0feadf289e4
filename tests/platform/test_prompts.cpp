#include "Prompts.h"

#include <QStringList>

#include <gtest/gtest.h>

namespace {

class TAnswerYes final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons) override
    {
        Seen << text + '|' + caption;
        return TMsgResult::Yes;
    }
    QStringList Seen;
};

}  // namespace

TEST(PromptsTest, FallbackNeverAgreesToAnything)
{
    SetPrompts(nullptr);
    EXPECT_EQ(Prompts().MessageBox("a", "b", TMsgButtons::OK), TMsgResult::OK);
    EXPECT_EQ(Prompts().MessageBox("a", "b", TMsgButtons::YesNo), TMsgResult::No);
    EXPECT_EQ(Prompts().MessageBox("a", "b", TMsgButtons::YesNoCancel), TMsgResult::Cancel);
    EXPECT_EQ(Prompts().MessageBox("a", "b", TMsgButtons::OKCancel), TMsgResult::Cancel);
    EXPECT_EQ(Prompts().MessageBox("a", "b", TMsgButtons::AbortRetryIgnore), TMsgResult::Abort);
    EXPECT_TRUE(Prompts().SaveFileName(TFileRequest {}).isEmpty());
    uint32_t colour = 7;
    EXPECT_FALSE(Prompts().ChooseColour(&colour));
    EXPECT_EQ(colour, 7u);
}

TEST(PromptsTest, InstalledPromptsAnswerUntilRemoved)
{
    TAnswerYes fake;
    EXPECT_EQ(SetPrompts(&fake), nullptr);
    EXPECT_EQ(Prompts().MessageBox("Delete?", "Question", TMsgButtons::YesNo), TMsgResult::Yes);
    EXPECT_EQ(fake.Seen, QStringList { QStringLiteral("Delete?|Question") });

    EXPECT_EQ(SetPrompts(nullptr), &fake);
    EXPECT_EQ(Prompts().MessageBox("Delete?", "Question", TMsgButtons::YesNo), TMsgResult::No);
    EXPECT_EQ(fake.Seen.size(), 1);
}
