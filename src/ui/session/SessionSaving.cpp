#include "SessionSaving.h"

#include "Globals.h"
#include "Shotdata.h"
#include "Translation.h"

#include <algorithm>

QString ShooterNamePlaceholder() { return QStringLiteral("Enter name here"); }

bool ShooterNeedsName(const TShooter& shooter)
{
    const QString name = shooter.name.trimmed();
    return name.isEmpty() || name == ShooterNamePlaceholder() || name == Translate(ShooterNamePlaceholder()).trimmed();
}

bool SessionHasShots(const TSession& session)
{
    for (int i = 0; i < session.ShooterCount(); ++i)
        if (session.GetShooter(i)->ShotCount() > 0)
            return true;
    return false;
}

QStringList DefinedTargetNames(const TShooter& shooter)
{
    const DeviceSetup& t = shooter.targets;
    QStringList names;
    for (int slot = 0; slot < DeviceSetup::SlotCount; ++slot)
        if (t.ringDefined[std::size_t(slot)])
            names << TargetNameToString(t.ringTargets[std::size_t(slot)].data());
    for (int slot = 0; slot < DeviceSetup::SlotCount; ++slot)
        if (t.silhouetteDefined[std::size_t(slot)])
            names << TargetNameToString(t.silhouetteTargets[std::size_t(slot)].data());
    return names;
}

QString SessionFileBaseName(const QString& pickedTeam, const QStringList& shooterNames,
                            const QStringList& viewerTargetNames, const QStringList& firstShooterTargets)
{
    QString name;
    if (!pickedTeam.isEmpty())
        name = pickedTeam + QStringLiteral(" - ");
    name += shooterNames.join(QLatin1Char(' '));
    const bool oneTarget =
        !viewerTargetNames.isEmpty()
        && std::all_of(viewerTargetNames.begin(), viewerTargetNames.end(),
                       [&](const QString& target) { return target == viewerTargetNames.first(); });
    if (!oneTarget)
        return name;
    name += QStringLiteral(" (");
    for (const QString& target : firstShooterTargets)
        name += target + QLatin1Char(' ');
    return name.trimmed() + QLatin1Char(')');
}

void NumberTargetsForSave(TSession& session)
{
    for (int i = 1; i < session.ShooterCount(); ++i) {
        TShooter* shooter = session.GetShooter(i);
        shooter->UpdateDefinedTargets();
        if (i >= DeviceSetup::SlotCount)
            continue;
        if (shooter->targets.ringDefined[0])
            shooter->MoveTarget(0, i, false);
        if (shooter->targets.silhouetteDefined[0])
            shooter->MoveTarget(0, i, true);
    }
    if (TShooter* first = session.GetShooter(0))
        first->UpdateDefinedTargets();
}

TSlotZeroFlagsGuard::TSlotZeroFlagsGuard(TSession& session)
    : session_(session)
{
    for (int i = 0; i < session.ShooterCount(); ++i) {
        TShooter* shooter = session.GetShooter(i);
        kept_.push_back({shooter, shooter->targets.ringDefined[0] != 0, shooter->targets.silhouetteDefined[0] != 0});
    }
}

TSlotZeroFlagsGuard::~TSlotZeroFlagsGuard()
{
    for (const TKept& k : kept_) {
        bool present = false;
        for (int i = 0; i < session_.ShooterCount() && !present; ++i)
            present = session_.GetShooter(i) == k.shooter;
        if (!present)
            continue;
        k.shooter->targets.ringDefined[0] = k.ring ? 1 : 0;
        k.shooter->targets.silhouetteDefined[0] = k.silhouette ? 1 : 0;
    }
}
