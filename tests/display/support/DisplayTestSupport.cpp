#include "DisplayTestSupport.h"

#include "AppPaths.h"
#include "BitmapArt.h"
#include "Globals.h"
#include "UiBitmaps.h"

#include <QGuiApplication>
#include <QTemporaryDir>

void EnsureGuiApp()
{
    static int argc = 1;
    static char name[] = "displaytests";
    static char* argv[] = { name, nullptr };
    static QGuiApplication* app = QGuiApplication::instance() ? nullptr : new QGuiApplication(argc, argv);
    (void)app;
}

const TGeneratedArt& GeneratedArt()
{
    static QTemporaryDir dir;
    static const TGeneratedArt art = [] {
        EnsureGuiApp();
        TGeneratedArt a;
        a.root = dir.path();
        a.written = GenerateUiBitmaps(a.root + QStringLiteral("/Bitmaps"), &a.errors);
        return a;
    }();
    return art;
}

TArtFolderScope::TArtFolderScope() : saved(AppFolder())
{
    SetAppFolder(GeneratedArt().root);
    UiBitmaps().Clear();
}

TArtFolderScope::~TArtFolderScope()
{
    UiBitmaps().Clear();
    SetAppFolder(saved);
}

RingTargetRecord TestRing(int distance)
{
    RingTargetRecord ring;
    ring.SetHighestRing(10);
    ring.SetMinimumRing(1);
    ring.SetDiameterHighestRing(80);
    ring.SetHitRingGap(40);
    ring.SetDiameterBlackArea(400);
    ring.SetDiameterInnerWhite(60);
    ring.SetDiameterX(20);
    ring.SetNominalDistance(distance);
    ring.SetCaliber(450);
    return ring;
}

void UseTarget(TShooter& shooter, const TargetDescription& target)
{
    shooter.currentTarget = target;
    if (target.hasRing) {
        shooter.targets.ringTargets[0] = target.ringRecord;
        shooter.targets.ringDefined[0] = 1;
    }
    if (target.hasSilhouette) {
        shooter.targets.silhouetteTargets[0] = target.silhouetteRecord;
        shooter.targets.silhouetteDefined[0] = 1;
    }
}

std::unique_ptr<TShot> NewRingShot(int tenths, int failures)
{
    auto shot = std::make_unique<TShot>();
    shot->raw.SetRingTargetIndex(0);
    shot->raw.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    shot->raw.SetScore(tenths);
    shot->raw.SetFailures(failures);
    return shot;
}

std::unique_ptr<TShot> NewFieldShot(int zone, bool centreHit, int failures)
{
    auto shot = std::make_unique<TShot>();
    shot->raw.SetRingTargetIndex(RawShotRecord::NoTarget);
    shot->raw.SetSilhouetteTargetIndex(0);
    shot->raw.SetSilhouette(zone);
    shot->raw.SetFlags(centreHit ? 0x01 : 0x00);
    shot->raw.SetFailures(failures);
    return shot;
}

// Font configuration keeps its caches until exit and Qt never releases them;
// under the leak checker that is noise, not a fault of ours.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig.so\n";
}
