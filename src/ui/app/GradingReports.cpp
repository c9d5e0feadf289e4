#include "GradingReports.h"

#include "Globals.h"
#include "Prompts.h"
#include "Targetrenderer.h"
#include "Translation.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSet>

namespace {

QSet<QString>& LoadedFiles()
{
    static QSet<QString> files;
    return files;
}

// The path, its time stamp and size: an edited file is reported again.
QString FileKey(const QString& path)
{
    const QFileInfo info(path);
    return info.absoluteFilePath() + QLatin1Char('|') + QString::number(info.lastModified().toMSecsSinceEpoch())
        + QLatin1Char('|') + QString::number(info.size());
}

// The fixed first line is translated; the file's line after it is not.
QString TranslatedReport(const QString& text)
{
    const qsizetype lineFeed = text.indexOf(QLatin1Char('\n'));
    if (lineFeed < 0)
        return Translate(text);
    return Translate(text.left(lineFeed)) + text.mid(lineFeed);
}

void ShowReport(const QString& text, const QString& caption)
{
    // A full table is asked with three buttons whose answer changes nothing.
    const TMsgButtons buttons =
        text == QLatin1String("Grading file error") ? TMsgButtons::AbortRetryIgnore : TMsgButtons::OK;
    Prompts().MessageBox(TranslatedReport(text), Translate(caption), buttons);
}

}  // namespace

GradingReporter GradingReporterForLoad(const QString& path)
{
    bool first = false;
    const QString key = FileKey(path);
    if (!LoadedFiles().contains(key)) {
        LoadedFiles().insert(key);
        first = true;
    }
    return [first](const QString& text, const QString& caption) {
        DebugLog(caption + QStringLiteral(": ") + text);
        if (first)
            ShowReport(text, caption);
    };
}

void InstallGradingReports()
{
    LoadedFiles().clear();
    SetGradingReporterFactory(&GradingReporterForLoad);
}

void RemoveGradingReports()
{
    SetGradingReporterFactory({});
    LoadedFiles().clear();
}
