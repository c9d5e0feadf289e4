#include "SessionFiles.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "Globals.h"
#include "Prompts.h"
#include "Translation.h"

#include <QFileInfo>

namespace {

constexpr int MaxBaseBytes = 200;
const QLatin1String Extension(".shotfile.xml");

// Drops whole characters from the end until the UTF-8 form fits.
QString CutToBytes(QString text, int maxBytes)
{
    while (text.toUtf8().size() > maxBytes) {
        int cut = 1;
        if (text.size() >= 2 && text.at(text.size() - 1).isLowSurrogate() && text.at(text.size() - 2).isHighSurrogate())
            cut = 2;
        text.chop(cut);
    }
    return text;
}

}  // namespace

QString UniqueShotFilePath(const QString& folder, const QString& baseName)
{
    const QString base = folder + QLatin1Char('/') + CutToBytes(SanitizeFileName(baseName), MaxBaseBytes);
    if (!QFileInfo::exists(base + Extension))
        return base + Extension;
    for (int n = 2;; ++n) {
        const QString candidate = base + QStringLiteral(" (%1)").arg(n) + Extension;
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

QString ShotFileFilter() { return QStringLiteral("TRAXEL Shot File (*.shotfile.xml)"); }

QString ConfirmShotFilePath(const QString& path, const QString& caption)
{
    if (!GetAlwaysShowSaveDialogs())
        return path;
    TFileRequest request;
    request.caption = caption;
    request.folder = ShotFilesFolder();
    request.fileName = path;
    request.filters = QStringList {ShotFileFilter()};
    request.defaultSuffix = QStringLiteral("shotfile.xml");
    return Prompts().SaveFileName(request);
}
