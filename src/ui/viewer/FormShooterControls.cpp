// The shooter viewer's controls: mouse gestures on the target and the strip,
// shot selection, arrows, zoom, replay, grading buttons, zeroing, saving and
// printing one shooter, the timed message and network texts.
#include "FormShooter.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "Clock.h"
#include "DeviceFrames.h"
#include "FormShooterDevice.h"
#include "FormShooterWidgets.h"
#include "GradingPanel.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "Prompts.h"
#include "SessionFiles.h"
#include "ShotGrading.h"
#include "ShotScoring.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPrinter>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr int SwipePx = 50;
constexpr int StripDragPx = 30;
constexpr int StatusCornerPx = 32;
constexpr int PageShots = 15;
constexpr int64_t IgnoreDifficultyNs = 100 * 1000000LL;
constexpr int ZoomStep = 50;
constexpr int ZoomMin = 25;
constexpr int ZoomMax = 500;
constexpr int ReplayHintMs = 5000;

// The traces belong to one shot: without one the graph would stay empty.
QString ReplayHint() { return Translate(QStringLiteral("Select a shot to replay")); }

const QString& ReplayGlyph(int state)
{
    static const QString names[] = {BitmapFiles::ReplayXY, BitmapFiles::ReplayXYt, BitmapFiles::ReplayRt,
                                    BitmapFiles::SummaryRange};
    return names[std::clamp(state, 0, 3)];
}

int ReplayViewMode(int state)
{
    static const int modes[] = {TTargetRenderer::ViewAllShots, TTargetRenderer::ViewXYGraph,
                                TTargetRenderer::ViewDistanceGraph, TTargetRenderer::ViewTextPage};
    return modes[std::clamp(state, 0, 3)];
}

QIcon IconOf(const TUiBitmap& bitmap) { return QIcon(QPixmap::fromImage(bitmap.image)); }

} // namespace

// ---- Free functions -------------------------------------------------------------------

int StripScrollFor(int entryRight, int position, int width)
{
    if (entryRight - position < 100)
        return entryRight - 100;
    if (width + position - entryRight < 100)
        return entryRight - width + 100;
    return position;
}

QString FoldDisplayText(const QString& text)
{
    QString folded = text;
    for (QChar& c : folded) {
        switch (c.unicode()) {
        case 0x00C5: case 0x00C4: c = QLatin1Char('A'); break; // Å Ä
        case 0x00D6: c = QLatin1Char('O'); break;              // Ö
        case 0x00E5: case 0x00E4: c = QLatin1Char('a'); break; // å ä
        case 0x00F6: c = QLatin1Char('o'); break;              // ö
        default: break;
        }
    }
    return folded;
}

// ---- Mouse ---------------------------------------------------------------------------

bool TFormShooter::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == ImageTarget && type == QEvent::Paint) {
        Guarded("paint", [&] { FlushRender(); });
        return false;
    }
    const bool mouse = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
        || type == QEvent::MouseButtonDblClick || type == QEvent::MouseMove;
    if (!mouse)
        return QWidget::eventFilter(watched, event);
    auto* me = static_cast<QMouseEvent*>(event);
    const QPoint pos = me->position().toPoint();
    try {
        if (watched == ImageTarget) {
            switch (type) {
            case QEvent::MouseButtonPress: ImageTargetMouseDown(me->button(), pos); break;
            case QEvent::MouseButtonDblClick:
                targetDoubleClicked_ = true;
                ImageTargetMouseDown(me->button(), pos);
                break;
            case QEvent::MouseButtonRelease: {
                lastX_ = pos.x();
                lastY_ = pos.y();
                // A click is a release inside, and not the second of a double click.
                const bool click = me->button() == Qt::LeftButton && ImageTarget->rect().contains(pos)
                    && !targetDoubleClicked_;
                targetDoubleClicked_ = false;
                if (click)
                    ImageTargetClick();
                ImageTargetMouseUp(me->button(), pos);
                break;
            }
            default: FormMouseMove(ImageTarget, pos.x(), pos.y()); break;
            }
        } else if (watched == ImageShotString) {
            const int x = pos.x() + StripScrollPosition();
            switch (type) {
            case QEvent::MouseButtonPress: ImageShotStringMouseDown(me->button(), x); break;
            case QEvent::MouseButtonDblClick:
                stripDoubleClicked_ = true;
                ImageShotStringMouseDown(me->button(), x);
                ImageShotStringDblClick();
                break;
            case QEvent::MouseButtonRelease: {
                ImageShotStringMouseMove(me->buttons(), x);
                const bool click = me->button() == Qt::LeftButton && ImageShotString->rect().contains(pos)
                    && !stripDoubleClicked_;
                stripDoubleClicked_ = false;
                if (click)
                    ImageShotStringClick();
                ImageShotStringMouseUp();
                break;
            }
            default: ImageShotStringMouseMove(me->buttons(), x); break;
            }
        } else if (watched == EditShooterName && type == QEvent::MouseButtonRelease) {
            EditShooterNameClick();
        } else if (watched == PanelTimedMessage && type == QEvent::MouseButtonRelease) {
            TimerHidePanelTimer();
        } else if (type == QEvent::MouseMove) {
            FormMouseMove(watched, pos.x(), pos.y());
        }
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Viewer mouse: ") + QString::fromUtf8(e.what()));
    }
    return false;
}

void TFormShooter::ImageTargetMouseDown(Qt::MouseButton, const QPoint& pos)
{
    downX_ = pos.x();
    downY_ = pos.y();
    lastX_ = pos.x();
    lastY_ = pos.y();
}

void TFormShooter::ImageTargetMouseUp(Qt::MouseButton button, const QPoint&)
{
    if (button == Qt::RightButton)
        BitBtnReplayModeClick();
}

void TFormShooter::ImageTargetClick()
{
    const int swipe = lastX_ - downX_;
    if (swipe > SwipePx) {
        BitBtnLeftArrowClick();
        return;
    }
    if (swipe < -SwipePx) {
        BitBtnRightArrowClick();
        return;
    }
    ClearSelection();
    if (TrackBarZoomPercent->value() == int(renderer_.ZoomPercent) && GetOptionBool(QStringLiteral("AutoZoom"))) {
        ZoomToShot(0, ShotCount() - 1);
    } else {
        renderer_.AnimStartX = renderer_.ViewX;
        renderer_.AnimStartY = renderer_.ViewY;
        renderer_.AnimStartZoom = renderer_.ZoomPercent;
        renderer_.AnimEndX = 0.0;
        renderer_.AnimEndY = 0.0;
        renderer_.AnimEndZoom = TrackBarZoomPercent->value();
        StartZoomAnimation(500);
    }
    RenderTarget(TTargetRenderer::ViewAllShots);
    const int position = StripScrollPosition();
    UpdateShotString();
    SetStripScrollPosition(position);
    if (lastX_ < StatusCornerPx && lastY_ > ImageTarget->height() - StatusCornerPx)
        ImageTargetReconnect();
}

// ---- Strip gestures -------------------------------------------------------------------

void TFormShooter::ImageShotStringMouseDown(Qt::MouseButton button, int x)
{
    dragging_ = true;
    rightButton_ = button == Qt::RightButton;
    dragStartX_ = x;
    lastX_ = x;
    dragScrollPosition_ = StripScrollPosition();
    if (ShotCount() > 0) {
        if (const TShotOnString* entry = strip_.FindShotAt(x))
            anchor_ = entry->index;
    }
}

void TFormShooter::ImageShotStringMouseMove(Qt::MouseButtons buttons, int x)
{
    lastX_ = x;
    if (!dragging_ || !(buttons & Qt::LeftButton) || std::abs(dragStartX_ - x) <= StripDragPx || ShotCount() == 0)
        return;
    const TShotOnString* entry = strip_.FindShotAt(x);
    if (!entry || anchor_ < 0)
        return;
    const int first = std::min(anchor_, entry->index);
    const int last = std::max(anchor_, entry->index);
    strip_.showRange = true;
    strip_.selectBurst = false;
    if (strip_.rangeFirst == first && strip_.rangeLast == last)
        return;
    strip_.rangeFirst = first;
    strip_.rangeLast = last;
    strip_.Draw();
    ImageShotString->update();
}

void TFormShooter::ImageShotStringMouseUp() { dragging_ = false; }

void TFormShooter::ImageShotStringClick()
{
    if (const TShotOnString* entry = strip_.FindShotAt(lastX_))
        SelectShot(entry->index);
}

void TFormShooter::ImageShotStringDblClick()
{
    strip_.compact = !strip_.compact;
    UpdateShotString();
}

// ---- Selection --------------------------------------------------------------------------

int TFormShooter::ShotCount() const { return shooter_ ? shooter_->ShotCount() : 0; }

void TFormShooter::ClearSelection()
{
    selectedShot_ = rangeEndShot_ = nullptr;
    renderer_.SelectedShot = nullptr;
    renderer_.GradedShot = nullptr;
    renderer_.CurrentShot = 0;
    strip_.ClearSelection();
}

void TFormShooter::SelectShot(int index)
{
    index = std::min(index, ShotCount() - 1);
    strip_.ClearSelection();
    renderer_.RangeFirst = renderer_.RangeLast = -1;
    if (index < 0) {
        // No shots, or an index from the network below 0: nothing to select.
        ClearSelection();
        RenderTarget(TTargetRenderer::ViewAllShots);
        UpdateShotString();
        return;
    }
    const bool range = dragging_ && anchor_ >= 0 && index != anchor_;
    if (range) {
        strip_.showRange = true;
        strip_.selectBurst = false;
        strip_.rangeFirst = renderer_.RangeFirst = std::min(anchor_, index);
        strip_.rangeLast = renderer_.RangeLast = std::max(anchor_, index);
    } else {
        strip_.showRange = false;
        strip_.selectBurst = true;
    }
    TShot* shot = shooter_->GetShot(index);
    renderer_.SelectedShot = shot;
    renderer_.GradedShot = shot;
    renderer_.CurrentShot = index;
    strip_.selected = index;
    const int before = StripScrollPosition();
    UpdateShotString();
    if (const TShotOnString* entry = strip_.Entry(index)) {
        const int right = entry->x + TShotString::IconWidth(entry->icon);
        SetStripScrollPosition(StripScrollFor(right, before, ScrollBoxShotString->VisibleWidth()));
    }
    selectedShot_ = rangeEndShot_ = shot;
    if (PanelTimedMessage->isVisible() && timedMessage_ == ReplayHint())
        TimerHidePanelTimer();
    try {
        // A session can hold shots on different targets.
        TargetDescription target;
        shooter_->GetShotTarget(*shot, target);
        renderer_.Target = target;
    } catch (const std::exception& e) {
        // A target that could not be read from the unit: keep the one shown.
        DebugLog(QStringLiteral("Shot %1: %2").arg(index + 1).arg(QString::fromUtf8(e.what())));
    }
    renderer_.ZoomToFitTarget();
    const bool several = strip_.rangeFirst >= 0 && strip_.rangeLast > strip_.rangeFirst;
    int mode = several ? TTargetRenderer::ViewRange : TTargetRenderer::ViewSingleShot;
    if (!range && strip_.rangeFirst >= 0) {
        renderer_.RangeFirst = strip_.rangeFirst;
        renderer_.RangeLast = strip_.rangeLast;
    }
    if (replayState_ != 0) {
        mode = ReplayViewMode(replayState_);
        if (replayState_ == 3)
            renderer_.TextPage = index / PageShots;
    }
    // The zoom's first frame is drawn in this mode at the current view, the
    // very picture a pass here would draw: one pass, not two.
    if (mode >= 0)
        renderer_.ViewMode = mode;
    const bool zoomed = strip_.rangeFirst >= 0 ? ZoomToShot(strip_.rangeFirst, strip_.rangeLast) : ZoomToShot(index, index);
    if (!zoomed)
        RenderTarget(mode);
}

void TFormShooter::UpdateShotString()
{
    strip_.SetShots(shooter_);
    strip_.minWidth = std::max(1, ScrollBoxShotString->VisibleWidth() - 2);
    const int position = StripScrollPosition();
    // Painted around what shows now, once the box shows it (a viewer too
    // small for its strip never paints it); a scroll that follows paints
    // again only when it leaves that part.
    strip_.Reveal(position, ScrollBoxShotString->VisibleWidth());
    strip_.DrawOnReveal();
    ScrollBoxShotString->UpdateRange();
    SetStripScrollPosition(position);
    ImageShotString->update();
}

int TFormShooter::StripScrollPosition() const { return ScrollBoxShotString->Position(); }

void TFormShooter::SetStripScrollPosition(int position) { ScrollBoxShotString->SetPosition(position); }

// ---- Zoom --------------------------------------------------------------------------------

bool TFormShooter::ZoomToShot(int first, int last)
{
    const int n = ShotCount();
    if (n == 0)
        return false;
    double minX = 0;
    double maxX = 0;
    double minY = 0;
    double maxY = 0;
    const auto widen = [&](double x, double y) {
        minX = std::min(minX, x);
        maxX = std::max(maxX, x);
        minY = std::min(minY, y);
        maxY = std::max(maxY, y);
    };
    if (device_ && ViewerDevice::Zeroing(*device_)) {
        const TargetDescription& t = renderer_.Target;
        const double k = t.hasRing ? ShotScoring::ClassicK(t.ringRecord) : ShotScoring::ClassicK(t.silhouetteRecord);
        const ZeroState zero = device_->Zero();
        for (const RawShotRecord& entry : zero.history) {
            if (entry.b[0] != 0 && entry.Failures() == 0)
                widen(entry.XNAU() * k, entry.YNAU() * k);
        }
    } else {
        first = std::clamp(first, 0, n - 1);
        last = std::clamp(last, first, n - 1);
        const TShot* start = shooter_->GetShot(first);
        minX = maxX = start->raw.X() * 0.1;
        minY = maxY = start->raw.Y() * 0.1;
        for (int i = first; i <= last; ++i) {
            const TShot* shot = shooter_->GetShot(i);
            widen(shot->raw.X() * 0.1, shot->raw.Y() * 0.1);
        }
    }
    const double limit = renderer_.Target.hasSilhouette ? 150.0 : 200.0;
    const double zoom = std::min(0.9 * renderer_.ZoomField / (std::max(maxX - minX, maxY - minY) + 1.0) * 100.0, limit);
    if (!GetOptionBool(QStringLiteral("AutoZoom")))
        return false;
    renderer_.AnimStartX = renderer_.ViewX;
    renderer_.AnimStartY = renderer_.ViewY;
    renderer_.AnimStartZoom = renderer_.ZoomPercent;
    renderer_.AnimEndX = SaturatingCast<int>((minX + maxX) / 2);
    renderer_.AnimEndY = SaturatingCast<int>((minY + maxY) / 2);
    renderer_.AnimEndZoom = zoom;
    StartZoomAnimation(deviceMode_ == 1 ? 1000 : 500);
    return true;
}

void TFormShooter::StartZoomAnimation(uint32_t ms)
{
    renderPending_ = false; // the first step draws the whole view
    renderer_.StartViewAnimation(ms);
    ShowWholeTarget();
    if (renderer_.Animating)
        TimerUpdateZoom->start(ZoomStepMs());
}

int TFormShooter::ZoomStepMs() const
{
    // A view that does not move (a shot where the last one was) shows
    // nothing new before its last step: one wake-up for that one.
    const uint32_t still = renderer_.StillViewMs();
    return still > 0 ? int(std::min<uint32_t>(still, 60000)) : UiTimings().viewerZoomStepMs;
}

void TFormShooter::TimerUpdateZoomTimer()
{
    if (renderer_.Animating) {
        // A pass still owed (the viewer was not painted since it was asked
        // for) is drawn first: a step of a view that does not move keeps
        // the pass on the layer and would leave the request out.
        FlushRender();
        if (renderer_.StepViewAnimation())
            ShowWholeTarget();
    }
    if (!renderer_.Animating)
        TimerUpdateZoom->stop();
    else if (TimerUpdateZoom->interval() != ZoomStepMs())
        TimerUpdateZoom->start(ZoomStepMs());
}

void TFormShooter::TrackBarZoomPercentChange(int position)
{
    RestartHideButtonsTimer();
    renderPending_ = false;
    renderer_.SetZoomPercent(position);
    ShowWholeTarget();
}

void TFormShooter::BitBtnZoomOutClick()
{
    RestartHideButtonsTimer();
    if (TrackBarZoomPercent->value() == int(renderer_.ZoomPercent)) {
        TrackBarZoomPercent->setValue(TrackBarZoomPercent->value() - ZoomStep);
        return;
    }
    renderer_.ZoomPercent = std::max(ZoomMin, int(renderer_.ZoomPercent) - 25);
    RenderTarget(-1);
}

void TFormShooter::BitBtnZoomInClick()
{
    RestartHideButtonsTimer();
    if (TrackBarZoomPercent->value() == int(renderer_.ZoomPercent)) {
        TrackBarZoomPercent->setValue(TrackBarZoomPercent->value() + ZoomStep);
        return;
    }
    renderer_.ZoomPercent = std::min(ZoomMax, int(renderer_.ZoomPercent) + 25);
    RenderTarget(-1);
}

// ---- Arrows -------------------------------------------------------------------------------

void TFormShooter::BitBtnLeftArrowClick()
{
    if (ShotCount() == 0)
        return;
    if (replayState_ == 3) {
        if (renderer_.TextPage >= 0) {
            --renderer_.TextPage;
            RenderTarget(-1);
            if (renderer_.TextPage > -1)
                SelectShot(renderer_.TextPage * PageShots);
        }
        return;
    }
    SelectShot(strip_.selected >= 0 ? std::max(0, strip_.selected - 1) : 0);
    if (GetOptionBool(QStringLiteral("AutoZoom")))
        StartZoomAnimation(200);
}

void TFormShooter::BitBtnRightArrowClick()
{
    if (ShotCount() == 0)
        return;
    if (replayState_ == 3) {
        ++renderer_.TextPage;
        RenderTarget(-1);
        SelectShot(renderer_.TextPage * PageShots + PageShots - 1);
        return;
    }
    SelectShot(strip_.selected >= 0 ? std::min(strip_.EntryCount() - 1, strip_.selected + 1) : 0);
    if (GetOptionBool(QStringLiteral("AutoZoom")))
        StartZoomAnimation(200);
}

// ---- Replay --------------------------------------------------------------------------------

int TFormShooter::ReplayState() const { return replayState_; }

void TFormShooter::SetReplayState(int state)
{
    replayState_ = std::clamp(state, 0, 3);
    ShowReplayGlyph();
}

void TFormShooter::ShowReplayGlyph()
{
    BitBtnReplayMode->setProperty("Tag", replayState_);
    BitBtnReplayMode->setIcon(IconOf(UiBitmap(ReplayGlyph(replayState_))));
    BitBtnZoomIn->setEnabled(replayState_ == 0);
    BitBtnZoomOut->setEnabled(replayState_ == 0);
}

void TFormShooter::BitBtnReplayModeClick()
{
    if (!currentTarget_.hasRing)
        return;
    RestartHideButtonsTimer();
    int state = replayState_ + 1;
    if (state == 1 && !IsAdvancedMode())
        state = 2;
    if (state == 3 && !GetOptionBool(QStringLiteral("QuickGrading")))
        state = 0;
    if (state >= 4)
        state = 0;
    replayState_ = state;
    ShowReplayGlyph();
    RenderTarget(ReplayViewMode(state));
    if ((state == 1 || state == 2) && !selectedShot_)
        ShowTimedMessage(ReplayHint(), ReplayHintMs);
}

bool TFormShooter::HasRing() const { return currentTarget_.hasRing != 0; }

QString TFormShooter::TargetName() const { return GetTargetName(currentTarget_); }
