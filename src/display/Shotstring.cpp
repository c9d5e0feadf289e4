#include "Shotstring.h"

#include "BitmapArt.h"
#include "Globals.h"
#include "ScoreDecimals.h"
#include "Shotdata.h"
#include "Translation.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <iterator>

namespace {

constexpr int RingCount = 16;
constexpr int CentreHitBit = 0x01;     // flags byte: a centre-ring hit on a silhouette
constexpr uint32_t TicksPerSecond = 66;
constexpr uint32_t TicksPerMinute = 60 * TicksPerSecond;
constexpr uint32_t TicksPerHour = 60 * TicksPerMinute;
constexpr int BarTop = 31;
constexpr int BarBottom = 34;          // exclusive
constexpr int CompactBarBottom = 33;

const QString& IconName(TStripIcon icon)
{
    switch (icon) {
    case TStripIcon::HitRange: return BitmapFiles::HitRange;
    case TStripIcon::MissRange: return BitmapFiles::MissRange;
    case TStripIcon::HitField: return BitmapFiles::HitField;
    case TStripIcon::MissField: break;
    }
    return BitmapFiles::MissField;
}

// A word of the strip between single blanks, translated without them.
QString Padded(const char* word)
{
    return QLatin1Char(' ') + Translate(QString::fromLatin1(word)) + QLatin1Char(' ');
}

QString TwoDigits(uint32_t value)
{
    return QString::number(value).rightJustified(2, QLatin1Char('0'));
}

// tenths as "w.t" with the display's decimal separator.
QString Tenths(long long tenths)
{
    const QString sign = tenths < 0 ? QStringLiteral("-") : QString();
    const long long magnitude = tenths < 0 ? -tenths : tenths;
    return sign + QString::number(magnitude / 10) + DecimalSeparator() + QString::number(magnitude % 10);
}

} // namespace

// No picture before the first paint: a strip that is never shown (that of
// a small tile) never fills one.
TShotString::TShotString() = default;

TShotString::~TShotString() { Clear(); }

void TShotString::SetShots(const TShooter* shooter)
{
    if (shooter)
        SetShots(shooter->SnapshotShots());
    else
        SetShots(std::vector<TShot*>());
}

void TShotString::SetShots(const std::vector<TShot*>& shots)
{
    shots_.clear();
    for (TShot* shot : shots) {
        if (shot)
            shots_.push_back(shot);
    }
    // Entries of the old list may point at shots that are gone or have moved;
    // keep the storage, drop the contents until the next layout.
    entries_.clear();
    painted_ = false;
    paintDue_ = false;
}

void TShotString::Clear()
{
    shots_.clear();
    entries_.clear();
    painted_ = false;
    paintDue_ = false;
}

const TShotOnString* TShotString::Entry(int index) const
{
    if (index < 0 || index >= EntryCount())
        return nullptr;
    return &entries_[size_t(index)];
}

const TShotOnString* TShotString::FindShotAt(int x) const
{
    // Only the entries of the current layout take part; a click after the
    // list shrank must not land on an entry of a shot that is gone.
    if (entries_.empty())
        return nullptr;
    const TShotOnString* best = &entries_.front();
    long long distance = std::llabs(static_cast<long long>(best->x) - x);
    for (const TShotOnString& entry : entries_) {
        if (std::llabs(static_cast<long long>(entry.xCentre) - x) < distance) {
            best = &entry;
            distance = std::llabs(static_cast<long long>(entry.x) - x);
        }
    }
    return best;
}

QString TShotString::ClockText(uint32_t ticks)
{
    const uint32_t hours = ticks / TicksPerHour;
    const uint32_t minutes = (ticks / TicksPerMinute) % 60;
    const uint32_t seconds = (ticks / TicksPerSecond) % 60;
    if (hours > 0)
        return QLatin1Char(' ') + QString::number(hours) + QLatin1Char(':') + TwoDigits(minutes) + QLatin1Char(':')
            + TwoDigits(seconds) + QLatin1Char(' ');
    return QLatin1Char(' ') + QString::number(minutes) + QLatin1Char(':') + TwoDigits(seconds) + QLatin1Char(' ');
}

QString TShotString::BurstText(int64_t deltaTicks)
{
    // Seconds rounded to a tenth: 10 x dt / 66 never ends in exactly one half.
    const int64_t twice = deltaTicks * 20;
    const int64_t tenths = (twice >= 0 ? twice + 66 : twice - 66) / 132;
    return QLatin1Char('+') + Tenths(tenths);
}

const TUiBitmap& TShotString::IconBitmap(TStripIcon icon) { return UiBitmap(IconName(icon)); }

int TShotString::IconWidth(TStripIcon icon)
{
    const TUiBitmap& bitmap = IconBitmap(icon);
    if (bitmap.Loaded())
        return bitmap.Width();
    return UiPictureSize(IconName(icon)).width();
}

void TShotString::FillLabel(TShotOnString& entry) const
{
    const RawShotRecord& raw = entry.shot->raw;
    const bool flagged = raw.Failures() != 0;
    if (raw.RingTargetIndex() < RingCount) {
        if (!raw.HasScore()) {
            entry.label = Padded("N/A");
            entry.icon = TStripIcon::MissRange;
            return;
        }
        const int score = raw.Score();   // tenths of a ring
        entry.icon = score != 0 ? TStripIcon::HitRange : TStripIcon::MissRange;
        const bool tenths = entry.shot->shooter ? ShotScoredInTenths(*entry.shot->shooter, raw) : decimals;
        if (tenths)
            entry.label = QLatin1Char(' ') + Tenths(score) + QLatin1Char(' ');
        else
            entry.label = QLatin1Char(' ') + QString::number(score / 10) + QLatin1Char(' ');
        if (flagged) {
            entry.label = Padded("N/A");
            entry.icon = TStripIcon::MissRange;
        }
        return;
    }
    switch (raw.Silhouette()) {
    case 1:
        entry.icon = TStripIcon::HitField;
        entry.label = Padded("HIT");
        break;
    case 2:
        entry.icon = TStripIcon::HitField;
        entry.label = Padded("FATAL");
        break;
    case 3:
        entry.icon = TStripIcon::HitField;
        entry.label = Padded("NEAR");
        break;
    default:
        // Zone 0, and any value a zone map cannot hold, is a miss.
        entry.icon = TStripIcon::MissField;
        entry.label = Padded("MISS");
        break;
    }
    if (raw.Flags() & CentreHitBit) {
        entry.label += QStringLiteral("CRH");
    } else if (flagged) {
        entry.label = Padded("N/A");
        entry.icon = TStripIcon::MissField;
    }
}

int TShotString::Layout()
{
    std::array<int, 4> widths {};
    for (int i = 0; i < 4; ++i)
        widths[size_t(i)] = IconWidth(TStripIcon(i));

    const int count = ShotCount();
    entries_.resize(size_t(count));   // trimmed to the current list
    int x = FirstX;
    uint32_t prevTime = 0;
    int prevGroup = -1;
    for (int i = 0; i < count; ++i) {
        TShotOnString& entry = entries_[size_t(i)];
        entry = TShotOnString();
        entry.index = i;
        entry.shot = shots_[size_t(i)];
        const RawShotRecord& raw = entry.shot->raw;
        const int group = raw.StartupCounter();
        entry.newGroup = group != prevGroup;
        prevGroup = group;

        FillLabel(entry);

        const uint32_t time = raw.Time();
        const int64_t dt = int64_t(time) - int64_t(prevTime);
        if (dt < 1 || dt > BurstTicks || entry.newGroup) {
            entry.timeText = ClockText(time);
            entry.inBurst = false;
            entry.burstStart = -1;
        } else {
            // i >= 1 here: the first shot always starts a new group.
            TShotOnString& previous = entries_[size_t(i - 1)];
            if (!previous.inBurst) {
                previous.inBurst = true;
                previous.burstStart = i - 1;
            }
            entry.inBurst = true;
            entry.burstStart = previous.burstStart;
            entry.timeText = BurstText(dt);
        }

        if (i > 0) {
            if (compact)
                x += CompactGap;
            else if (!entry.newGroup && dt < ScaledGapTicks)
                x += int(std::clamp<int64_t>(dt * 10 / 66, 0, LongGap));
            else
                x += LongGap;
        }

        const int width = widths[size_t(entry.icon)];
        entry.x = x;
        entry.xCentre = x + width / 2;
        x += 2 * width + IconSpacing;
        prevTime = time;
    }
    return x;
}

void TShotString::ClearSelection()
{
    selected = -1;
    showRange = false;
    rangeFirst = -1;
    rangeLast = -1;
}

void TShotString::UpdateBurstRange()
{
    if (!selectBurst)
        return;
    const TShotOnString* entry = Entry(selected);
    if (!entry)
        return;
    rangeFirst = -1;
    rangeLast = -1;
    // A shot outside any burst selects no range, not every other lone shot.
    if (entry->burstStart < 0)
        return;
    rangeFirst = entry->burstStart;
    rangeLast = rangeFirst;
    for (int i = rangeFirst + 1; i < EntryCount() && entries_[size_t(i)].burstStart == rangeFirst; ++i)
        rangeLast = i;
}

bool TShotString::Highlighted(int index) const
{
    if (index == selected)
        return true;
    if (!(showRange || selectBurst) || rangeFirst < 0)
        return false;
    return index >= rangeFirst && index <= rangeLast;
}

const QImage& TShotString::TextCell(TCanvas& measure, const QString& text, bool bold, bool highlighted)
{
    // Shaping text is the dearest part of a paint, and the strip is painted
    // again after every shot with mostly the same texts: each cell is
    // written once and kept while paints keep using it.
    const QString key = QString(QChar(u'0' + (bold ? 2 : 0) + (highlighted ? 1 : 0))) + text;
    auto found = textCells_.find(key);
    if (found != textCells_.end()) {
        found->second.used = paintCount_;
        return found->second.image;
    }
    if (textCells_.size() >= MaxTextCells) {
        // Every clock time is a text of its own: keep only what this paint
        // has drawn so far.
        for (auto it = textCells_.begin(); it != textCells_.end();)
            it = it->second.used == paintCount_ ? std::next(it) : textCells_.erase(it);
    }

    if (measure.Font().bold() != bold)
        measure.SetFontBold(bold);
    const int width = measure.TextWidth(text);
    const int height = measure.TextHeight(text);
    QImage cell;
    if (width > 0 && height > 0) {
        // Written on a scratch picture and copied out: an image that was
        // painted on keeps its paint engine, several KB for each cell.
        if (cellScratch_.width() < width || cellScratch_.height() < height)
            cellScratch_ = NewLayer(std::max({width, cellScratch_.width(), 256}),
                                    std::max(height, cellScratch_.height()));
        cellScratch_.fill(0xFF000000u);
        {
            TCanvas canvas(cellScratch_);
            canvas.SetFont(QStringLiteral("Tahoma"), TextHeight, bold);
            canvas.SetFontColour(TextColour);
            canvas.SetBrushStyle(TBrushStyle::Solid);
            canvas.SetBrushColour(highlighted ? HighlightColour : StripColour);
            canvas.TextOut(0, 0, text);
        }
        cell = cellScratch_.copy(0, 0, width, height);
    }
    return textCells_.emplace(key, TTextCell {std::move(cell), paintCount_}).first->second.image;
}

void TShotString::Draw()
{
    DrawOnReveal();
    Paint();
}

void TShotString::DrawOnReveal()
{
    const int end = Layout();
    UpdateBurstRange();
    width_ = std::max(minWidth, SaturatingCast<int>(double(end) + RightMargin));
    painted_ = false;
    paintDue_ = true;
}

bool TShotString::Covers(int left, int width) const
{
    const int from = std::clamp(left, 0, width_);
    const int to = std::clamp(SaturatingCast<int>(double(left) + width), 0, width_);
    return from >= bitmapLeft_ && to <= bitmapLeft_ + bitmap_.width();
}

bool TShotString::Reveal(int left, int width)
{
    viewLeft_ = left;
    viewWidth_ = std::max(0, width);
    if (!paintDue_ && (!painted_ || Covers(left, width)))
        return false;
    Paint();
    return true;
}

void TShotString::Paint()
{
    const int view = viewWidth_ > 0 ? viewWidth_ : std::max(minWidth, InitialWidth);
    const int span = std::min(width_, SaturatingCast<int>(double(view) * PaintedViews));
    const int left = std::clamp(viewLeft_ - view, 0, width_ - span);
    const int right = left + span;
    // The same size as the last paint is the same picture: no allocation.
    if (bitmap_.width() != span || bitmap_.height() != StripHeight)
        bitmap_ = NewLayer(span, StripHeight);
    bitmapLeft_ = left;
    painted_ = true;
    paintDue_ = false;
    ++paintCount_;

    // A plain fill before the painter opens.
    bitmap_.fill(0xFF000000u | ColourToPixel(StripColour).rgb);

    TCanvas canvas(bitmap_);
    canvas.SetBrushStyle(TBrushStyle::Solid);
    canvas.SetFont(QStringLiteral("Tahoma"), TextHeight, false);

    const TUiBitmap& marker = UiBitmap(BitmapFiles::TimelinePause);
    const int markerWidth = marker.Loaded() ? marker.Width() : UiPictureSize(BitmapFiles::TimelinePause).width();
    const int barBottom = compact ? CompactBarBottom : BarBottom;
    std::array<int, 4> widths {};
    for (int i = 0; i < 4; ++i)
        widths[size_t(i)] = IconWidth(TStripIcon(i));
    const int widest = *std::max_element(widths.begin(), widths.end());

    // Entries are in x order. Everything an entry draws lies between the end
    // of its predecessor and its own icon, give or take a text: the entries
    // within TextReach of the painted part are all that reach into it, and
    // they are painted in the same order as the whole strip would be.
    const auto first = std::partition_point(entries_.begin(), entries_.end(), [&](const TShotOnString& entry) {
        return int64_t(entry.x) + widest + TextReach < left;
    });
    for (auto it = first; it != entries_.end(); ++it) {
        const TShotOnString& entry = *it;
        const int iconWidth = widths[size_t(entry.icon)];
        if (it != entries_.begin()) {
            const TShotOnString& previous = *std::prev(it);
            const int prevEnd = previous.x + widths[size_t(previous.icon)];
            if (int64_t(prevEnd) - TextReach >= right)
                break;
            canvas.SetBrushColour(BarColour);
            canvas.FillRect(prevEnd - left, BarTop, entry.x - left, barBottom);
            if (entry.newGroup) {
                // Centred in the gap between the two icons.
                const int markerX = SaturatingCast<int>(entry.x - 0.5 * (markerWidth + entry.x - prevEnd));
                DrawBitmapTransparent(canvas, markerX - left, IconY, marker);
            }
        }
        DrawBitmap(canvas, entry.x - left, IconY, IconBitmap(entry.icon));

        const bool isSelected = entry.index == selected;
        const bool highlighted = Highlighted(entry.index);
        const int centre = entry.x - left + iconWidth / 2;
        const QImage& label = TextCell(canvas, entry.label, isSelected, highlighted);
        canvas.Draw(centre - label.width() / 2, LabelY, label);
        const QImage& time = TextCell(canvas, entry.timeText, isSelected, highlighted);
        canvas.Draw(centre - time.width() / 2, TimeY, time);
    }
}
