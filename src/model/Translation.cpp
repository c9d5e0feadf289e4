#include "Translation.h"

#include "AppPaths.h"
#include "Globals.h"
#include "XmlNames.h"

#include <QFile>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <QStringDecoder>

#include <mutex>

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

// Caller holds the lock.
void SetListLocked(TTranslationState& s, const QStringList& lines)
{
    s.List = lines;
    s.FirstValue.clear();
    s.FirstValue.reserve(lines.size());
    for (const QString& line : lines) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0)
            continue;  // a line without '=' names nothing
        const QString key = FoldKey(line.left(eq));
        if (!s.FirstValue.contains(key))
            s.FirstValue.insert(key, line.mid(eq + 1));
    }
}

// Caller holds the lock.
void SetFaultsLocked(TTranslationState& s, const QStringList& lines)
{
    s.Faults.clear();
    s.FaultKeys.clear();
    for (const QString& line : lines) {
        const QString key = FoldKey(line);
        if (s.FaultKeys.contains(key))
            continue;
        s.FaultKeys.insert(key);
        s.Faults.append(line);
    }
}

bool StartsWith(const QByteArray& bytes, std::initializer_list<unsigned char> mark)
{
    if (bytes.size() < qsizetype(mark.size()))
        return false;
    qsizetype i = 0;
    for (unsigned char b : mark)
        if (static_cast<unsigned char>(bytes[i++]) != b)
            return false;
    return true;
}

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

// ---- Text files ----------------------------------------------------------------------

QString DecodeTextBytes(const QByteArray& bytes, bool* valid)
{
    if (valid)
        *valid = true;
    const auto decode = [&](QStringConverter::Encoding encoding, qsizetype markLength) {
        QByteArrayView body = QByteArrayView(bytes).sliced(markLength);
        bool ok = true;
        if (encoding != QStringConverter::Utf8 && body.size() % 2 != 0) {
            body = body.first(body.size() - 1);  // a dangling half character
            ok = false;
        }
        // Stateless: a further mark after the first one stays a character.
        QStringDecoder decoder(encoding, QStringConverter::Flag::ConvertInitialBom | QStringConverter::Flag::Stateless);
        QString text = decoder(body);
        if (decoder.hasError())
            ok = false;
        if (valid)
            *valid = ok;
        return text;
    };
    if (StartsWith(bytes, {0xEF, 0xBB, 0xBF}))
        return decode(QStringConverter::Utf8, 3);
    if (StartsWith(bytes, {0xFF, 0xFE}))
        return decode(QStringConverter::Utf16LE, 2);
    if (StartsWith(bytes, {0xFE, 0xFF}))
        return decode(QStringConverter::Utf16BE, 2);
    return FromCodePage(bytes);
}

QStringList SplitTextLines(const QString& text)
{
    QStringList lines;
    const qsizetype n = text.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        const QChar c = text[i];
        if (c == u'\n' || c == u'\r') {
            lines.append(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
                ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < n)
        lines.append(text.mid(start));
    return lines;
}

bool ReadTextFileLines(const QString& path, QStringList& lines, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Cannot open file %1: %2").arg(path, file.errorString());
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot read file %1: %2").arg(path, file.errorString());
        return false;
    }
    bool valid = true;
    lines = SplitTextLines(DecodeTextBytes(bytes, &valid));
    if (!valid)
        DebugLog(QStringLiteral("Invalid characters replaced in ") + path);
    return true;
}

void WriteTextFileLines(const QString& path, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines) {
        text.append(line);
        text.append(QLatin1String("\r\n"));
    }
    const QByteArray data = QByteArray("\xEF\xBB\xBF") + text.toUtf8();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Exception(QStringLiteral("Cannot write file %1: %2").arg(path, file.errorString()));
    if (file.write(data) != data.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw Exception(QStringLiteral("Cannot write file %1: %2").arg(path, reason));
    }
    if (!file.commit())
        throw Exception(QStringLiteral("Cannot write file %1: %2").arg(path, file.errorString()));
}

// ---- The translation list ----------------------------------------------------------------

bool LoadTranslationList(const QString& path)
{
    QStringList lines;
    QString error;
    if (!ReadTextFileLines(path, lines, &error)) {
        DebugLog(error);
        return false;
    }
    SetTranslationList(lines);
    return true;
}

void SetTranslationList(const QStringList& lines)
{
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    SetListLocked(s, lines);
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
    QStringList lines;
    QString error;
    if (!ReadTextFileLines(path, lines, &error)) {
        DebugLog(error);
        return false;
    }
    TTranslationState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    SetFaultsLocked(s, lines);
    return true;
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
    SetListLocked(s, QStringList());
    s.Faults.clear();
    s.FaultKeys.clear();
    s.FaultFlag = false;
}

// ---- Changing the language ---------------------------------------------------------------

TLanguageChange InstallLanguageFile(const QString& chosenFile)
{
    const QString target = TranslationFileName();
    if (target.isEmpty())
        return TLanguageChange::CopyFailed;
    const bool hadTranslation = QFile::exists(target);

    QFile source(chosenFile);
    if (!source.open(QIODevice::ReadOnly))
        return TLanguageChange::CopyFailed;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError)
        return TLanguageChange::CopyFailed;
    source.close();

    // A write-protected old translation must not block the new one.
    if (hadTranslation)
        QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return TLanguageChange::CopyFailed;
    if (out.write(bytes) != bytes.size()) {
        out.cancelWriting();
        return TLanguageChange::CopyFailed;
    }
    if (!out.commit())
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
