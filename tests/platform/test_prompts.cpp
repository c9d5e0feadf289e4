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
