// The pieces of saving a whole session that need no window: which shooters
// still lack a name, the file's base name, and the target numbering that
// keeps every shooter's training target apart in the file's one target table.
//
// GUI thread. The session's shot lists are filled by the ports' event
// threads meanwhile; the shooters' own locks guard every change made here.
#pragma once

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class TSession;
class TShooter;

// The placeholder a viewer shows before a name was typed.
QString ShooterNamePlaceholder();

// Empty, blank or still the placeholder (English or translated).
bool ShooterNeedsName(const TShooter& shooter);

// True when some shooter holds a shot.
bool SessionHasShots(const TSession& session);

// The names of the shooter's defined targets, ring slots 0-15 first, then
// silhouette slots 0-15.
QStringList DefinedTargetNames(const TShooter& shooter);

// "<team> - " when a team was picked, then the shooters' names joined by a
// blank. When there is at least one viewer and all show a target of the same
// name, " (" + the first shooter's defined target names, each followed by a
// blank, is appended, the whole trimmed and closed by ")".
QString SessionFileBaseName(const QString& pickedTeam, const QStringList& shooterNames,
                            const QStringList& viewerTargetNames, const QStringList& firstShooterTargets);

// Every shooter but the first gets its defined flags from its shots, and its
// ring and silhouette target of slot 0 (when defined) copied to slot i, i its
// place in the session, its shots following; a shooter past slot 15 keeps
// slot 0 (there is no slot for it). The first shooter's flags are recomputed.
void NumberTargetsForSave(TSession& session);

// Keeps the slot-0 defined flags of every shooter of a session and puts them
// back when it goes, however the save ended: the units keep reporting shots
// on slot 0, which must stay usable after the file's numbering. Shooters that
// left the session meanwhile are skipped.
class TSlotZeroFlagsGuard {
public:
    explicit TSlotZeroFlagsGuard(TSession& session);
    ~TSlotZeroFlagsGuard();
    TSlotZeroFlagsGuard(const TSlotZeroFlagsGuard&) = delete;
    TSlotZeroFlagsGuard& operator=(const TSlotZeroFlagsGuard&) = delete;

private:
    struct TKept {
        TShooter* shooter;
        bool ring;
        bool silhouette;
    };
    TSession& session_;
    std::vector<TKept> kept_;
};
