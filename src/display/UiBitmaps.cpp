#include "UiBitmaps.h"

#include "AppPaths.h"
#include "Globals.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>

namespace BitmapFiles {

QStringList StatusSet()
{
    return { BannerHeader, BannerFooter, Network_Connected, Network_NotConnected, Bluetooth_OK,
             Bluetooth_Disabled };
}

QStringList UiSet()
{
    return { Tilt_Ok, Tilt_Up, Tilt_Down, Not_Valid_Target, Rotate_Blank, Rotate_Ok, Rotate_Left,
             Rotate_Left_More, Rotate_Right, Rotate_Right_More, ButtonStart, ButtonStop, ReplayXY,
             ReplayXYt, ReplayRt, SummaryRange, Grade1, Grade2, Grade3, OneSilhTarget, AllSilhTargets };
}

QStringList ShotStringSet()
{
    return { HitRange, MissRange, HitField, MissField, TimelinePause };
}

QStringList GradingSet()
{
    return { GradingHead, GradingHeadDisabled, GradingHeadSport, GradingHeadSportDisabled,
             Grading3_0, Grading3_1, Grading3_2, Grading3_3, Grading3_Blinking,
             GradeComponentHit, GradeComponentHold, GradeComponentAim, GradeComponentTrig,
             StanceStand, StanceKneel, StanceProne,
             GradingDifficulty1, GradingDifficulty2, GradingDifficulty3 };
}

QStringList SplashSet()
{
    return { Start, Logo, Logo2, Logo3, Vendor };
}

QStringList All()
{
    return GradingSet() + ShotStringSet() + StatusSet() + UiSet() + SplashSet();
}

} // namespace BitmapFiles

namespace {

QString CacheKey(const QString& name)
{
    QString key = name;
    key.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return key.toLower();
}

} // namespace

QString ResolveBitmapPath(const QString& folder, const QString& name)
{
    QString relative = name;
    relative.replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QStringList parts = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    QString path = folder.isEmpty() ? QStringLiteral(".") : folder;
    for (int i = 0; i < parts.size(); ++i) {
        const QString& part = parts[i];
        if (part == QLatin1String(".") || part == QLatin1String(".."))
            return {};
        const bool last = i == parts.size() - 1;
        const QString exact = path + QLatin1Char('/') + part;
        const QFileInfo exactInfo(exact);
        if (exactInfo.exists() && (last ? exactInfo.isFile() : exactInfo.isDir())) {
            path = exact;
            continue;
        }
        const QDir dir(path);
        const QStringList entries =
            dir.entryList(last ? QDir::Files : (QDir::Dirs | QDir::NoDotAndDotDot), QDir::Name);
        QString found;
        for (const QString& entry : entries) {
            if (entry.compare(part, Qt::CaseInsensitive) == 0) {
                found = entry;
                break;
            }
        }
        if (found.isEmpty())
            return {};
        path += QLatin1Char('/') + found;
    }
    return path;
}

QImage LoadBitmapFile(const QString& path)
{
    QString file = path;
    file.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (QFileInfo(file).isRelative())
        file = ResolveBitmapPath(AppFolder(), path);
    else if (!QFileInfo(file).isFile())
        file.clear();
    if (file.isEmpty())
        throw Exception(QStringLiteral("Bitmap file not found: %1").arg(path));
    QImageReader reader(file, "BMP");
    QImage image = reader.read();
    if (image.isNull())
        throw Exception(QStringLiteral("Bitmap file cannot be read: %1 (%2)").arg(path, reader.errorString()));
    return image.convertToFormat(QImage::Format_RGB32);
}

void DrawBitmap(TCanvas& canvas, int x, int y, const TUiBitmap& bitmap)
{
    canvas.Draw(x, y, bitmap.image);
}

void DrawBitmapTransparent(TCanvas& canvas, int x, int y, const TUiBitmap& bitmap)
{
    canvas.Draw(x, y, bitmap.transparent);
}

// ---- TBitmapCache -----------------------------------------------------------

TBitmapCache::TBitmapCache(const QString& folder)
    : folder_(folder)
{
}

QString TBitmapCache::Folder() const
{
    return folder_.isEmpty() ? AppFolder() : folder_;
}

void TBitmapCache::SetFolder(const QString& folder)
{
    folder_ = folder;
}

const TUiBitmap& TBitmapCache::Get(const QString& name)
{
    const QString key = CacheKey(name);
    auto it = bitmaps_.find(key);
    if (it != bitmaps_.end())
        return it->second;
    TUiBitmap bitmap;
    const QString path = ResolveBitmapPath(Folder(), name);
    try {
        if (path.isEmpty())
            throw Exception(QStringLiteral("Bitmap file not found: %1").arg(name));
        bitmap.image = LoadBitmapFile(path);
        bitmap.transparent = KeyToAlpha(bitmap.image, TransparentKeyOf(bitmap.image));
    } catch (const Exception& e) {
        if (!reported_.contains(key)) {
            reported_.insert(key);
            DebugLog(e.Message());
        }
    }
    return bitmaps_.emplace(key, std::move(bitmap)).first->second;
}

bool TBitmapCache::Contains(const QString& name) const
{
    const auto it = bitmaps_.find(CacheKey(name));
    return it != bitmaps_.end() && it->second.Loaded();
}

void TBitmapCache::Load(const QStringList& names)
{
    for (const QString& name : names)
        Get(name);
}

void TBitmapCache::Free(const QStringList& names)
{
    for (const QString& name : names) {
        const QString key = CacheKey(name);
        bitmaps_.erase(key);
        reported_.remove(key);
    }
}

void TBitmapCache::Clear()
{
    bitmaps_.clear();
    reported_.clear();
}

TBitmapCache& UiBitmaps()
{
    static TBitmapCache cache;
    return cache;
}

void LoadStatusBitmaps() { UiBitmaps().Load(BitmapFiles::StatusSet()); }
void FreeStatusBitmaps() { UiBitmaps().Free(BitmapFiles::StatusSet()); }
void LoadUIBitmaps() { UiBitmaps().Load(BitmapFiles::UiSet()); }
void FreeUIBitmaps() { UiBitmaps().Free(BitmapFiles::UiSet()); }
void LoadShotStringBitmaps() { UiBitmaps().Load(BitmapFiles::ShotStringSet()); }
void FreeShotStringBitmaps() { UiBitmaps().Free(BitmapFiles::ShotStringSet()); }
