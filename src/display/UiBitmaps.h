// The program's bitmap files under the start-up folder's "Bitmaps": their
// names, the loader, and one cache from which every screen takes them.
//
// Names are written as their users spell them ("Bitmaps\GradingHead.bmp",
// "bitmaps\hitrange.bmp") and resolved case-insensitively, with "\" read as a
// folder separator, so both spellings find the same folder.
#pragma once

#include "DrawKit.h"

#include <QImage>
#include <QSet>
#include <QString>
#include <QStringList>

#include <map>

namespace BitmapFiles {
// Grading panel and grading pages.
inline const QString GradingHead = QStringLiteral("Bitmaps\\GradingHead.bmp");
inline const QString GradingHeadDisabled = QStringLiteral("Bitmaps\\GradingHeadDisabled.bmp");
inline const QString GradingHeadSport = QStringLiteral("Bitmaps\\GradingHeadSport.bmp");
inline const QString GradingHeadSportDisabled = QStringLiteral("Bitmaps\\GradingHeadSportDisabled.bmp");
inline const QString Grading3_0 = QStringLiteral("Bitmaps\\Grading3_0.bmp");
inline const QString Grading3_1 = QStringLiteral("Bitmaps\\Grading3_1.bmp");
inline const QString Grading3_2 = QStringLiteral("Bitmaps\\Grading3_2.bmp");
inline const QString Grading3_3 = QStringLiteral("Bitmaps\\Grading3_3.bmp");
inline const QString Grading3_Blinking = QStringLiteral("Bitmaps\\Grading3_Blinking.bmp");
inline const QString GradeComponentHit = QStringLiteral("Bitmaps\\GradeComponentHit.bmp");
inline const QString GradeComponentHold = QStringLiteral("Bitmaps\\GradeComponentHold.bmp");
inline const QString GradeComponentAim = QStringLiteral("Bitmaps\\GradeComponentAim.bmp");
inline const QString GradeComponentTrig = QStringLiteral("Bitmaps\\GradeComponentTrig.bmp");
inline const QString StanceStand = QStringLiteral("Bitmaps\\StanceStand.bmp");
inline const QString StanceKneel = QStringLiteral("Bitmaps\\StanceKneel.bmp");
inline const QString StanceProne = QStringLiteral("Bitmaps\\StanceProne.bmp");
inline const QString GradingDifficulty1 = QStringLiteral("Bitmaps\\GradingDifficulty1.bmp");
inline const QString GradingDifficulty2 = QStringLiteral("Bitmaps\\GradingDifficulty2.bmp");
inline const QString GradingDifficulty3 = QStringLiteral("Bitmaps\\GradingDifficulty3.bmp");
// Shot strip.
inline const QString HitRange = QStringLiteral("bitmaps\\hitrange.bmp");
inline const QString MissRange = QStringLiteral("bitmaps\\missrange.bmp");
inline const QString HitField = QStringLiteral("bitmaps\\hitfield.bmp");
inline const QString MissField = QStringLiteral("bitmaps\\missfield.bmp");
inline const QString TimelinePause = QStringLiteral("bitmaps\\timelinepause.bmp");
// Status bitmaps.
inline const QString BannerHeader = QStringLiteral("Bitmaps\\BannerHeader.bmp");
inline const QString BannerFooter = QStringLiteral("Bitmaps\\BannerFooter.bmp");
inline const QString Network_Connected = QStringLiteral("Bitmaps\\Network_Connected.bmp");
inline const QString Network_NotConnected = QStringLiteral("Bitmaps\\Network_NotConnected.bmp");
inline const QString Bluetooth_OK = QStringLiteral("Bitmaps\\Bluetooth_OK.bmp");
inline const QString Bluetooth_Disabled = QStringLiteral("Bitmaps\\Bluetooth_Disabled.bmp");
// Viewer bitmaps.
inline const QString Tilt_Ok = QStringLiteral("Bitmaps\\Tilt_Ok.bmp");
inline const QString Tilt_Up = QStringLiteral("Bitmaps\\Tilt_Up.bmp");
inline const QString Tilt_Down = QStringLiteral("Bitmaps\\Tilt_Down.bmp");
inline const QString Not_Valid_Target = QStringLiteral("Bitmaps\\Not_Valid_Target.bmp");
inline const QString Rotate_Blank = QStringLiteral("Bitmaps\\Rotate_Blank.bmp");
inline const QString Rotate_Ok = QStringLiteral("Bitmaps\\Rotate_Ok.bmp");
inline const QString Rotate_Left = QStringLiteral("Bitmaps\\Rotate_Left.bmp");
inline const QString Rotate_Left_More = QStringLiteral("Bitmaps\\Rotate_Left_More.bmp");
inline const QString Rotate_Right = QStringLiteral("Bitmaps\\Rotate_Right.bmp");
inline const QString Rotate_Right_More = QStringLiteral("Bitmaps\\Rotate_Right_More.bmp");
inline const QString ButtonStart = QStringLiteral("Bitmaps\\ButtonStart.bmp");
inline const QString ButtonStop = QStringLiteral("Bitmaps\\ButtonStop.bmp");
inline const QString ReplayXY = QStringLiteral("Bitmaps\\ReplayXY.bmp");
inline const QString ReplayXYt = QStringLiteral("Bitmaps\\ReplayXYt.bmp");
inline const QString ReplayRt = QStringLiteral("Bitmaps\\ReplayRt.bmp");
inline const QString SummaryRange = QStringLiteral("Bitmaps\\SummaryRange.bmp");
inline const QString Grade1 = QStringLiteral("Bitmaps\\Grade1.bmp");
inline const QString Grade2 = QStringLiteral("Bitmaps\\Grade2.bmp");
inline const QString Grade3 = QStringLiteral("Bitmaps\\Grade3.bmp");
inline const QString OneSilhTarget = QStringLiteral("Bitmaps\\OneSilhTarget.bmp");
inline const QString AllSilhTargets = QStringLiteral("Bitmaps\\AllSilhTargets.bmp");
// Splash and start menu pictures, each optional.
inline const QString Start = QStringLiteral("bitmaps\\start.bmp");
inline const QString Logo = QStringLiteral("bitmaps\\logo.bmp");
inline const QString Logo2 = QStringLiteral("bitmaps\\logo2.bmp");
inline const QString Logo3 = QStringLiteral("bitmaps\\logo3.bmp");
inline const QString Vendor = QStringLiteral("bitmaps\\vendor.bmp");

// The sets loaded together at start-up.
QStringList StatusSet();
QStringList UiSet();
QStringList ShotStringSet();
QStringList GradingSet();
QStringList SplashSet();
// Every name above.
QStringList All();
} // namespace BitmapFiles

// The file a relative name denotes under folder, each path part matched
// case-insensitively (an exact match first); "\" separates folders. Empty
// when no such file exists or the name leaves the folder ("..").
QString ResolveBitmapPath(const QString& folder, const QString& name);

// Loads a bitmap file as a 32-bit image. A relative path is resolved under
// AppFolder() as above. A missing or unreadable file throws Exception naming
// it.
QImage LoadBitmapFile(const QString& path);

// One loaded picture: the image as read, and the same picture with its
// bottom-left colour made transparent, made once at load for transparent
// draws. Both null when the file was missing.
struct TUiBitmap {
    QImage image;
    QImage transparent;

    bool Loaded() const { return !image.isNull(); }
    int Width() const { return image.width(); }
    int Height() const { return image.height(); }
};

// Draw a picture at (x, y), opaque or by its transparent colour; a missing
// picture draws nothing.
void DrawBitmap(TCanvas& canvas, int x, int y, const TUiBitmap& bitmap);
void DrawBitmapTransparent(TCanvas& canvas, int x, int y, const TUiBitmap& bitmap);

// Loaded pictures by name. A name is read on first use; a missing or bad
// file gives an empty picture and one DebugLog line, however often it is
// asked for, until the entry is freed. GUI thread only.
class TBitmapCache {
public:
    // folder empty: AppFolder() at the time of each load.
    explicit TBitmapCache(const QString& folder = QString());

    const TUiBitmap& Get(const QString& name);
    bool Contains(const QString& name) const;
    void Load(const QStringList& names);
    void Free(const QStringList& names);
    void Clear();
    void SetFolder(const QString& folder);

private:
    QString Folder() const;

    QString folder_;
    std::map<QString, TUiBitmap> bitmaps_;   // key: name folded to lower case, "/" separators
    QSet<QString> reported_;
};

// The program's one cache.
TBitmapCache& UiBitmaps();
inline const TUiBitmap& UiBitmap(const QString& name) { return UiBitmaps().Get(name); }

// Start-up and shutdown of the bitmap sets.
void LoadStatusBitmaps();
void FreeStatusBitmaps();
void LoadUIBitmaps();
void FreeUIBitmaps();
void LoadShotStringBitmaps();
void FreeShotStringBitmaps();
