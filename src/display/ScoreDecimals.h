// Whether ring scores are shown with one decimal. The ring target a shot was
// scored on says so: the one in the shot's slot of its shooter's tables, which
// a reopened file and a download fill. A live shot whose slot the tables do
// not hold yet goes by the shooter's current target.
#pragma once

class TShooter;
struct RawShotRecord;

bool ShotScoredInTenths(const TShooter& shooter, const RawShotRecord& raw);
// The shooter's totals follow its latest ring shot.
bool ShooterScoredInTenths(const TShooter& shooter);
