#include "Prompts.h"

#include <QtGlobal>

#include <atomic>

namespace {

class TSilentPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) override
    {
        qWarning("%s: %s", qUtf8Printable(caption), qUtf8Printable(text));
        switch (buttons) {
        case TMsgButtons::OK: return TMsgResult::OK;
        case TMsgButtons::YesNo: return TMsgResult::No;
        case TMsgButtons::YesNoCancel: return TMsgResult::Cancel;
        }
        return TMsgResult::Cancel;
    }
};

std::atomic<IPrompts*> InstalledPrompts {nullptr};

}  // namespace

IPrompts& Prompts()
{
    if (IPrompts* p = InstalledPrompts.load())
        return *p;
    static TSilentPrompts silent;
    return silent;
}

IPrompts* SetPrompts(IPrompts* prompts) { return InstalledPrompts.exchange(prompts); }
