#include "Prompts.h"

#include <QtGlobal>

#include <atomic>

// The defaults choose nothing: an implementation that cannot ask must not
// make the caller overwrite or print anything.
QString IPrompts::OpenFileName(const TFileRequest&) { return QString(); }
QString IPrompts::SaveFileName(const TFileRequest&) { return QString(); }
bool IPrompts::ChooseColour(uint32_t*) { return false; }
bool IPrompts::PrintDialog(QPrinter*) { return false; }
void IPrompts::Beep() {}

namespace {

class TSilentPrompts final : public IPrompts {
public:
    TMsgResult MessageBox(const QString& text, const QString& caption, TMsgButtons buttons) override
    {
        qWarning("%s: %s", qUtf8Printable(caption), qUtf8Printable(text));
        switch (buttons) {
        case TMsgButtons::OK: return TMsgResult::OK;
        case TMsgButtons::OKCancel: return TMsgResult::Cancel;
        case TMsgButtons::YesNo: return TMsgResult::No;
        case TMsgButtons::YesNoCancel: return TMsgResult::Cancel;
        case TMsgButtons::AbortRetryIgnore: return TMsgResult::Abort;
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
