// The shot strip under each shooter viewer: one icon per shot along a time
// line, spaced by the time between shots, with the score or hit word above
// and a clock or burst time below. The viewer rebuilds it after every change
// of the shot list and selects the shot under a click through FindShotAt.
//
// Every shot stays laid out (clicks, printing), but only the part around
// what the viewer shows is painted: a session of thousands of shots would
// otherwise need a picture as wide as the whole session, reallocated with
// every shot. Bitmap() is that painted part, starting at strip pixel
// BitmapLeft(); the viewer reports what it shows through Reveal.
#pragma once

#include "DrawKit.h"
#include "UiBitmaps.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <unordered_map>
#include <vector>

class TShot;
class TShooter;

enum class TStripIcon { HitRange, MissRange, HitField, MissField };

// One shot as laid out on the strip.
struct TShotOnString {
    int index = 0;                 // position in the strip's shot list
    TShot* shot = nullptr;         // not owned
    int x = 0;                     // left pixel of the icon
    int xCentre = 0;               // x + icon width / 2
    bool newGroup = false;         // the unit was restarted before this shot
    bool inBurst = false;          // within 132 ticks of its neighbour
    int burstStart = -1;           // first shot of its burst, -1 when none
    TStripIcon icon = TStripIcon::MissRange;
    QString label;                 // score or hit word
    QString timeText;              // clock time or "+s.s" inside a burst
};

class TShotString {
public:
    static constexpr int StripHeight = 80;
    static constexpr int InitialWidth = 1024;
    static constexpr int FirstX = 50;
    static constexpr int RightMargin = 80;
    static constexpr int IconY = 16;
    static constexpr int LabelY = 2;
    static constexpr int TimeY = 48;
    static constexpr int IconSpacing = 30;     // added to twice the icon width
    static constexpr int CompactGap = 10;
    static constexpr int LongGap = 100;
    static constexpr int BurstTicks = 132;     // 2 s of 1/66 s ticks
    static constexpr int ScaledGapTicks = 991; // 15 s
    static constexpr TColor StripColour { 0xB97A00 };
    static constexpr TColor HighlightColour { 0x000080 };
    static constexpr TColor BarColour { 0xFFFFFF };
    static constexpr TColor TextColour { 0xFFFFFF };

    bool compact = false;      // every gap CompactGap pixels
    bool decimals = false;     // ring scores with one decimal
    int minWidth = 0;          // the viewer sets its visible width
    int selected = -1;         // selected shot, -1 for none
    bool selectBurst = false;  // selecting a shot selects its burst
    bool showRange = false;    // highlight rangeFirst .. rangeLast
    int rangeFirst = -1;
    int rangeLast = -1;

    TShotString();
    ~TShotString();
    TShotString(const TShotString&) = delete;
    TShotString& operator=(const TShotString&) = delete;

    // Takes the shooter's shots in order (none for a null shooter). The
    // previous layout is dropped: entries exist again after Draw.
    void SetShots(const TShooter* shooter);
    void SetShots(const std::vector<TShot*>& shots);
    // No shots and no entries.
    void Clear();

    // The entry nearest to pixel column x; null without entries.
    const TShotOnString* FindShotAt(int x) const;

    // Lays the shots out and paints the part around the view.
    void Draw();
    // Lays the shots out; the part around the view is painted by the next
    // Reveal, so a strip that is not on screen is never painted.
    void DrawOnReveal();
    // The strip pixels left .. left + width - 1 are about to be shown: they
    // become the view, and the part around them is painted again unless it
    // is painted already. True when it painted.
    bool Reveal(int left, int width);
    // The layout pass of Draw alone: entries, labels, time texts, bursts.
    // Returns the x after the last entry.
    int Layout();

    // Selection: nothing selected, no range shown.
    void ClearSelection();
    // With selectBurst and a selected shot, its burst becomes the range;
    // a shot outside any burst gives no range. Draw calls this.
    void UpdateBurstRange();

    int ShotCount() const { return int(shots_.size()); }
    int EntryCount() const { return int(entries_.size()); }
    // Null outside 0 .. EntryCount() - 1.
    const TShotOnString* Entry(int index) const;
    // The painted part of the strip: at most PaintedViews view widths around
    // the view, from strip pixel BitmapLeft() on; empty before the first
    // paint.
    const QImage& Bitmap() const { return bitmap_; }
    int BitmapLeft() const { return bitmapLeft_; }
    // The width of the whole strip as laid out.
    int Width() const { return width_; }
    // Cached text cells (bounded; for the memory tests).
    int TextCellCount() const { return int(textCells_.size()); }

    // Texts of the time line: " m:ss " or, from an hour on, " h:mm:ss " for
    // a clock time in ticks; "+s.s" for a gap inside a burst.
    static QString ClockText(uint32_t ticks);
    static QString BurstText(int64_t deltaTicks);
    // The picture of an icon, and the width it is laid out with (the
    // intended width when the file is missing, so a missing picture does not
    // move the time line).
    static const TUiBitmap& IconBitmap(TStripIcon icon);
    static int IconWidth(TStripIcon icon);

    static constexpr int PaintedViews = 3;
    static constexpr size_t MaxTextCells = 512;

private:
    static constexpr int TextHeight = 14;
    // How far a text cell may reach beyond its entry's icon: entries this
    // far outside the painted part are painted too, so that what they
    // draw into it is there.
    static constexpr int TextReach = 512;

    struct TTextCell {
        QImage image;
        uint32_t used = 0;   // the paint that last drew it
    };

    void FillLabel(TShotOnString& entry) const;
    // The text written in the strip's font on its cell background, as an
    // image; kept between rebuilds. measure carries the strip's font.
    const QImage& TextCell(TCanvas& measure, const QString& text, bool bold, bool highlighted);
    bool Highlighted(int index) const;
    // Paints the part of the strip around the view into bitmap_.
    void Paint();
    bool Covers(int left, int width) const;

    std::vector<TShot*> shots_;
    std::vector<TShotOnString> entries_;
    std::unordered_map<QString, TTextCell> textCells_;
    QImage cellScratch_;     // text cells are written here, then copied out
    uint32_t paintCount_ = 0;
    QImage bitmap_;
    int bitmapLeft_ = 0;
    int width_ = InitialWidth;
    int viewLeft_ = 0;
    int viewWidth_ = 0;      // 0: no view reported yet
    bool painted_ = false;   // bitmap_ shows the current layout
    bool paintDue_ = false;  // laid out by DrawOnReveal, not painted yet
};
