#include "Translation.h"

#include "AppPaths.h"
#include "Globals.h"
#include "XmlNames.h"

#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <mutex>
#include <new>

namespace {

struct TTranslationState {
    std::mutex Lock;
    QStringList List;
    // Case-folded name part -> value of the first line with that name.
    QHash<QString, QString> FirstValue;
    QStringList Faults;
    QSet<QString> FaultKeys;  // case-folded
    bool FaultFlag = false;
};

TTranslationState& State()
{
    static TTranslationState state;
    return state;
}

QString FoldKey(const QString& text) { return text.toCaseFolded(); }

// Case-folded name part -> value of the first line with that name. Built
// before the lock is taken, so a failure leaves the installed list whole.
QHash<QString, QString> FirstValues(const QStringList& lines)
{
    QHash<QString, QString> first;
    first.reserve(lines.size());
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;  // a line without '=' names nothing
        const QString key = FoldKey(line.left(eq));
        if (!first.contains(key))
            first.insert(key, line.mid(eq + 1));
    }
    return first;
}

struct TFaults {
    QStringList Lines;
    QSet<QString> Keys;  // case-folded
};

// Each text once, letter case ignored.
TFaults UniqueFaults(const QStringList& lines)
{
    TFaults faults;
    for (const QString& line : lines) {
        const QString key = FoldKey(line);
        if (faults.Keys.contains(key))
            continue;
        faults.Keys.insert(key);
        faults.Lines.append(line);
    }
    return faults;
}

// Runs a loader; running out of memory fails it like an unreadable file.
template <class F>
bool LoadGuarded(const QString& path, F&& load)
{
    try {
        return load();
    } catch (const std::bad_alloc&) {
        DebugLog(QStringLiteral("Cannot read file %1: not enough memory").arg(path));
        return false;
    }
}

// The line that names the list's language; never a program text.
const char* const LanguageNameKey = "Language name";

}  // namespace

QString Translate(const QString& text)
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    if (s.List.isEmpty())
        return text;
    const QString key = text.trimmed();
    if (key.isEmpty())
        return text;  // nothing to translate; a blank fault line would help no one
    const QString folded = FoldKey(key);
    const auto found = s.FirstValue.constFind(folded);
    if (found != s.FirstValue.constEnd() && !found->isEmpty())
        return *found;
    s.FaultFlag = true;
    if (!s.FaultKeys.contains(folded)) {
        s.FaultKeys.insert(folded);
        s.Faults.append(key);
    }
    return text;
}

QString TranslationLanguageName()
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    return s.FirstValue.value(FoldKey(QLatin1String(LanguageNameKey))).trimmed();
}

QLocale LocaleOfLanguageName(const QString& name)
{
    const QString key = name.trimmed().toCaseFolded();
    if (key.isEmpty())
        return QLocale::c();
    // Names first: a short name such as "Ga" must not be taken for a code.
    for (int i = QLocale::C + 1; i <= QLocale::LastLanguage; ++i) {
        const auto language = static_cast<QLocale::Language>(i);
        const QLocale locale(language);
        if (locale.language() != language)
            continue;  // Qt has no data for it
        if (QLocale::languageToString(language).toCaseFolded() == key
            || locale.nativeLanguageName().toCaseFolded() == key)
            return locale;
    }
    static const QRegularExpression code(QStringLiteral("^[a-z]{2,3}([_-][a-z0-9]{2,4})*$"));
    if (code.match(key).hasMatch()) {
        const QLocale locale(name.trimmed());
        if (locale.language() != QLocale::C)
            return locale;
    }
    return QLocale::c();
}

QString TranslationFileName()
{
    const QString folder = DataFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1String(XmlNames::TranslationsFile);
}

QString TranslationFaultsFileName()
{
    const QString folder = DataFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1String(XmlNames::TranslationFaultsFile);
}

// ---- The translation list ----------------------------------------------------------------

bool LoadTranslationList(const QString& path)
{
    return LoadGuarded(path, [&path] {
        QStringList lines;
        QString error;
        if (!ReadTextFileLines(path, lines, &error)) {
            DebugLog(error);
            return false;
        }
        SetTranslationList(lines);
        return true;
    });
}

void SetTranslationList(const QStringList& lines)
{
    QHash<QString, QString> first = FirstValues(lines);
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    s.List = lines;
    s.FirstValue = std::move(first);
}

QStringList TranslationList()
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    return s.List;
}

// ---- Faults ---------------------------------------------------------------------------

bool LoadTranslationFaults(const QString& path)
{
    return LoadGuarded(path, [&path] {
        QStringList lines;
        QString error;
        if (!ReadTextFileLines(path, lines, &error)) {
            DebugLog(error);
            return false;
        }
        TFaults faults = UniqueFaults(lines);
        TTranslationState& s = State();
        std::lock_guard<std::mutex> lock(s.Lock);
        s.Faults = std::move(faults.Lines);
        s.FaultKeys = std::move(faults.Keys);
        return true;
    });
}

QStringList TranslationFaults()
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    return s.Faults;
}

bool TranslationFaultFlag()
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    return s.FaultFlag;
}

void ClearTranslationFaults()
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Faults.clear();
    s.FaultKeys.clear();
}

bool SaveTranslationFaults()
{
    QStringList faults;
    {
        TTranslationState& s = State();
        std::lock_guard<std::mutex> lock(s.Lock);
        if (!s.FaultFlag || s.Faults.isEmpty())
            return false;
        faults = s.Faults;
    }
    const QString translations = TranslationFileName();
    if (translations.isEmpty() || !QFile::exists(translations))
        return false;
    WriteTextFileLines(TranslationFaultsFileName(), faults);
    return true;
}

void ResetTranslation()
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    s.List.clear();
    s.FirstValue.clear();
    s.Faults.clear();
    s.FaultKeys.clear();
    s.FaultFlag = false;
}

// ---- Changing the language ---------------------------------------------------------------

namespace {

bool CopyLanguageFile(const QString& source, const QString& target)
{
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    try {
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return false;
        file.close();
        WriteFileAtomically(target, bytes);
        return true;
    } catch (const Exception& e) {
        DebugLog(e.Message());
    } catch (const std::bad_alloc&) {
        DebugLog(QStringLiteral("Cannot read file %1: not enough memory").arg(source));
    }
    return false;
}

}  // namespace


TLanguageChange InstallLanguageFile(const QString& chosenFile)
{
    const QString target = TranslationFileName();
    if (target.isEmpty())
        return TLanguageChange::CopyFailed;
    const bool hadTranslation = QFile::exists(target);

    // A write-protected old translation must not block the new one.
    if (hadTranslation)
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    if (!CopyLanguageFile(chosenFile, target))
        return TLanguageChange::CopyFailed;

    const QString faultsFile = TranslationFaultsFileName();
    if (QFile::exists(faultsFile))
        QFile::remove(faultsFile);
    ClearTranslationFaults();

    if (hadTranslation)
        return TLanguageChange::RestartNeeded;
    LoadTranslationList(target);
    return TLanguageChange::Applied;
}
