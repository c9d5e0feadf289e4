#include "Shotfile.h"

#include "AppSettings.h"
#include "Globals.h"
#include "XmlNames.h"

#include <algorithm>
#include <cstring>

using MiniXMLParser::TXMLNode;
namespace N = XmlNames;

namespace {

constexpr int SlotCount = DeviceSetup::SlotCount;

// Fields are stored in their low bits, like the unit does.
int Low8(long long v) { return int(v & 0xFF); }
int Low16(long long v) { return int(v & 0xFFFF); }

QString Int(int v) { return QString::number(v); }

// Element texts use the locale's separator.
QString TextFloat(double v) { return FloatToStrLocale(v); }

// A value kept as an integer of 10^-power units, as text: dividing (rather
// than multiplying by 0.1) gives the double nearest to the decimal, so it is
// written with the fewest digits and reads back through ScaledTrunc exactly.
QString ScaledText(int value, int power10)
{
    double divisor = 1;
    for (int i = 0; i < power10; ++i)
        divisor *= 10;
    return TextFloat(value / divisor);
}

// "%02X " for every byte: the text ends with a blank.
QString HexBytes(const uint8_t* p, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    QString s;
    s.reserve(3 * n);
    for (int i = 0; i < n; ++i) {
        s.append(QLatin1Char(digits[p[i] >> 4]));
        s.append(QLatin1Char(digits[p[i] & 15]));
        s.append(QLatin1Char(' '));
    }
    return s;
}

TXMLNode* AddText(TXMLNode* parent, const char* name, const QString& text)
{
    return parent->AddNode(QString::fromLatin1(name), text);
}

double NodeFloat(const TXMLNode* e, const char* name, double def)
{
    return e->GetNodeFloat(QString::fromLatin1(name), def);
}

// "float, truncated": element texts read as numbers, whole part kept.
int NodeTrunc(const TXMLNode* e, const char* name, double def)
{
    return SaturatingCast<int>(NodeFloat(e, name, def));
}

int NodeInt(const TXMLNode* e, const char* name)
{
    return e->GetNodeInt(QString::fromLatin1(name));
}

// value x 10^power10 of a text that was written from such an integer.
long long NodeScaled(const TXMLNode* e, const char* name, double def, int power10)
{
    return ScaledTrunc(NodeFloat(e, name, def), power10);
}

TXMLNode* Child(const TXMLNode* e, const char* name)
{
    return e->FindNode(QString::fromLatin1(name));
}

QString Attr(const TXMLNode* e, const char* key)
{
    return e->GetAttributeValue(QString::fromLatin1(key));
}

QString AttrDef(const TXMLNode* e, const char* key, const QString& def)
{
    return e->GetAttributeValueDef(QString::fromLatin1(key), def);
}

void SetAttr(TXMLNode* e, const char* key, const QString& value)
{
    e->SetAttributeValue(QString::fromLatin1(key), value);
}

void SetAttrFloat(TXMLNode* e, const char* key, double value)
{
    e->SetAttributeFloat(QString::fromLatin1(key), value);
}

QString TargetNameOrUnnamed(const uint8_t* name16)
{
    const QString name = TargetNameToString(name16);
    return name.isEmpty() ? QString::fromLatin1(N::Unnamed) : name;
}

QString VariableName(int n)
{
    return QString::fromLatin1(N::DiameterVariableHminus) + QString::number(n);
}

int Bit(int value, int bit) { return (value >> bit) & 1; }

void AssignBit(uint8_t& byte, int bit, int on)
{
    const unsigned mask = 1u << bit;
    byte = uint8_t((on & 1) ? (byte | mask) : (byte & ~mask));
}

} // namespace

TShotFileHandler::TShotFileHandler()
    : advancedMode(IsAdvancedMode())
{
}

TShotFileHandler::~TShotFileHandler() = default;

void TShotFileHandler::SetSession(TSession* session)
{
    if (owned_.get() != session)
        owned_.reset();
    session_ = session;
}

void TShotFileHandler::EnsureSession()
{
    if (!session_) {
        owned_ = std::make_unique<TSession>();
        session_ = owned_.get();
    }
}

std::unique_ptr<TSession> TShotFileHandler::TakeSession()
{
    return std::move(owned_);
}

QString TShotFileHandler::LoadDocument(const QString& path)
{
    sessionInfo_ = nullptr;
    targetInfo_ = nullptr;
    // Throws when the file cannot be read at all.
    if (parser_.LoadFromFile(path))
        return QString();
    // Kept now: reading the tree decodes texts, which may overwrite it.
    return MiniXMLParser::LastParseErrorText();
}

// ---- Session file ------------------------------------------------------------------

bool TShotFileHandler::LoadShotFile(const QString& path)
{
    owned_ = std::make_unique<TSession>();
    session_ = owned_.get();
    fileName_ = path;
    const QString parseError = LoadDocument(path);
    if (parseError.isEmpty()) {
        ReadShotFile();
        return true;
    }
    // A document cut short still yields what was read before the damage; the
    // damage itself is what gets reported, also when it made a required
    // element look missing.
    try {
        ReadShotFile();
    } catch (const Exception&) {
    }
    throw Exception(parseError);
}

void TShotFileHandler::BuildShotFile()
{
    parser_.NewDocument(fileName_);
    TXMLNode* root = parser_.Root();
    root->SetName(QString::fromLatin1(N::ShotFile));
    SetAttr(root, N::CreatedBy, QString::fromLatin1(N::CreatedByValue));
    WriteSession();
}

void TShotFileHandler::Save(const QString& path)
{
    fileName_ = path;
    parser_.SetFileName(path);
    parser_.Build();
    parser_.SaveToFile();
}

// ---- Writers -------------------------------------------------------------------------

void TShotFileHandler::WriteSession()
{
    TXMLNode* root = parser_.Root();
    sessionInfo_ = root->AddNode(QString::fromLatin1(N::SessionInfo));
    WriteSessionInfo(sessionInfo_);
    targetInfo_ = root->AddNode(QString::fromLatin1(N::TargetInfo));
    if (!session_)
        return;
    for (int i = 0; i < session_->ShooterCount(); ++i)
        WriteShooterTargets(*session_->GetShooter(i), targetInfo_);
    for (int i = 0; i < session_->ShooterCount(); ++i)
        WriteShooter(root->AddNode(QString::fromLatin1(N::Shooter)), *session_->GetShooter(i), i);
}

void TShotFileHandler::WriteSessionInfo(TXMLNode* element)
{
    element->SetName(QString::fromLatin1(N::SessionInfo));
    AddText(element, N::Name, session_ ? session_->name : QString());
    if (session_) {
        for (int i = 0; i < session_->ShooterCount(); ++i) {
            const TShooter* shooter = session_->GetShooter(i);
            TXMLNode* s = element->AddNode(QString::fromLatin1(N::Shooter));
            SetAttr(s, N::Name, shooter->name);
            SetAttr(s, N::Team, shooter->team);
            SetAttr(s, N::SerialNumber, shooter->SerialNumber());
            const std::vector<TShot*> shots = shooter->SnapshotShots();
            SetAttrFloat(s, N::ShotCount, double(shots.size()));
            if (shots.empty())
                continue;
            // Shots downloaded from an earlier programming may point at a slot
            // this shooter no longer defines. The summary is informational
            // only, so the name is left out rather than failing the save.
            try {
                TargetDescription target;
                shooter->GetShotTarget(*shots.front(), target);
                SetAttr(s, N::TargetName, GetTargetName(target));
            } catch (const Exception&) {
            }
        }
    }
    AddText(element, N::Date, session_ ? session_->date : QString());
}

void TShotFileHandler::WriteShooterTargets(TShooter& shooter, TXMLNode* targetInfo)
{
    shooter.UpdateDefinedTargets();
    const SetupBlocks blocks = shooter.GetSetupBlocks();
    const bool dynamic = blocks.FunctionMode() == 2;
    const ModeBlock active = blocks.GetModeBlock(
        dynamic ? SetupBlocks::DynamicBlock : SetupBlocks::ClassicBlock);
    const int ringSlot = active.RingTargetEnabled() ? active.RingTargetNumber() : -1;
    const int silhouetteSlot = active.SilhouetteEnabled() ? active.SilhouetteTargetNumber() : -1;
    const DeviceSetup& t = shooter.targets;
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!t.ringDefined[slot] && slot != ringSlot)
            continue;
        TXMLNode* e = targetInfo->AddNode(QString::fromLatin1(N::Target));
        WriteRingTarget(e, t.ringTargets[slot]);
        SetAttrFloat(e, N::TargetNumber, slot);
    }
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!t.silhouetteDefined[slot] && slot != silhouetteSlot)
            continue;
        TXMLNode* e = targetInfo->AddNode(QString::fromLatin1(N::Target));
        WriteSilhouetteTarget(e, t.silhouetteTargets[slot], t.silhouetteMatrices[slot]);
        SetAttrFloat(e, N::TargetNumber, slot);
    }
}

void TShotFileHandler::WriteShooter(TXMLNode* element, const TShooter& shooter, int position)
{
    element->SetName(QString::fromLatin1(N::Shooter));
    SetAttrFloat(element, N::ShooterIndex, position + 1);
    SetAttr(element, N::Name, shooter.name);
    SetAttr(element, N::Team, shooter.team);
    SetAttr(element, N::SerialNumber, shooter.SerialNumber());
    const std::vector<TShot*> shots = shooter.SnapshotShots();
    for (std::size_t i = 0; i < shots.size(); ++i)
        WriteShot(element->AddNode(QString::fromLatin1(N::Shot)), *shots[i], int(i));
    const SetupBlocks blocks = shooter.GetSetupBlocks();
    WriteModeInfo(element->AddNode(QString::fromLatin1(N::ModeInfo)),
        blocks.GetModeBlock(SetupBlocks::ClassicBlock), true);
    WriteModeInfo(element->AddNode(QString::fromLatin1(N::ModeInfo)),
        blocks.GetModeBlock(SetupBlocks::DynamicBlock), false);
}

void TShotFileHandler::WriteShot(TXMLNode* element, const TShot& shot, int shotIndex)
{
    const RawShotRecord& r = shot.raw;
    element->SetName(QString::fromLatin1(N::Shot));
    SetAttrFloat(element, N::ShotIndex, shotIndex);
    SetAttr(element, N::X, FloatToStrDot(r.X() / 10.0));
    SetAttr(element, N::Y, FloatToStrDot(r.Y() / 10.0));
    if (!compact) {
        SetAttrFloat(element, N::XNAU, r.XNAU());
        SetAttrFloat(element, N::YNAU, r.YNAU());
        SetAttr(element, N::Revalm, FloatToStrDot(r.Revalm() / 10.0));
    }
    SetAttr(element, N::FunctionMode,
        QString::fromLatin1(r.FunctionMode() == 1 ? N::Classic : N::Dynamic));

    TXMLNode* info = element->AddNode(QString::fromLatin1(N::ShotInfo));
    const bool ring = r.RingTargetIndex() < RawShotRecord::NoTarget;
    const bool silhouette = r.SilhouetteTargetIndex() < RawShotRecord::NoTarget;
    if (ring) {
        TXMLNode* score = AddText(info, N::Score, ScaledText(r.Score(), 1));
        SetAttrFloat(score, N::X, r.InnerTen() ? 1 : 0);
        AddText(info, N::Sector, Int(r.ClockSector()));
        if (!compact)
            AddText(info, N::RingTarget, Int(r.RingTargetIndex()));
    }
    if (silhouette) {
        AddText(info, N::Silhouette, Int(r.Silhouette()));
        if (!compact)
            AddText(info, N::SilhouetteTarget, Int(r.SilhouetteTargetIndex()));
    }
    AddText(info, N::StartupCounter, Int(r.StartupCounter()));
    AddText(info, N::Time, QString::number(r.Time()));
    AddText(info, N::Rotation, Int(r.Rotation()));
    AddText(info, N::AimingTime, Int(shot.aimingTime));
    if (r.Failures() != 0)
        AddText(info, N::FailuresElement, Int(r.Failures()));
    if (rawResult)
        AddText(info, N::RawResult, HexBytes(r.data(), int(r.size())));

    TXMLNode* curve = element->AddNode(QString::fromLatin1(N::Curve));
    SetAttrFloat(curve, N::HitSampleIndex, -1);
    const TraceSample* samples = shot.Curve();
    const QString pt = QString::fromLatin1(N::Pt);
    for (int k = 0; k < shot.CurveCount(); ++k) {
        const TraceSample& s = samples[k];
        TXMLNode* p = curve->AddNode(pt);
        SetAttrFloat(p, N::PtIndex, k);
        SetAttr(p, N::X, FloatToStrDot(s.X() / 10.0));
        SetAttr(p, N::Y, FloatToStrDot(s.Y() / 10.0));
        if (s.Failures() != 0)
            SetAttrFloat(p, N::Failures, s.Failures());
        if (rawSamples)
            SetAttr(p, N::Raw, HexBytes(s.data(), int(s.size())));
    }
}

void TShotFileHandler::WriteModeInfo(TXMLNode* element, const ModeBlock& b, bool classic)
{
    element->SetName(QString::fromLatin1(N::ModeInfo));
    SetAttr(element, N::Type, QString::fromLatin1(classic ? N::Classic : N::Dynamic));
    AddText(element, N::CTRL1, Int(b.CTRL1()));
    AddText(element, N::CTRL2, Int(b.CTRL2()));
    AddText(element, N::RingTargetEnabled, Int(b.RingTargetEnabled()));
    AddText(element, N::RingTargetNumber, Int(b.RingTargetNumber()));
    AddText(element, N::SilhouetteEnabled, Int(b.SilhouetteEnabled()));
    AddText(element, N::SilhouetteTargetNumber, Int(b.SilhouetteTargetNumber()));
    AddText(element, N::NumberOfPrisms, Int(b.NumberOfPrisms()));
    AddText(element, N::NumberOfBullets, Int(b.NumberOfBullets()));
    AddText(element, N::WakeupAngle, Int(b.WakeupAngle()));
    AddText(element, N::ShotRejectionAngle, Int(b.ShotRejectionAngle()));
    AddText(element, N::SleepTimeout, Int(b.SleepTimeout()));
    AddText(element, N::TriggerSensitivity, Int(b.TriggerSensitivity()));
    AddText(element, N::CockingDelay, ScaledText(b.CockingDelay(), 1));
    AddText(element, N::SleepEnable, Int(b.SleepEnable()));
    AddText(element, N::HIBEnable, Int(b.HIBEnable()));
    AddText(element, N::SoundEnable, Int(b.SoundEnable()));
    AddText(element, N::DisplayEnable, Int(b.DisplayEnable()));
}

void TShotFileHandler::WriteRingTarget(TXMLNode* element, const RingTargetRecord& t)
{
    const int u = t.CTRL1();
    const QString unitSize = QString::fromLatin1(Bit(u, 6) ? N::UnitInch : N::UnitMm);
    // Sizes in 0.01 inch or 0.1 mm.
    const int sizePower = Bit(u, 6) ? 2 : 1;

    element->SetName(QString::fromLatin1(N::Target));
    SetAttr(element, N::Type, QString::fromLatin1(N::Ring));
    SetAttr(element, N::TargetName, TargetNameOrUnnamed(t.data()));
    AddText(element, N::CTRL1, Int(t.CTRL1()));
    AddText(element, N::CTRL2, Int(t.CTRL2()));
    SetAttr(AddText(element, N::RingGaps,
                QString::fromLatin1(Bit(u, 7) ? N::RingGapsVariable : N::RingGapsFixed)),
        N::Unit, unitSize);
    SetAttr(AddText(element, N::NominalDistance, ScaledText(t.NominalDistance(), 1)),
        N::Unit, QString::fromLatin1(Bit(u, 4) ? N::UnitYd : N::UnitM));
    SetAttr(AddText(element, N::Caliber, ScaledText(t.Caliber(), Bit(u, 5) ? 3 : 2)),
        N::Unit, QString::fromLatin1(Bit(u, 5) ? N::UnitInch : N::UnitMm));
    AddText(element, N::HighestRing, Int(t.HighestRing()));
    AddText(element, N::MinimumRing, Int(t.MinimumRing()));
    AddText(element, N::TargetWidth, Int(t.TargetWidth()));
    AddText(element, N::TargetHeight, Int(t.TargetHeight()));
    AddText(element, N::HIBMinScore, ScaledText(t.HIBMinScore(), 1));
    AddText(element, N::PrismPlaceX, Int(t.PrismPlaceX()));
    AddText(element, N::PrismPlaceY, Int(t.PrismPlaceY()));
    AddText(element, N::DiameterInnerWhite, ScaledText(t.DiameterInnerWhite(), sizePower));
    AddText(element, N::DiameterBlackArea, ScaledText(t.DiameterBlackArea(), sizePower));
    AddText(element, N::DiameterX, ScaledText(t.DiameterX(), sizePower));
    AddText(element, N::DiameterHighestRing, ScaledText(t.DiameterHighestRing(), sizePower));
    AddText(element, N::HitRingGap, ScaledText(t.HitRingGap(), sizePower));
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n)
        element->AddNode(VariableName(n), ScaledText(t.DiameterVariableHminus(n), sizePower));
    if (rawResult) {
        AddText(element, N::RawRingSet1, HexBytes(t.data() + 16, 16));
        AddText(element, N::RawRingSet2, HexBytes(t.data() + 32, 16));
        AddText(element, N::RawRingSet3, HexBytes(t.data() + 48, 16));
    }
}

void TShotFileHandler::WriteSilhouetteTarget(TXMLNode* element, const SilhouetteTargetRecord& t,
    const SilhouetteMatrix& m)
{
    const int u = t.CTRL1();
    element->SetName(QString::fromLatin1(N::Target));
    SetAttr(element, N::Type, QString::fromLatin1(N::Silhouette));
    SetAttr(element, N::TargetName, TargetNameOrUnnamed(t.data()));
    if (rawResult)
        AddText(element, N::RawSilSet, HexBytes(t.data() + 16, 16));
    AddText(element, N::CTRL1, Int(t.CTRL1()));
    SetAttr(AddText(element, N::NominalDistance, ScaledText(t.NominalDistance(), 1)),
        N::Unit, QString::fromLatin1(Bit(u, 4) ? N::UnitYd : N::UnitM));
    QString width;
    QString height;
    if (advancedMode) {
        width = TextFloat(t.Width());
        height = TextFloat(t.Height());
    } else {
        // Mm, or 0.1 inch.
        width = height = ScaledText(t.Size(), Bit(u, 6) ? 1 : 0);
    }
    const QString unit = QString::fromLatin1(Bit(u, 6) ? N::UnitInch : N::UnitMm);
    SetAttr(AddText(element, N::TargetWidth, width), N::Unit, unit);
    SetAttr(AddText(element, N::TargetHeight, height), N::Unit, unit);
    AddText(element, N::PrismPlaceX, Int(t.PrismPlaceX()));
    AddText(element, N::PrismPlaceY, Int(t.PrismPlaceY()));
    const QString rowName = QString::fromLatin1(N::MatrixRow);
    for (int r = 0; r < SilhouetteMatrix::Rows; ++r) {
        QString columns(SilhouetteMatrix::Columns, QLatin1Char('0'));
        for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
            columns[c] = QLatin1Char(char('0' + m.Cell(c, r)));
        TXMLNode* row = element->AddNode(rowName);
        SetAttrFloat(row, N::Row, r);
        SetAttr(row, N::Columns, columns);
    }
}

// ---- Readers -------------------------------------------------------------------------

void TShotFileHandler::ReadShotFile()
{
    const TXMLNode* root = parser_.Root();
    EnsureSession();
    sessionInfo_ = Child(root, N::SessionInfo);
    if (!sessionInfo_)
        throw Exception("No session info node");
    targetInfo_ = Child(root, N::TargetInfo);
    if (!targetInfo_)
        throw Exception("No target info node");
    if (Child(sessionInfo_, N::Date))
        session_->date = sessionInfo_->GetNodeText(QString::fromLatin1(N::Date));
    const QString shooterName = QString::fromLatin1(N::Shooter);
    for (int i = 0; i < root->GetNodeCount(); ++i) {
        const TXMLNode* e = root->GetNode(i);
        if (e->Name() == shooterName)
            ReadShooter(e);
    }
    ReadTargetInfo(targetInfo_);
    for (int i = 0; i < session_->ShooterCount(); ++i)
        session_->GetShooter(i)->targets = session_->targets;
}

TShooter* TShotFileHandler::ReadShooter(const TXMLNode* element)
{
    EnsureSession();
    TShooter* shooter = session_->AddShooter(std::make_unique<TShooter>());
    shooter->index = session_->ShooterCount();
    shooter->name = AttrDef(element, N::Name, QStringLiteral("No name"));
    shooter->team = AttrDef(element, N::Team, QString());
    shooter->SetSerialNumber(AttrDef(element, N::SerialNumber, QStringLiteral("N/A")));
    const QString modeName = QString::fromLatin1(N::ModeInfo);
    for (int n = 0; n < 2; ++n) {
        const TXMLNode* mode = element->FindNthNode(modeName, n);
        if (!mode)
            break;
        ModeBlock block;
        bool classic = false;
        ReadModeInfo(mode, block, classic);
        shooter->SetModeBlock(classic ? SetupBlocks::ClassicBlock : SetupBlocks::DynamicBlock, block);
    }
    const QString shotName = QString::fromLatin1(N::Shot);
    for (int i = 0; i < element->GetNodeCount(); ++i) {
        const TXMLNode* e = element->GetNode(i);
        if (e->Name() == shotName)
            ReadShot(e, *shooter);
    }
    return shooter;
}

TShot* TShotFileHandler::ReadShot(const TXMLNode* element, TShooter& shooter)
{
    auto shot = std::make_unique<TShot>();
    shot->shotNumber = shooter.ShotCount() + 1;
    RawShotRecord& r = shot->raw;
    r.SetX(Low16(ScaledTrunc(element->GetAttributeFloat(QString::fromLatin1(N::X)), 1)));
    r.SetY(Low16(ScaledTrunc(element->GetAttributeFloat(QString::fromLatin1(N::Y)), 1)));
    r.SetXNAU(element->GetAttributeInt(QString::fromLatin1(N::XNAU)));
    r.SetYNAU(element->GetAttributeInt(QString::fromLatin1(N::YNAU)));

    const TXMLNode* info = Child(element, N::ShotInfo);
    if (!info)
        throw Exception("No shot info node on shot");
    r.SetRingTargetIndex(RawShotRecord::NoTarget);
    r.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    shot->aimingTime = NodeTrunc(info, N::AimingTime, 0);
    r.SetFunctionMode(Attr(element, N::FunctionMode) == QLatin1String(N::Classic) ? 1 : 2);

    const int ring = NodeTrunc(info, N::RingTarget, -1);
    if (ring != -1) {
        // Without a Score element the score stays "none" (255) and the
        // inner-ten bit clear.
        const TXMLNode* score = Child(info, N::Score);
        r.SetScore(Low8(NodeScaled(info, N::Score, -0.1, 1)));
        r.SetInnerTen(score && SaturatingCast<int>(score->GetAttributeFloatDef(QString::fromLatin1(N::X), 0)) != 0);
        r.SetClockSector(NodeTrunc(info, N::Sector, -1) & 15);
        r.SetRingTargetIndex(Low8(ring));
    }
    const int silhouette = NodeTrunc(info, N::SilhouetteTarget, -1);
    if (silhouette != -1) {
        r.SetSilhouette(Low8(NodeTrunc(info, N::Silhouette, -1)));
        r.SetSilhouetteTargetIndex(Low8(silhouette));
    }
    r.SetStartupCounter(Low8(NodeTrunc(info, N::StartupCounter, -1)));
    const long long time = SaturatingCast<long long>(NodeFloat(info, N::Time, -1)) & 0xFFFFFF;
    r.SetTime(uint32_t(time));
    shot->timeKey = uint32_t(time);
    r.SetRotation(Low16(NodeTrunc(info, N::Rotation, -1)));
    r.SetFailures(Low8(NodeTrunc(info, N::FailuresElement, 0)));

    // No curve: a trace of no samples, which everything downstream accepts.
    if (const TXMLNode* curve = Child(element, N::Curve)) {
        const int count = curve->GetNodeCount();
        shot->AllocateCurve(count);
        TraceSample* samples = shot->Curve();
        const QString x = QString::fromLatin1(N::X);
        const QString y = QString::fromLatin1(N::Y);
        const QString failures = QString::fromLatin1(N::Failures);
        for (int k = 0; k < count; ++k) {
            const TXMLNode* p = curve->GetNode(k);
            samples[k].SetX(Low16(ScaledTrunc(p->GetAttributeFloat(x), 1)));
            samples[k].SetY(Low16(ScaledTrunc(p->GetAttributeFloat(y), 1)));
            samples[k].SetFailures(Low8(SaturatingCast<int>(p->GetAttributeFloatDef(failures, 0))));
        }
    }
    return shooter.AppendShot(std::move(shot));
}

void TShotFileHandler::ReadTargetInfo(const TXMLNode* element)
{
    EnsureSession();
    ReadTargetInfo(element, session_->targets);
}

void TShotFileHandler::ReadTargetInfo(const TXMLNode* element, DeviceSetup& table)
{
    const QString targetName = QString::fromLatin1(N::Target);
    for (int i = 0; i < element->GetNodeCount(); ++i) {
        const TXMLNode* e = element->GetNode(i);
        if (e->Name() != targetName)
            continue;
        const QString type = AttrDef(e, N::Type, QString());
        if (type == QLatin1String(N::Ring))
            ReadRingTarget(e, table);
        else if (type == QLatin1String(N::Silhouette))
            ReadSilhouetteTarget(e, table);
        else
            throw Exception("Unknown target type");
    }
}

void TShotFileHandler::ReadModeInfo(const TXMLNode* element, ModeBlock& b, bool& classic)
{
    classic = Attr(element, N::Type) == QLatin1String(N::Classic);
    b.Clear();
    static const char* const bytes[10] = {
        N::CTRL1, N::CTRL2, N::RingTargetNumber, N::SilhouetteTargetNumber, N::NumberOfPrisms,
        N::NumberOfBullets, N::WakeupAngle, N::ShotRejectionAngle, N::SleepTimeout, N::TriggerSensitivity,
    };
    for (int i = 0; i < 10; ++i)
        b.b[i] = uint8_t(Low8(NodeInt(element, bytes[i])));
    b.SetCockingDelay(Low8(NodeScaled(element, N::CockingDelay, 0.3, 1)));
    // The flag elements win over the bits of CTRL1 and CTRL2.
    AssignBit(b.b[0], 1, NodeTrunc(element, N::RingTargetEnabled, Bit(b.b[0], 1)));
    AssignBit(b.b[0], 0, NodeTrunc(element, N::SilhouetteEnabled, Bit(b.b[0], 0)));
    AssignBit(b.b[0], 4, NodeTrunc(element, N::SleepEnable, 1));
    AssignBit(b.b[0], 3, NodeTrunc(element, N::HIBEnable, 0));
    AssignBit(b.b[1], 5, NodeTrunc(element, N::SoundEnable, 0));
    AssignBit(b.b[1], 0, NodeTrunc(element, N::DisplayEnable, 1));
}

int TShotFileHandler::ReadRingTarget(const TXMLNode* element, DeviceSetup& table)
{
    RingTargetRecord t;
    const QString name = AttrDef(element, N::TargetName, QStringLiteral("No name"));
    t.SetNameText(name);
    const int slot = SaturatingCast<int>(element->GetAttributeFloat(QString::fromLatin1(N::TargetNumber)));

    t.SetCTRL1(Low8(NodeTrunc(element, N::CTRL1, 0)));
    t.SetCTRL2(Low8(NodeTrunc(element, N::CTRL2, 0)));
    t.SetVariableRingGaps(element->GetNodeText(QString::fromLatin1(N::RingGaps)) == QLatin1String(N::RingGapsVariable));
    t.SetNominalDistance(Low16(NodeScaled(element, N::NominalDistance, 100, 1)));
    t.SetCaliber(Low16(NodeScaled(element, N::Caliber, 1, t.CaliberInInch() ? 3 : 2)));
    t.SetHighestRing(Low8(NodeInt(element, N::HighestRing)));
    t.SetMinimumRing(Low8(NodeInt(element, N::MinimumRing)));
    t.SetTargetWidth(Low8(NodeInt(element, N::TargetWidth)));
    t.SetTargetHeight(Low8(NodeInt(element, N::TargetHeight)));
    t.SetHIBMinScore(Low8(NodeScaled(element, N::HIBMinScore, 10, 1)));
    const int power = t.SizesInInch() ? 2 : 1;
    t.SetDiameterHighestRing(Low16(NodeScaled(element, N::DiameterHighestRing, 0, power)));
    t.SetHitRingGap(Low16(NodeScaled(element, N::HitRingGap, 0, power)));
    t.SetDiameterInnerWhite(Low16(NodeScaled(element, N::DiameterInnerWhite, 0, power)));
    t.SetDiameterBlackArea(Low16(NodeScaled(element, N::DiameterBlackArea, 0, power)));
    t.SetDiameterX(Low16(NodeScaled(element, N::DiameterX, 0, power)));
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n) {
        t.SetDiameterVariableHminus(n,
            Low16(ScaledTrunc(element->GetNodeFloat(VariableName(n), 0), power)));
    }
    if (slot < 0 || slot >= SlotCount)
        throw Exception(QStringLiteral("Ring target index invalid:") + name);
    table.ringTargets[slot] = t;
    table.ringDefined[slot] = 1;
    return slot;
}

int TShotFileHandler::ReadSilhouetteTarget(const TXMLNode* element, DeviceSetup& table)
{
    SilhouetteTargetRecord t;
    const QString name = Attr(element, N::TargetName);
    t.SetNameText(name);
    const int slot = SaturatingCast<int>(element->GetAttributeFloat(QString::fromLatin1(N::TargetNumber)));

    t.SetCTRL1(Low8(NodeTrunc(element, N::CTRL1, 0)));
    t.SetNominalDistance(Low16(NodeScaled(element, N::NominalDistance, 0, 1)));
    const double width = NodeFloat(element, N::TargetWidth, 100);
    const double height = NodeFloat(element, N::TargetHeight, 100);
    t.SetWidth(width);
    t.SetHeight(height);
    t.SetSize(Low16(ScaledTrunc(width, t.SizeInInch() ? 1 : 0)));
    t.SetPrismPlaceX(NodeInt(element, N::PrismPlaceX));
    t.SetPrismPlaceY(NodeInt(element, N::PrismPlaceY));

    // The matrix is built apart and checked whole: a bad row must neither
    // write outside the grid nor leave a cell the drawing code cannot index.
    const QString invalid = QStringLiteral("Silhouette target invalid:") + name;
    auto m = std::make_unique<SilhouetteMatrix>();
    const uint8_t header[8] = { 64, 0, 0, 0, 64, 0, 0, 0 };  // columns, rows (little-endian)
    std::memcpy(m->data(), header, sizeof header);
    const QString rowName = QString::fromLatin1(N::MatrixRow);
    const QString rowKey = QString::fromLatin1(N::Row);
    const QString columnsKey = QString::fromLatin1(N::Columns);
    for (int r = 0; r < SilhouetteMatrix::Rows; ++r) {
        const TXMLNode* row = element->FindNthNode(rowName, r);
        if (!row)
            throw Exception(invalid);
        const double at = row->GetAttributeFloat(rowKey);
        if (!(at >= 0 && at < SilhouetteMatrix::Rows))
            throw Exception(invalid);
        const int rowIndex = SaturatingCast<int>(at);
        const QString columns = row->GetAttributeValueDef(columnsKey, QString()).trimmed();
        if (columns.size() < SilhouetteMatrix::Columns)
            throw Exception(invalid);
        for (int c = 0; c < SilhouetteMatrix::Columns; ++c) {
            const char16_t ch = columns.at(c).unicode();
            if (ch < u'0' || ch > u'3')
                throw Exception(invalid);
            m->SetCell(c, rowIndex, ch - u'0');
        }
    }
    if (slot < 0 || slot >= SlotCount)
        throw Exception(QStringLiteral("Silhouette index invalid:") + name);
    table.silhouetteTargets[slot] = t;
    table.silhouetteMatrices[slot] = *m;
    table.silhouetteDefined[slot] = 1;
    return slot;
}

// ---- Setup file ------------------------------------------------------------------------

void TShotFileHandler::SaveSetupFile(const QString& path, const TSetupHandler& setups)
{
    for (int i = 0; i < setups.Count(); ++i) {
        const TargetDescription& t = setups.Get(i)->target;
        if (!t.hasRing && !t.hasSilhouette)
            throw Exception("No target in setup");
    }
    fileName_ = path;
    parser_.NewDocument(path);
    TXMLNode* root = parser_.Root();
    root->SetName(QString::fromLatin1(N::SetupFile));
    SetAttr(root, N::CreatedBy, QString::fromLatin1(N::CreatedByValue));
    TXMLNode* info = root->AddNode(QString::fromLatin1(N::SetupInfo));
    for (int i = 0; i < setups.Count(); ++i)
        WriteSetup(info->AddNode(QString::fromLatin1(N::Setup)), *setups.Get(i));
    Save(path);
}

void TShotFileHandler::WriteSetup(TXMLNode* element, const TTargetSetup& setup)
{
    element->SetName(QString::fromLatin1(N::Setup));
    if (setup.descriptions) {
        for (const QString& line : *setup.descriptions)
            AddText(element, N::Description, line);
    }
    AddText(element, N::LockArrows, Int(setup.blocks.ArrowsUnlocked() ? 0 : 1));
    AddText(element, N::DeviceMounting, Int(setup.blocks.DeviceMounting()));
    const ModeBlock classic = setup.blocks.GetModeBlock(SetupBlocks::ClassicBlock);
    const ModeBlock dynamic = setup.blocks.GetModeBlock(SetupBlocks::DynamicBlock);
    // A setup needs one ModeInfo to be read back: with neither mode in use
    // the classic block is written all the same.
    if (classic.InUse() || !dynamic.InUse())
        WriteModeInfo(element->AddNode(QString::fromLatin1(N::ModeInfo)), classic, true);
    if (dynamic.InUse())
        WriteModeInfo(element->AddNode(QString::fromLatin1(N::ModeInfo)), dynamic, false);
    const TargetDescription& t = setup.target;
    if (t.hasRing) {
        TXMLNode* e = element->AddNode(QString::fromLatin1(N::Target));
        WriteRingTarget(e, t.ringRecord);
        SetAttrFloat(e, N::TargetNumber, t.targetNumber);
    }
    if (t.hasSilhouette) {
        TXMLNode* e = element->AddNode(QString::fromLatin1(N::Target));
        WriteSilhouetteTarget(e, t.silhouetteRecord, t.silhouetteMatrix);
        SetAttrFloat(e, N::TargetNumber, t.targetNumber);
    }
}

bool TShotFileHandler::LoadSetupFile(const QString& path, TSetupHandler& setups)
{
    fileName_ = path;
    const QString parseError = LoadDocument(path);
    const TXMLNode* info = Child(parser_.Root(), N::SetupInfo);
    if (!info)
        return false;
    if (info->GetNodeCount() > 0) {
        const QString setupName = QString::fromLatin1(N::Setup);
        if (!info->FindNode(setupName)) {
            if (!parseError.isEmpty())
                throw Exception(parseError);
            throw Exception("No targets in setup file");
        }
        // The scratch table is large; keep it off the stack.
        auto scratch = std::make_unique<DeviceSetup>();
        setups.SetCapacity(std::max(setups.Capacity(), setups.Count() + info->GetNodeCount() + 2));
        try {
            for (int n = 0;; ++n) {
                const TXMLNode* e = info->FindNthNode(setupName, n);
                if (!e)
                    break;
                scratch->Clear();
                TTargetSetup setup;
                ReadSetup(e, setup, *scratch);
                setups.Add(setup);
            }
        } catch (const Exception&) {
            // Damage in the text explains a reader error better than the
            // reader's own message does.
            if (!parseError.isEmpty())
                throw Exception(parseError);
            throw;
        }
    }
    if (!parseError.isEmpty())
        throw Exception(parseError);
    return true;
}

void TShotFileHandler::ReadSetup(const TXMLNode* element, TTargetSetup& setup, DeviceSetup& scratch)
{
    setup.descriptions = QStringList();
    const QString descriptionName = QString::fromLatin1(N::Description);
    for (int i = 0; i < element->GetNodeCount(); ++i) {
        const TXMLNode* e = element->GetNode(i);
        if (e->Name() == descriptionName)
            setup.descriptions->append(e->GetText());
    }
    const QString modeName = QString::fromLatin1(N::ModeInfo);
    const QString targetName = QString::fromLatin1(N::Target);
    if (!element->FindNode(modeName))
        throw Exception("No mode in setup");
    if (!element->FindNode(targetName))
        throw Exception("No target in setup");

    setup.blocks.SetArrowsUnlocked(NodeFloat(element, N::LockArrows, 0) == 0);
    setup.blocks.SetDeviceMounting(NodeTrunc(element, N::DeviceMounting, 0) & 3);
    for (int n = 0; n < 2; ++n) {
        const TXMLNode* mode = element->FindNthNode(modeName, n);
        if (!mode)
            break;
        ModeBlock block;
        bool classic = false;
        ReadModeInfo(mode, block, classic);
        setup.blocks.SetModeBlock(classic ? SetupBlocks::ClassicBlock : SetupBlocks::DynamicBlock, block);
    }
    for (int n = 0; n < 2; ++n) {
        const TXMLNode* target = element->FindNthNode(targetName, n);
        if (!target)
            break;
        const QString type = AttrDef(target, N::Type, QString());
        if (type == QLatin1String(N::Ring)) {
            const int slot = ReadRingTarget(target, scratch);
            setup.target.ringRecord = scratch.ringTargets[slot];
            setup.target.hasRing = 1;
        } else if (type == QLatin1String(N::Silhouette)) {
            const int slot = ReadSilhouetteTarget(target, scratch);
            setup.target.silhouetteRecord = scratch.silhouetteTargets[slot];
            setup.target.silhouetteMatrix = scratch.silhouetteMatrices[slot];
            setup.target.hasSilhouette = 1;
        } else {
            throw Exception("Unknown target type");
        }
    }
}
