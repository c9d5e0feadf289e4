#include "AppPaths.h"

#include <QDir>
#include <QStandardPaths>

#include <mutex>

namespace {

const char* const DataSubFolder = "/Tavrik/TRAXEL/";
const char* const ShotFilesName = "Shot files";
const char* const SetupsName = "Setups";
const char* const SettingsName = "TRAXEL.settings.xml";
const char* const DefaultSetupName = "default.setup.xml";
const char* const LanguagesName = "Languages";

struct TPaths {
    std::mutex Lock;
    bool AppFolderSet = false;
    QString AppFolder;
    QString AppDataFolder;
    QString DefaultSetupPath;  // empty: the Setups folder's default file
};

TPaths& Paths()
{
    static TPaths paths;
    return paths;
}

// Folder paths are kept with "/" and without a trailing separator, so the
// derived paths never hold "//".
QString NormalizeFolder(const QString& folder)
{
    QString f = QDir::fromNativeSeparators(folder);
    while (f.size() > 1 && f.endsWith(u'/'))
        f.chop(1);
    return f;
}

}  // namespace

bool InitAppPaths()
{
    const QString current = QDir::currentPath();
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    TPaths& p = Paths();
    std::lock_guard<std::mutex> lock(p.Lock);
    p.AppFolder = NormalizeFolder(current);
    p.AppFolderSet = true;
    p.AppDataFolder = NormalizeFolder(data);
    return !p.AppDataFolder.isEmpty();
}

QString AppFolder()
{
    TPaths& p = Paths();
    std::lock_guard<std::mutex> lock(p.Lock);
    if (!p.AppFolderSet) {
        // Used before start-up ran: the current directory is what start-up
        // would have taken.
        p.AppFolder = NormalizeFolder(QDir::currentPath());
        p.AppFolderSet = true;
    }
    return p.AppFolder;
}

void SetAppFolder(const QString& folder)
{
    TPaths& p = Paths();
    std::lock_guard<std::mutex> lock(p.Lock);
    p.AppFolder = NormalizeFolder(folder);
    p.AppFolderSet = true;
}

QString AppDataFolder()
{
    TPaths& p = Paths();
    std::lock_guard<std::mutex> lock(p.Lock);
    return p.AppDataFolder;
}

void SetAppDataFolder(const QString& folder)
{
    TPaths& p = Paths();
    std::lock_guard<std::mutex> lock(p.Lock);
    p.AppDataFolder = NormalizeFolder(folder);
}

// Without a data location every derived path is empty, so nothing is ever
// read from or written to a folder below the file-system root by accident.
QString DataFolder()
{
    const QString data = AppDataFolder();
    return data.isEmpty() ? QString() : data + QLatin1String(DataSubFolder);
}

namespace {

QString InDataFolder(const char* name)
{
    const QString folder = DataFolder();
    return folder.isEmpty() ? QString() : folder + QLatin1String(name);
}

}  // namespace

QString ShotFilesFolder() { return InDataFolder(ShotFilesName); }

QString SetupsFolder() { return InDataFolder(SetupsName); }

QString SettingsFileName() { return InDataFolder(SettingsName); }

QString LanguagesFolder() { return AppFolder() + u'/' + QLatin1String(LanguagesName); }

QString ShippedDefaultSetupPath() { return AppFolder() + u'/' + QLatin1String(DefaultSetupName); }

QString StandardDefaultSetupPath()
{
    const QString setups = SetupsFolder();
    return setups.isEmpty() ? QString() : setups + u'/' + QLatin1String(DefaultSetupName);
}

QString DefaultSetupPath()
{
    QString chosen;
    {
        TPaths& p = Paths();
        std::lock_guard<std::mutex> lock(p.Lock);
        chosen = p.DefaultSetupPath;
    }
    return chosen.isEmpty() ? StandardDefaultSetupPath() : chosen;
}

void SetDefaultSetupPath(const QString& path)
{
    TPaths& p = Paths();
    std::lock_guard<std::mutex> lock(p.Lock);
    p.DefaultSetupPath = QDir::fromNativeSeparators(path);
}
