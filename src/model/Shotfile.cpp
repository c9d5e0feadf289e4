#include "Shotfile.h"

#include "AppSettings.h"
#include "Globals.h"
#include "XmlNames.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

using MiniXMLParser::TXMLNode;
namespace N = XmlNames;

namespace {

constexpr int SlotCount = DeviceSetup::SlotCount;

// Fields are stored in their low bits, like the unit does.
int Low8(long long v) { return int(v & 0xFF); }
int Low16(long long v) { return int(v & 0xFFFF); }

// What a shot holds for "none".
constexpr int NoScore = RawShotRecord::NoScore;
constexpr int NoSector = 0;
constexpr int NoZone = 255;

int ClampToInt(long long v) { return int(std::clamp<long long>(v, INT_MIN, INT_MAX)); }

// ---- Names ----------------------------------------------------------------------------

// An element or attribute name as a QString, converted once per thread: a
// session file names an element or attribute about ten times a trace point,
// and converting each time cost more than the rest of the work. The names are
// the program's constants, so their text outlives the table.
const QString& Q(const char* latin1)
{
    thread_local std::unordered_map<std::string_view, QString> names;
    const std::string_view key(latin1);
    auto it = names.find(key);
    if (it == names.end())
        it = names.emplace(key, QString::fromLatin1(latin1)).first;
    return it->second;
}

// ---- Numbers as text ------------------------------------------------------------------

// value / 10^power10 in the general format (no trailing zeros, no separator
// for a whole number): the text FloatToStrDot and FloatToStrLocale give for
// that quotient, made without a double. Values kept in 10^-power units are
// written this way, so they read back through ScaledTrunc exactly.
class TDecimal {
public:
    explicit TDecimal(long long value, int power10 = 0, QChar separator = QLatin1Char('.'))
    {
        unsigned long long m = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                         : static_cast<unsigned long long>(value);
        bool fraction = false;
        for (int i = 0; i < power10; ++i, m /= 10) {
            const int digit = int(m % 10);
            if (digit != 0 || fraction) {
                Push(char16_t(u'0' + digit));
                fraction = true;
            }
        }
        if (fraction)
            Push(separator.unicode());
        do {
            Push(char16_t(u'0' + m % 10));
            m /= 10;
        } while (m != 0);
        if (value < 0)
            Push(u'-');
    }

    QStringView View() const { return QStringView(text_.data() + begin_, Size - begin_); }
    QString String() const { return View().toString(); }
    operator QStringView() const { return View(); }

private:
    static constexpr int Size = 32;
    void Push(char16_t c) { text_[std::size_t(--begin_)] = c; }

    std::array<char16_t, Size> text_;
    int begin_ = Size;
};

// Element texts use the locale's separator.
QString LocaleDecimal(long long value, int power10)
{
    return TDecimal(value, power10, DecimalSeparator()).String();
}

QString Int(long long v) { return TDecimal(v).String(); }

// "%02X " for every byte: the text ends with a blank.
QString HexBytes(const uint8_t* p, int n)
{
    static const char digits[] = "0123456789ABCDEF";
    QString s(3 * n, Qt::Uninitialized);
    QChar* d = s.data();
    for (int i = 0; i < n; ++i) {
        *d++ = QLatin1Char(digits[p[i] >> 4]);
        *d++ = QLatin1Char(digits[p[i] & 15]);
        *d++ = QLatin1Char(' ');
    }
    return s;
}

// ---- Numbers from text ----------------------------------------------------------------

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// text x 10^power10 (0..3), truncated toward zero, computed without a double;
// false for any text but a plain decimal ("-12", "+3.25", "0,5"). Limited to
// the texts where this is exactly what ScaledTrunc(StrToFloatLocale(text),
// power10) gives: whole numbers of up to 15 - power10 digits, or up to 5 whole
// and 3 fraction digits (no double rounding matters there, and no value comes
// near enough to a whole number for ScaledTrunc to snap to it). Everything
// else, blanks and exponents included, goes the general way.
bool PlainDecimal(QStringView text, int power10, long long& out)
{
    const char16_t* p = text.utf16();
    const char16_t* const end = p + text.size();
    bool negative = false;
    if (p < end && (*p == u'-' || *p == u'+')) {
        negative = *p == u'-';
        ++p;
    }
    const char16_t* const digits = p;
    unsigned long long whole = 0;  // wraps past the digits allowed, which are refused below
    for (; p < end && IsDigit(*p); ++p)
        whole = whole * 10 + unsigned(*p - u'0');
    const qsizetype wholeDigits = p - digits;
    if (wholeDigits == 0 || wholeDigits > 15 - power10)
        return false;
    int scaled = 0;  // fraction digits taken into whole
    if (p < end) {
        if ((*p != u'.' && *p != u',') || wholeDigits > 5)
            return false;
        const char16_t* const fraction = ++p;
        while (p < end && IsDigit(*p))
            ++p;
        const qsizetype fractionDigits = p - fraction;
        if (fractionDigits == 0 || fractionDigits > 3 || p < end)
            return false;
        for (; scaled < power10 && scaled < fractionDigits; ++scaled)
            whole = whole * 10 + unsigned(fraction[scaled] - u'0');
    }
    for (; scaled < power10; ++scaled)
        whole *= 10;
    out = negative ? -(long long)whole : (long long)whole;
    return true;
}

// A plain decimal integer of up to 9 digits (no overflow), as StrToIntStrict
// reads it.
bool PlainInt(QStringView text, long long& out)
{
    const qsizetype sign = !text.isEmpty() && (text.front() == u'-' || text.front() == u'+') ? 1 : 0;
    if (text.size() - sign > 9 || text.contains(u'.') || text.contains(u','))
        return false;
    return PlainDecimal(text, 0, out);
}

// One element's text read as a number, the ways the readers need. A missing
// element or an empty text gives the default.
long long TextScaled(const TXMLNode* e, double def, int power10)
{
    if (!e)
        return ScaledTrunc(def, power10);
    const QString text = e->GetText();
    long long v = 0;
    if (text.isEmpty())
        return ScaledTrunc(def, power10);
    if (PlainDecimal(text, power10, v))
        return v;
    return ScaledTrunc(StrToFloatLocale(text), power10);
}

// "float, truncated" (no snapping to a whole number, unlike TextScaled).
long long TextTrunc64(const TXMLNode* e, double def)
{
    if (!e)
        return SaturatingCast<long long>(def);
    const QString text = e->GetText();
    long long v = 0;
    if (text.isEmpty())
        return SaturatingCast<long long>(def);
    if (PlainDecimal(text, 0, v))
        return v;
    return SaturatingCast<long long>(StrToFloatLocale(text));
}

int TextTrunc(const TXMLNode* e, double def) { return ClampToInt(TextTrunc64(e, def)); }

// One numeric attribute taken during ForEachAttribute: converted at once when
// it is plain, else kept as text and converted (or refused, with the usual
// message) when asked for, so errors come in the order the fields are read.
class TAttrNumber {
public:
    void Take(QStringView value, int power10)
    {
        present_ = true;
        power10_ = power10;
        plain_ = PlainDecimal(value, power10, value_);
        if (!plain_)
            text_ = value.toString();
    }
    void TakeInt(QStringView value)
    {
        present_ = true;
        isInt_ = true;
        plain_ = PlainInt(value, value_);
        if (!plain_)
            text_ = value.toString();
    }
    bool Present() const { return present_; }

    // value x 10^power10 through ScaledTrunc, or the integer.
    long long Scaled() const
    {
        if (plain_)
            return value_;
        return isInt_ ? StrToIntStrict(text_) : ScaledTrunc(StrToFloatLocale(text_), power10_);
    }
    // "float, truncated" (taken with power10 0).
    int Trunc() const { return plain_ ? ClampToInt(value_) : SaturatingCast<int>(StrToFloatLocale(text_)); }

private:
    long long value_ = 0;
    QString text_;
    int power10_ = 0;
    bool present_ = false;
    bool plain_ = false;
    bool isInt_ = false;
};

// Keys are compared without regard to letter case, as the look-ups do; the
// names are ASCII, so only a key holding other characters needs the full
// comparison.
bool IsKey(QStringView key, const QString& name)
{
    if (key.size() != name.size())
        return false;
    const char16_t* k = key.utf16();
    const char16_t* n = QStringView(name).utf16();
    for (qsizetype i = 0; i < key.size(); ++i) {
        if (k[i] >= 0x80)
            return key.compare(name, Qt::CaseInsensitive) == 0;
        if (k[i] != n[i] && ((k[i] | 0x20) != (n[i] | 0x20) || (n[i] | 0x20) < u'a' || (n[i] | 0x20) > u'z'))
            return false;
    }
    return true;
}

// Throws the message of a missing attribute, from the element's own look-up.
[[noreturn]] void ThrowMissing(const TXMLNode* e, const char* key)
{
    e->GetAttributeValue(Q(key));
    throw Exception(QStringLiteral("TXMLNode::GetAttributeValue - Invalid Key (not found)"));
}

// ---- Tree helpers -------------------------------------------------------------------

TXMLNode* AddText(TXMLNode* parent, const char* name, const QString& text)
{
    return parent->AddNode(Q(name), text);
}

TXMLNode* Child(const TXMLNode* e, const char* name)
{
    return e->FindNode(Q(name));
}

double NodeFloat(const TXMLNode* e, const char* name, double def)
{
    return e->GetNodeFloat(Q(name), def);
}

int NodeTrunc(const TXMLNode* e, const char* name, double def)
{
    return TextTrunc(Child(e, name), def);
}

int NodeInt(const TXMLNode* e, const char* name)
{
    return e->GetNodeInt(Q(name));
}

// value x 10^power10 of a text that was written from such an integer.
long long NodeScaled(const TXMLNode* e, const char* name, double def, int power10)
{
    return TextScaled(Child(e, name), def, power10);
}

QString Attr(const TXMLNode* e, const char* key)
{
    return e->GetAttributeValue(Q(key));
}

QString AttrDef(const TXMLNode* e, const char* key, const QString& def)
{
    return e->GetAttributeValueDef(Q(key), def);
}

void SetAttr(TXMLNode* e, const char* key, const QString& value)
{
    e->SetAttributeValue(Q(key), value);
}

void SetAttrInt(TXMLNode* e, const char* key, long long value)
{
    e->SetAttributeValues({ { Q(key), TDecimal(value) } });
}

QString TargetNameOrUnnamed(const uint8_t* name16)
{
    const QString name = TargetNameToString(name16);
    return name.isEmpty() ? Q(N::Unnamed) : name;
}

QString VariableName(int n)
{
    return Q(N::DiameterVariableHminus) + QString::number(n);
}

int Bit(int value, int bit) { return (value >> bit) & 1; }

void AssignBit(uint8_t& byte, int bit, int on)
{
    const unsigned mask = 1u << bit;
    byte = uint8_t((on & 1) ? (byte | mask) : (byte & ~mask));
}

// The ShotInfo children a shot is read from, in this order.
enum {
    ScoreInfo,
    SectorInfo,
    RingTargetInfo,
    ZoneInfo,
    SilhouetteTargetInfo,
    StartupCounterInfo,
    TimeInfo,
    RotationInfo,
    AimingTimeInfo,
    FailuresInfo,
};
constexpr std::array<const char*, 10> ShotInfoNames = {
    N::Score, N::Sector, N::RingTarget, N::Silhouette, N::SilhouetteTarget,
    N::StartupCounter, N::Time, N::Rotation, N::AimingTime, N::FailuresElement,
};

// The first child of each wanted name, found in one pass over the children.
template <std::size_t Count>
std::array<const TXMLNode*, Count> FirstChildren(const TXMLNode* e, const std::array<const char*, Count>& names)
{
    std::array<const QString*, Count> wanted {};
    for (std::size_t k = 0; k < Count; ++k)
        wanted[k] = &Q(names[k]);
    std::array<const TXMLNode*, Count> found {};
    const int count = e->GetNodeCount();
    for (int i = 0; i < count; ++i) {
        const TXMLNode* child = e->GetNode(i);
        for (std::size_t k = 0; k < Count; ++k) {
            if (!found[k] && child->Name() == *wanted[k]) {
                found[k] = child;
                break;
            }
        }
    }
    return found;
}

// The file's bytes as the parser will see them, counted for '<' in chunks; -1
// when the file cannot be read here (the parser then reports why).
long long CountTagStarts(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    long long count = 0;
    QByteArray chunk;
    while (!(chunk = file.read(1 << 20)).isEmpty())
        count += std::count(chunk.cbegin(), chunk.cend(), '<');
    return count;
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

void TShotFileHandler::ReportOutOfRange(const TShooter& shooter, int shotNumber, const char* field, const QString& text)
{
    // A damaged file may hold thousands: the first few tell what happened.
    constexpr int Logged = 10;
    if (++outOfRange_ <= Logged) {
        DebugLog(QStringLiteral("Session file %1: shooter %2, shot %3: %4 \"%5\" out of range, read as none")
                     .arg(fileName_)
                     .arg(shooter.index)
                     .arg(shotNumber)
                     .arg(QLatin1String(field), text));
    }
}

void TShotFileHandler::ReportUndefinedTarget(const TShooter& shooter, int shotNumber, const char* field, int slot)
{
    constexpr int Logged = 10;
    if (++outOfRange_ <= Logged) {
        DebugLog(QStringLiteral("Session file %1: shooter %2, shot %3: %4 \"%5\" names no target in the file, read as none")
                     .arg(fileName_)
                     .arg(shooter.index)
                     .arg(shotNumber)
                     .arg(QLatin1String(field))
                     .arg(slot));
    }
}

// ---- Session file ------------------------------------------------------------------

bool TShotFileHandler::LoadShotFile(const QString& path)
{
    try {
        return LoadShotFileUnguarded(path);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    // Free what was read before anything else is allocated.
    parser_.NewDocument(path);
    sessionInfo_ = targetInfo_ = nullptr;
    owned_.reset();
    owned_ = std::make_unique<TSession>();
    session_ = owned_.get();
    throw Exception(QStringLiteral("Not enough memory to load file ") + path);
}

bool TShotFileHandler::LoadShotFileUnguarded(const QString& path)
{
    owned_ = std::make_unique<TSession>();
    session_ = owned_.get();
    fileName_ = path;
    outOfRange_ = 0;
    const QString parseError = LoadDocument(path);
    if (parseError.isEmpty()) {
        ReadShotFile();
    } else {
        // A document cut short still yields what was read before the damage;
        // the damage itself is what gets reported, also when it made a
        // required element look missing.
        try {
            ReadShotFile();
        } catch (const Exception&) {
        }
    }
    if (outOfRange_ > 0)
        DebugLog(QStringLiteral("Session file %1: %2 shot values out of range, read as none").arg(path).arg(outOfRange_));
    if (!parseError.isEmpty())
        throw Exception(parseError);
    return true;
}

void TShotFileHandler::BuildShotFile()
{
    parser_.NewDocument(fileName_);
    TXMLNode* root = parser_.Root();
    root->SetName(Q(N::ShotFile));
    SetAttr(root, N::CreatedBy, Q(N::CreatedByValue));
    WriteSession();
}

void TShotFileHandler::Save(const QString& path)
{
    fileName_ = path;
    parser_.SetFileName(path);
    parser_.BuildAndSave();
}

// ---- Writers -------------------------------------------------------------------------

void TShotFileHandler::WriteSession()
{
    TXMLNode* root = parser_.Root();
    sessionInfo_ = root->AddNode(Q(N::SessionInfo));
    WriteSessionInfo(sessionInfo_);
    targetInfo_ = root->AddNode(Q(N::TargetInfo));
    if (!session_)
        return;
    for (int i = 0; i < session_->ShooterCount(); ++i)
        WriteShooterTargets(*session_->GetShooter(i), targetInfo_);
    for (int i = 0; i < session_->ShooterCount(); ++i)
        WriteShooter(root->AddNode(Q(N::Shooter)), *session_->GetShooter(i), i);
}

void TShotFileHandler::WriteSessionInfo(TXMLNode* element)
{
    element->SetName(Q(N::SessionInfo));
    AddText(element, N::Name, session_ ? session_->name : QString());
    if (session_) {
        for (int i = 0; i < session_->ShooterCount(); ++i) {
            const TShooter* shooter = session_->GetShooter(i);
            TXMLNode* s = element->AddNode(Q(N::Shooter));
            SetAttr(s, N::Name, shooter->name);
            SetAttr(s, N::Team, shooter->team);
            SetAttr(s, N::SerialNumber, shooter->SerialNumber());
            const std::vector<TShot*> shots = shooter->SnapshotShots();
            SetAttrInt(s, N::ShotCount, (long long)shots.size());
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
        TXMLNode* e = targetInfo->AddNode(Q(N::Target));
        WriteRingTarget(e, t.ringTargets[slot]);
        SetAttrInt(e, N::TargetNumber, slot);
    }
    for (int slot = 0; slot < SlotCount; ++slot) {
        if (!t.silhouetteDefined[slot] && slot != silhouetteSlot)
            continue;
        TXMLNode* e = targetInfo->AddNode(Q(N::Target));
        WriteSilhouetteTarget(e, t.silhouetteTargets[slot], t.silhouetteMatrices[slot]);
        SetAttrInt(e, N::TargetNumber, slot);
    }
}

void TShotFileHandler::WriteShooter(TXMLNode* element, const TShooter& shooter, int position)
{
    element->SetName(Q(N::Shooter));
    SetAttrInt(element, N::ShooterIndex, position + 1);
    SetAttr(element, N::Name, shooter.name);
    SetAttr(element, N::Team, shooter.team);
    SetAttr(element, N::SerialNumber, shooter.SerialNumber());
    const std::vector<TShot*> shots = shooter.SnapshotShots();
    for (std::size_t i = 0; i < shots.size(); ++i)
        WriteShot(element->AddNode(Q(N::Shot)), *shots[i], int(i));
    const SetupBlocks blocks = shooter.GetSetupBlocks();
    WriteModeInfo(element->AddNode(Q(N::ModeInfo)), blocks.GetModeBlock(SetupBlocks::ClassicBlock), true);
    WriteModeInfo(element->AddNode(Q(N::ModeInfo)), blocks.GetModeBlock(SetupBlocks::DynamicBlock), false);
}

void TShotFileHandler::WriteShot(TXMLNode* element, const TShot& shot, int shotIndex)
{
    const RawShotRecord& r = shot.raw;
    element->SetName(Q(N::Shot));
    const QString& mode = Q(r.FunctionMode() == 1 ? N::Classic : N::Dynamic);
    // Positions in 0.1 mm; an empty value leaves the attribute out.
    element->SetAttributeValues({
        { Q(N::ShotIndex), TDecimal(shotIndex) },
        { Q(N::X), TDecimal(r.X(), 1) },
        { Q(N::Y), TDecimal(r.Y(), 1) },
        { Q(N::XNAU), compact ? QStringView() : QStringView(TDecimal(r.XNAU())) },
        { Q(N::YNAU), compact ? QStringView() : QStringView(TDecimal(r.YNAU())) },
        { Q(N::Revalm), compact ? QStringView() : QStringView(TDecimal(r.Revalm(), 1)) },
        { Q(N::FunctionMode), mode },
    });

    TXMLNode* info = element->AddNode(Q(N::ShotInfo));
    const bool ring = r.RingTargetIndex() < RawShotRecord::NoTarget;
    const bool silhouette = r.SilhouetteTargetIndex() < RawShotRecord::NoTarget;
    // A score or zone of "none" is left out: read back, it is none again.
    if (ring) {
        if (r.Score() != NoScore) {
            TXMLNode* score = AddText(info, N::Score, LocaleDecimal(r.Score(), 1));
            SetAttrInt(score, N::X, r.InnerTen() ? 1 : 0);
        }
        AddText(info, N::Sector, Int(r.ClockSector()));
        if (!compact)
            AddText(info, N::RingTarget, Int(r.RingTargetIndex()));
    }
    if (silhouette) {
        if (r.Silhouette() != NoZone)
            AddText(info, N::Silhouette, Int(r.Silhouette()));
        if (!compact)
            AddText(info, N::SilhouetteTarget, Int(r.SilhouetteTargetIndex()));
    }
    AddText(info, N::StartupCounter, Int(r.StartupCounter()));
    AddText(info, N::Time, Int(r.Time()));
    AddText(info, N::Rotation, Int(r.Rotation()));
    AddText(info, N::AimingTime, Int(shot.aimingTime));
    if (r.Failures() != 0)
        AddText(info, N::FailuresElement, Int(r.Failures()));
    if (rawResult)
        AddText(info, N::RawResult, HexBytes(r.data(), int(r.size())));

    TXMLNode* curve = element->AddNode(Q(N::Curve));
    SetAttrInt(curve, N::HitSampleIndex, -1);
    const TraceSample* samples = shot.Curve();
    const QString& pt = Q(N::Pt);
    const QString& index = Q(N::PtIndex);
    const QString& x = Q(N::X);
    const QString& y = Q(N::Y);
    const QString& failures = Q(N::Failures);
    const QString& raw = Q(N::Raw);
    for (int k = 0; k < shot.CurveCount(); ++k) {
        const TraceSample& s = samples[k];
        const QString hex = rawSamples ? HexBytes(s.data(), int(s.size())) : QString();
        curve->AddNode(pt)->SetAttributeValues({
            { index, TDecimal(k) },
            { x, TDecimal(s.X(), 1) },
            { y, TDecimal(s.Y(), 1) },
            { failures, s.Failures() != 0 ? QStringView(TDecimal(s.Failures())) : QStringView() },
            { raw, hex },
        });
    }
}

void TShotFileHandler::WriteModeInfo(TXMLNode* element, const ModeBlock& b, bool classic)
{
    element->SetName(Q(N::ModeInfo));
    SetAttr(element, N::Type, Q(classic ? N::Classic : N::Dynamic));
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
    AddText(element, N::CockingDelay, LocaleDecimal(b.CockingDelay(), 1));
    AddText(element, N::SleepEnable, Int(b.SleepEnable()));
    AddText(element, N::HIBEnable, Int(b.HIBEnable()));
    AddText(element, N::SoundEnable, Int(b.SoundEnable()));
    AddText(element, N::DisplayEnable, Int(b.DisplayEnable()));
}

void TShotFileHandler::WriteRingTarget(TXMLNode* element, const RingTargetRecord& t)
{
    const int u = t.CTRL1();
    const QString& unitSize = Q(Bit(u, 6) ? N::UnitInch : N::UnitMm);
    // Sizes in 0.01 inch or 0.1 mm.
    const int sizePower = Bit(u, 6) ? 2 : 1;

    element->SetName(Q(N::Target));
    SetAttr(element, N::Type, Q(N::Ring));
    SetAttr(element, N::TargetName, TargetNameOrUnnamed(t.data()));
    AddText(element, N::CTRL1, Int(t.CTRL1()));
    AddText(element, N::CTRL2, Int(t.CTRL2()));
    SetAttr(AddText(element, N::RingGaps, Q(Bit(u, 7) ? N::RingGapsVariable : N::RingGapsFixed)), N::Unit, unitSize);
    SetAttr(AddText(element, N::NominalDistance, LocaleDecimal(t.NominalDistance(), 1)),
        N::Unit, Q(Bit(u, 4) ? N::UnitYd : N::UnitM));
    SetAttr(AddText(element, N::Caliber, LocaleDecimal(t.Caliber(), Bit(u, 5) ? 3 : 2)),
        N::Unit, Q(Bit(u, 5) ? N::UnitInch : N::UnitMm));
    AddText(element, N::HighestRing, Int(t.HighestRing()));
    AddText(element, N::MinimumRing, Int(t.MinimumRing()));
    AddText(element, N::TargetWidth, Int(t.TargetWidth()));
    AddText(element, N::TargetHeight, Int(t.TargetHeight()));
    AddText(element, N::HIBMinScore, LocaleDecimal(t.HIBMinScore(), 1));
    AddText(element, N::PrismPlaceX, Int(t.PrismPlaceX()));
    AddText(element, N::PrismPlaceY, Int(t.PrismPlaceY()));
    AddText(element, N::DiameterInnerWhite, LocaleDecimal(t.DiameterInnerWhite(), sizePower));
    AddText(element, N::DiameterBlackArea, LocaleDecimal(t.DiameterBlackArea(), sizePower));
    AddText(element, N::DiameterX, LocaleDecimal(t.DiameterX(), sizePower));
    AddText(element, N::DiameterHighestRing, LocaleDecimal(t.DiameterHighestRing(), sizePower));
    AddText(element, N::HitRingGap, LocaleDecimal(t.HitRingGap(), sizePower));
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n)
        element->AddNode(VariableName(n), LocaleDecimal(t.DiameterVariableHminus(n), sizePower));
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
    element->SetName(Q(N::Target));
    SetAttr(element, N::Type, Q(N::Silhouette));
    SetAttr(element, N::TargetName, TargetNameOrUnnamed(t.data()));
    if (rawResult)
        AddText(element, N::RawSilSet, HexBytes(t.data() + 16, 16));
    AddText(element, N::CTRL1, Int(t.CTRL1()));
    SetAttr(AddText(element, N::NominalDistance, LocaleDecimal(t.NominalDistance(), 1)),
        N::Unit, Q(Bit(u, 4) ? N::UnitYd : N::UnitM));
    QString width;
    QString height;
    if (advancedMode) {
        width = FloatToStrLocale(t.Width());
        height = FloatToStrLocale(t.Height());
    } else {
        // Mm, or 0.1 inch.
        width = height = LocaleDecimal(t.Size(), Bit(u, 6) ? 1 : 0);
    }
    const QString& unit = Q(Bit(u, 6) ? N::UnitInch : N::UnitMm);
    SetAttr(AddText(element, N::TargetWidth, width), N::Unit, unit);
    SetAttr(AddText(element, N::TargetHeight, height), N::Unit, unit);
    AddText(element, N::PrismPlaceX, Int(t.PrismPlaceX()));
    AddText(element, N::PrismPlaceY, Int(t.PrismPlaceY()));
    const QString& rowName = Q(N::MatrixRow);
    QString columns(SilhouetteMatrix::Columns, QLatin1Char('0'));
    for (int r = 0; r < SilhouetteMatrix::Rows; ++r) {
        QChar* cells = columns.data();
        for (int c = 0; c < SilhouetteMatrix::Columns; ++c)
            cells[c] = QLatin1Char(char('0' + m.Cell(c, r)));
        element->AddNode(rowName)->SetAttributeValues({ { Q(N::Row), TDecimal(r) }, { Q(N::Columns), columns } });
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
        session_->date = sessionInfo_->GetNodeText(Q(N::Date));
    const QString& shooterName = Q(N::Shooter);
    for (int i = 0; i < root->GetNodeCount(); ++i) {
        const TXMLNode* e = root->GetNode(i);
        if (e->Name() == shooterName)
            ReadShooter(e);
    }
    ReadTargetInfo(targetInfo_);
    for (int i = 0; i < session_->ShooterCount(); ++i) {
        TShooter& shooter = *session_->GetShooter(i);
        DropUndefinedShotTargets(shooter);
        shooter.targets = session_->targets;
    }
}

// A shot naming a slot the file defines no target for would otherwise be
// scored against an all-zero target, and saving would invent that target.
// It is read as a shot without that target, like one naming no valid slot.
void TShotFileHandler::DropUndefinedShotTargets(const TShooter& shooter)
{
    const RawShotRecord fresh {};
    const DeviceSetup& table = session_->targets;
    for (int k = 0; k < shooter.ShotCount(); ++k) {
        TShot& shot = *shooter.GetShot(k);
        RawShotRecord& r = shot.raw;
        const int ring = r.RingTargetIndex();
        if (ring < SlotCount && !table.ringDefined[std::size_t(ring)]) {
            ReportUndefinedTarget(shooter, shot.shotNumber, N::RingTarget, ring);
            r.SetRingTargetIndex(RawShotRecord::NoTarget);
            r.SetScore(fresh.Score());
            r.SetSector(fresh.Sector());
        }
        const int silhouette = r.SilhouetteTargetIndex();
        if (silhouette < SlotCount && !table.silhouetteDefined[std::size_t(silhouette)]) {
            ReportUndefinedTarget(shooter, shot.shotNumber, N::SilhouetteTarget, silhouette);
            r.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
            r.SetSilhouette(fresh.Silhouette());
        }
    }
}

TShooter* TShotFileHandler::ReadShooter(const TXMLNode* element)
{
    EnsureSession();
    if (session_->ShooterCount() >= MaxShooters)
        throw Exception(QStringLiteral("Too many shooters in session file (more than %1)").arg(MaxShooters));
    TShooter* shooter = session_->AddShooter(std::make_unique<TShooter>());
    shooter->index = session_->ShooterCount();
    shooter->name = AttrDef(element, N::Name, QStringLiteral("No name"));
    shooter->team = AttrDef(element, N::Team, QString());
    shooter->SetSerialNumber(AttrDef(element, N::SerialNumber, QStringLiteral("N/A")));
    const QString& modeName = Q(N::ModeInfo);
    for (int n = 0; n < 2; ++n) {
        const TXMLNode* mode = element->FindNthNode(modeName, n);
        if (!mode)
            break;
        ModeBlock block;
        bool classic = false;
        ReadModeInfo(mode, block, classic);
        shooter->SetModeBlock(classic ? SetupBlocks::ClassicBlock : SetupBlocks::DynamicBlock, block);
    }
    const QString& shotName = Q(N::Shot);
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
    const int functionMode = ReadShotAttributes(element, r);

    const TXMLNode* info = Child(element, N::ShotInfo);
    if (!info)
        throw Exception("No shot info node on shot");
    const TShotInfo f = FirstChildren(info, ShotInfoNames);
    r.SetRingTargetIndex(RawShotRecord::NoTarget);
    r.SetSilhouetteTargetIndex(RawShotRecord::NoTarget);
    shot->aimingTime = TextTrunc(f[AimingTimeInfo], 0);
    if (shot->aimingTime < 0) {
        ReportOutOfRange(shooter, shot->shotNumber, N::AimingTime, f[AimingTimeInfo]->GetText());
        shot->aimingTime = 0;  // unknown, as when the element is missing
    }
    if (functionMode == 0)
        ThrowMissing(element, N::FunctionMode);
    r.SetFunctionMode(functionMode);
    ReadShotResult(f, shooter, *shot);
    r.SetStartupCounter(Low8(TextTrunc(f[StartupCounterInfo], -1)));
    const long long time = TextTrunc64(f[TimeInfo], -1) & 0xFFFFFF;
    r.SetTime(uint32_t(time));
    shot->timeKey = uint32_t(time);
    r.SetRotation(Low16(TextTrunc(f[RotationInfo], -1)));
    r.SetFailures(Low8(TextTrunc(f[FailuresInfo], 0)));

    // No curve: a trace of no samples, which everything downstream accepts.
    if (const TXMLNode* curve = Child(element, N::Curve))
        ReadCurve(curve, *shot);
    return shooter.AppendShot(std::move(shot));
}

int TShotFileHandler::ReadShotAttributes(const TXMLNode* element, RawShotRecord& r)
{
    TAttrNumber x, y, xnau, ynau;
    int functionMode = 0;  // 0: attribute missing
    const QString& xKey = Q(N::X);
    const QString& yKey = Q(N::Y);
    const QString& xnauKey = Q(N::XNAU);
    const QString& ynauKey = Q(N::YNAU);
    const QString& modeKey = Q(N::FunctionMode);
    const QString& classic = Q(N::Classic);
    element->ForEachAttribute([&](QStringView key, QStringView value) {
        if (IsKey(key, xKey))
            x.Take(value, 1);
        else if (IsKey(key, yKey))
            y.Take(value, 1);
        else if (IsKey(key, xnauKey))
            xnau.TakeInt(value);
        else if (IsKey(key, ynauKey))
            ynau.TakeInt(value);
        else if (IsKey(key, modeKey))
            functionMode = value == classic ? 1 : 2;
    });
    const auto required = [element](const TAttrNumber& number, const char* key) {
        if (!number.Present())
            ThrowMissing(element, key);
        return Low16(number.Scaled());
    };
    r.SetX(required(x, N::X));
    r.SetY(required(y, N::Y));
    r.SetXNAU(required(xnau, N::XNAU));
    r.SetYNAU(required(ynau, N::YNAU));
    return functionMode;
}

void TShotFileHandler::ReadShotResult(const TShotInfo& f, const TShooter& shooter, TShot& shot)
{
    RawShotRecord& r = shot.raw;
    // A value outside its range is read as none rather than wrapped into a
    // valid-looking one; a missing one (the default -1) is none anyway.
    const auto inRange = [&](long long value, long long highest, int field) {
        const bool ok = value >= 0 && value <= highest;
        if (!ok && value != -1)
            ReportOutOfRange(shooter, shot.shotNumber, ShotInfoNames[std::size_t(field)], f[std::size_t(field)]->GetText());
        return ok;
    };
    const int ring = TextTrunc(f[RingTargetInfo], -1);
    if (inRange(ring, SlotCount - 1, RingTargetInfo)) {
        // Without a Score element the score stays "none" and the inner-ten
        // bit clear.
        const long long score = TextScaled(f[ScoreInfo], -0.1, 1);
        const bool scoreOk = inRange(score, NoScore - 1, ScoreInfo);
        r.SetScore(scoreOk ? int(score) : NoScore);
        r.SetInnerTen(scoreOk && SaturatingCast<int>(f[ScoreInfo]->GetAttributeFloatDef(Q(N::X), 0)) != 0);
        const int sector = TextTrunc(f[SectorInfo], -1);
        r.SetClockSector(inRange(sector, 12, SectorInfo) ? sector : NoSector);
        r.SetRingTargetIndex(ring);
    }
    const int silhouette = TextTrunc(f[SilhouetteTargetInfo], -1);
    if (inRange(silhouette, SlotCount - 1, SilhouetteTargetInfo)) {
        const int zone = TextTrunc(f[ZoneInfo], -1);
        r.SetSilhouette(inRange(zone, 3, ZoneInfo) ? zone : NoZone);
        r.SetSilhouetteTargetIndex(silhouette);
    }
}

void TShotFileHandler::ReadCurve(const TXMLNode* curve, TShot& shot)
{
    const int count = curve->GetNodeCount();
    shot.AllocateCurve(count);
    TraceSample* samples = shot.Curve();
    const QString& xKey = Q(N::X);
    const QString& yKey = Q(N::Y);
    const QString& failuresKey = Q(N::Failures);
    for (int k = 0; k < count; ++k) {
        const TXMLNode* p = curve->GetNode(k);
        TAttrNumber x, y, failures;
        p->ForEachAttribute([&](QStringView key, QStringView value) {
            // Nearly every key is one ASCII letter: decided on its size first.
            if (key.size() == 1 && key.front().unicode() < 0x80) {
                const char16_t k = key.front().unicode() | 0x20;
                if (k == u'x')
                    x.Take(value, 1);
                else if (k == u'y')
                    y.Take(value, 1);
            } else if (IsKey(key, failuresKey)) {
                failures.Take(value, 0);
            } else if (IsKey(key, xKey)) {
                x.Take(value, 1);
            } else if (IsKey(key, yKey)) {
                y.Take(value, 1);
            }
        });
        if (!x.Present())
            ThrowMissing(p, N::X);
        samples[k].SetX(Low16(x.Scaled()));
        if (!y.Present())
            ThrowMissing(p, N::Y);
        samples[k].SetY(Low16(y.Scaled()));
        samples[k].SetFailures(failures.Present() ? Low8(failures.Trunc()) : 0);
    }
}

void TShotFileHandler::ReadTargetInfo(const TXMLNode* element)
{
    EnsureSession();
    ReadTargetInfo(element, session_->targets);
}

void TShotFileHandler::ReadTargetInfo(const TXMLNode* element, DeviceSetup& table)
{
    const QString& targetName = Q(N::Target);
    for (int i = 0; i < element->GetNodeCount(); ++i) {
        const TXMLNode* e = element->GetNode(i);
        if (e->Name() != targetName)
            continue;
        const QString type = AttrDef(e, N::Type, QString());
        if (type == Q(N::Ring))
            ReadRingTarget(e, table);
        else if (type == Q(N::Silhouette))
            ReadSilhouetteTarget(e, table);
        else
            throw Exception("Unknown target type");
    }
}

void TShotFileHandler::ReadModeInfo(const TXMLNode* element, ModeBlock& b, bool& classic)
{
    classic = Attr(element, N::Type) == Q(N::Classic);
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
    const int slot = SaturatingCast<int>(element->GetAttributeFloat(Q(N::TargetNumber)));

    t.SetCTRL1(Low8(NodeTrunc(element, N::CTRL1, 0)));
    t.SetCTRL2(Low8(NodeTrunc(element, N::CTRL2, 0)));
    t.SetVariableRingGaps(element->GetNodeText(Q(N::RingGaps)) == Q(N::RingGapsVariable));
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
    for (int n = 1; n <= RingTargetRecord::VariableRingCount; ++n)
        t.SetDiameterVariableHminus(n, Low16(TextScaled(element->FindNode(VariableName(n)), 0, power)));
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
    const int slot = SaturatingCast<int>(element->GetAttributeFloat(Q(N::TargetNumber)));

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
    const QString& rowName = Q(N::MatrixRow);
    const QString& rowKey = Q(N::Row);
    const QString& columnsKey = Q(N::Columns);
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
    root->SetName(Q(N::SetupFile));
    SetAttr(root, N::CreatedBy, Q(N::CreatedByValue));
    TXMLNode* info = root->AddNode(Q(N::SetupInfo));
    for (int i = 0; i < setups.Count(); ++i)
        WriteSetup(info->AddNode(Q(N::Setup)), *setups.Get(i));
    Save(path);
}

void TShotFileHandler::WriteSetup(TXMLNode* element, const TTargetSetup& setup)
{
    element->SetName(Q(N::Setup));
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
        WriteModeInfo(element->AddNode(Q(N::ModeInfo)), classic, true);
    if (dynamic.InUse())
        WriteModeInfo(element->AddNode(Q(N::ModeInfo)), dynamic, false);
    const TargetDescription& t = setup.target;
    if (t.hasRing) {
        TXMLNode* e = element->AddNode(Q(N::Target));
        WriteRingTarget(e, t.ringRecord);
        SetAttrInt(e, N::TargetNumber, t.targetNumber);
    }
    if (t.hasSilhouette) {
        TXMLNode* e = element->AddNode(Q(N::Target));
        WriteSilhouetteTarget(e, t.silhouetteRecord, t.silhouetteMatrix);
        SetAttrInt(e, N::TargetNumber, t.targetNumber);
    }
}

bool TShotFileHandler::LoadSetupFile(const QString& path, TSetupHandler& setups)
{
    try {
        return LoadSetupFileUnguarded(path, setups);
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    parser_.NewDocument(path);
    throw Exception(QStringLiteral("Not enough memory to load file ") + path);
}

bool TShotFileHandler::LoadSetupFileUnguarded(const QString& path, TSetupHandler& setups)
{
    fileName_ = path;
    if (CountTagStarts(path) > MaxSetupFileTags)
        throw Exception(QStringLiteral("Setup file too large (more than %1 tags)").arg(MaxSetupFileTags));
    const QString parseError = LoadDocument(path);
    const TXMLNode* info = Child(parser_.Root(), N::SetupInfo);
    if (!info)
        return false;
    // One walk over the children; the list grows by the setups alone.
    std::vector<const TXMLNode*> elements;
    const QString& setupName = Q(N::Setup);
    for (int i = 0; i < info->GetNodeCount(); ++i) {
        const TXMLNode* e = info->GetNode(i);
        if (e->Name() == setupName)
            elements.push_back(e);
    }
    if (info->GetNodeCount() > 0 && elements.empty()) {
        if (!parseError.isEmpty())
            throw Exception(parseError);
        throw Exception("No targets in setup file");
    }
    if (!elements.empty()) {
        // The scratch table is large; keep it off the stack.
        auto scratch = std::make_unique<DeviceSetup>();
        setups.SetCapacity(std::max(setups.Capacity(), setups.Count() + int(elements.size()) + 2));
        try {
            for (const TXMLNode* e : elements) {
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
    const QString& descriptionName = Q(N::Description);
    for (int i = 0; i < element->GetNodeCount(); ++i) {
        const TXMLNode* e = element->GetNode(i);
        if (e->Name() == descriptionName)
            setup.descriptions->append(e->GetText());
    }
    const QString& modeName = Q(N::ModeInfo);
    const QString& targetName = Q(N::Target);
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
        if (type == Q(N::Ring)) {
            const int slot = ReadRingTarget(target, scratch);
            setup.target.ringRecord = scratch.ringTargets[slot];
            setup.target.hasRing = 1;
        } else if (type == Q(N::Silhouette)) {
            const int slot = ReadSilhouetteTarget(target, scratch);
            setup.target.silhouetteRecord = scratch.silhouetteTargets[slot];
            setup.target.silhouetteMatrix = scratch.silhouetteMatrices[slot];
            setup.target.hasSilhouette = 1;
        } else {
            throw Exception("Unknown target type");
        }
    }
}
