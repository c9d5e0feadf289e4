#include "Fonts.h"

#include <mutex>

namespace {

struct Substitution {
    const char* name;
    const char* family;
};

constexpr Substitution substitutions[] = {
    { "Arial", "Liberation Sans" },
    { "Courier New", "Liberation Mono" },
    { "Tahoma", "DejaVu Sans" },
};

} // namespace

void RegisterFontSubstitutions()
{
    static std::once_flag once;
    std::call_once(once, [] {
        for (const Substitution& s : substitutions)
            QFont::insertSubstitution(QString::fromLatin1(s.name), QString::fromLatin1(s.family));
    });
}

QString SubstituteFontFamily(const QString& name)
{
    for (const Substitution& s : substitutions) {
        if (name.compare(QLatin1String(s.name), Qt::CaseInsensitive) == 0)
            return QString::fromLatin1(s.family);
    }
    return name;
}

QFont MakeFont(const QString& name, int pixelHeight, bool bold)
{
    RegisterFontSubstitutions();
    QFont font(SubstituteFontFamily(name));
    font.setPixelSize(pixelHeight > 0 ? pixelHeight : 1);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}
