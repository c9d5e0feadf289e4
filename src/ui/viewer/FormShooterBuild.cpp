// The shooter viewer's controls and timers, built in code, and the
// connections of their handlers.
#include "FormShooter.h"

#include "DrawKit.h"
#include "FormShooterDevice.h"
#include "FormShooterWidgets.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"

#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmapCache>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace {

constexpr int StatusImageSize = 33;
constexpr int ButtonSize = 38;
constexpr int TextPadding = 12;  // a caption's room to the button's edges
constexpr int ZoomButtonWidth = 26;

// The zeroing button's two pictures: a sight circle, crossed when on. Drawn
// once for all the viewers of a session.
QPixmap ZeroingGlyph(bool on)
{
    const QString key = on ? QStringLiteral("ViewerZeroingOn") : QStringLiteral("ViewerZeroingOff");
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = QPixmap(32, 32);
    pixmap.fill(Qt::white);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(on ? QColor(0xE0, 0, 0) : QColor(0x40, 0x40, 0x40), 3));
    painter.drawEllipse(QPoint(16, 16), 10, 10);
    painter.drawLine(16, 2, 16, 30);
    painter.drawLine(2, 16, 30, 16);
    painter.end();
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace

void TFormShooter::BuildControls()
{
    BuildTopPanel();

    ImageTarget = new TTargetImage(this);
    ImageTarget->setObjectName(QStringLiteral("ImageTarget"));
    ImageTarget->SetLayer(&renderer_.DisplayLayer);
    WatchMouse(ImageTarget);

    BuildShotStripPanel();

    PanelTimedMessage = new QWidget(this);
    PanelTimedMessage->setObjectName(QStringLiteral("PanelTimedMessage"));
    PanelTimedMessage->setAutoFillBackground(true);
    PanelTimedMessage->setPalette(QPalette(Qt::white));
    LabelMessage = new QLabel(PanelTimedMessage);
    LabelMessage->setObjectName(QStringLiteral("LabelMessage"));
    QFont messageFont(QStringLiteral("Tahoma"));
    messageFont.setPixelSize(36);
    messageFont.setBold(true);
    LabelMessage->setFont(messageFont);
    LabelMessage->setAlignment(Qt::AlignCenter); // the lines of a wrapped message
    PanelTimedMessage->hide();
    PanelTimedMessage->installEventFilter(this);
}

void TFormShooter::BuildTopPanel()
{
    PanelTop = new QWidget(this);
    PanelTop->setObjectName(QStringLiteral("PanelTop"));
    PanelTop->setAutoFillBackground(true);
    PanelTop->setPalette(QPalette(Qt::white));
    WatchMouse(PanelTop);

    const auto button = [this](QPushButton*& control, const char* name, const QString& text, int width) {
        control = new QPushButton(text, PanelTop);
        control->setObjectName(QString::fromLatin1(name));
        // A translated caption may need more than the English one.
        control->resize(std::max(width, control->fontMetrics().horizontalAdvance(text) + TextPadding), ButtonSize);
        control->setFocusPolicy(Qt::TabFocus);
        WatchMouse(control);
    };
    button(ButtonStartStop, "ButtonStartStop", QString(), ButtonSize);
    ButtonStartStop->setIconSize(QSize(32, 32));
    SetStartStopGlyph(false);
    button(ButtonSave, "ButtonSave", Translate(QStringLiteral("Save")), 56);
    button(BitBtnPrintShooter, "BitBtnPrintShooter", Translate(QStringLiteral("Print")), 56);
    button(BitBtnStance, "BitBtnStance", QString(), ButtonSize);
    button(BitBtnDifficulty, "BitBtnDifficulty", QString(), ButtonSize);
    button(BitBtnReplayMode, "BitBtnReplayMode", QString(), ButtonSize);
    button(BitBtnZoomOut, "BitBtnZoomOut", QStringLiteral("-"), ZoomButtonWidth);
    button(BitBtnZoomIn, "BitBtnZoomIn", QStringLiteral("+"), ZoomButtonWidth);
    BitBtnZoomOut->resize(ZoomButtonWidth, ButtonSize / 2);
    BitBtnZoomIn->resize(ZoomButtonWidth, ButtonSize / 2);
    button(BitBtnSendMessage, "BitBtnSendMessage", Translate(QStringLiteral("Message")), 70);
    button(BitBtnShowAllButtons, "BitBtnShowAllButtons", QStringLiteral("..."), 30);
    for (QPushButton* b : {BitBtnStance, BitBtnDifficulty, BitBtnReplayMode})
        b->setIconSize(QSize(32, 32));
    // Viewers are made after the translation is loaded: their hints are
    // translated here, not by TranslateUI.
    for (const auto& [control, hint] : {std::pair(BitBtnStance, "Stance"), std::pair(BitBtnDifficulty, "Difficulty"),
                                        std::pair(BitBtnReplayMode, "Replay"), std::pair(BitBtnZoomOut, "Zoom Out"),
                                        std::pair(BitBtnZoomIn, "Zoom In"),
                                        std::pair(BitBtnShowAllButtons, "Show all buttons")})
        control->setToolTip(Translate(QString::fromLatin1(hint)));
    BitBtnStance->hide();
    BitBtnSendMessage->hide();
    BitBtnShowAllButtons->hide();

    SpeedButtonZeroing = new QToolButton(PanelTop);
    SpeedButtonZeroing->setObjectName(QStringLiteral("SpeedButtonZeroing"));
    SpeedButtonZeroing->setCheckable(true);
    SpeedButtonZeroing->resize(ButtonSize, ButtonSize);
    SpeedButtonZeroing->setIconSize(QSize(32, 32));
    SpeedButtonZeroing->setToolTip(textZeroingMode_);
    WatchMouse(SpeedButtonZeroing);

    const auto label = [this](QLabel*& control, const char* name) {
        control = new QLabel(PanelTop);
        control->setObjectName(QString::fromLatin1(name));
        WatchMouse(control);
    };
    label(ImageStatus, "ImageStatus");
    label(ImageRotate, "ImageRotate");
    for (QLabel* image : {ImageStatus, ImageRotate}) {
        image->resize(StatusImageSize, StatusImageSize);
        image->setProperty("Tag", -1);
    }
    label(LabelRotation, "LabelRotation");
    QFont bold = LabelRotation->font();
    bold.setBold(true);
    LabelRotation->setFont(bold);
    LabelRotation->setAlignment(Qt::AlignCenter);
    label(ImageZeroingOff, "ImageZeroingOff");
    label(ImageZeroingOn, "ImageZeroingOn");
    ImageZeroingOff->setPixmap(ZeroingGlyph(false));
    ImageZeroingOn->setPixmap(ZeroingGlyph(true));
    ImageZeroingOff->hide();
    ImageZeroingOn->hide();
    SpeedButtonZeroing->setIcon(ImageZeroingOff->pixmap());
    label(LabelSerialNumber, "LabelSerialNumber");
    label(LabelSerialNumber2, "LabelSerialNumber2");
    label(LabelSerialNumber3, "LabelSerialNumber3");
    LabelSerialNumber2->setFont(bold);

    EditShooterName = new QLineEdit(textEnterName_, PanelTop);
    EditShooterName->setObjectName(QStringLiteral("EditShooterName"));
    QFont nameFont(QStringLiteral("Arial"));
    nameFont.setPixelSize(21);
    nameFont.setBold(true);
    EditShooterName->setFont(nameFont);
    WatchMouse(EditShooterName);

    TrackBarZoomPercent = new QSlider(Qt::Horizontal, PanelTop);
    TrackBarZoomPercent->setObjectName(QStringLiteral("TrackBarZoomPercent"));
    TrackBarZoomPercent->setRange(25, 500);
    TrackBarZoomPercent->setValue(100);
    TrackBarZoomPercent->hide();

    for (QWidget* status : std::initializer_list<QWidget*>{ImageStatus, ImageRotate, LabelRotation})
        status->hide();
}

void TFormShooter::BuildShotStripPanel()
{
    PanelShotString = new QWidget(this);
    PanelShotString->setObjectName(QStringLiteral("PanelShotString"));
    BitBtnLeftArrow = new QPushButton(QStringLiteral("<"), PanelShotString);
    BitBtnLeftArrow->setObjectName(QStringLiteral("BitBtnLeftArrow"));
    BitBtnRightArrow = new QPushButton(QStringLiteral(">"), PanelShotString);
    BitBtnRightArrow->setObjectName(QStringLiteral("BitBtnRightArrow"));
    BitBtnLeftArrow->setToolTip(Translate(QStringLiteral("Previous shot")));
    BitBtnRightArrow->setToolTip(Translate(QStringLiteral("Next shot")));
    ScrollBoxShotString = new TShotStripView(PanelShotString);
    ScrollBoxShotString->setObjectName(QStringLiteral("ScrollBoxShotString"));
    ImageShotString = ScrollBoxShotString->viewport();
    ImageShotString->setObjectName(QStringLiteral("ImageShotString"));
    ScrollBoxShotString->SetStrip(&strip_);
    ScrollBoxShotString->SetFillColour(ToQColor(TShotString::StripColour));
    WatchMouse(ImageShotString);
}

void TFormShooter::BuildTimers()
{
    const auto timer = [this](QTimer*& t, const char* name, int ms, bool singleShot) {
        t = new QTimer(this);
        t->setObjectName(QString::fromLatin1(name));
        t->setInterval(ms);
        t->setSingleShot(singleShot);
    };
    const TUiTimings& timings = UiTimings();
    timer(TimerUpdateDraw, "TimerUpdateDraw", timings.viewerDrawMs, true);
    timer(TimerSampleStreamCheck, "TimerSampleStreamCheck", timings.viewerStreamCheckMs, false);
    timer(TimerHidePanel, "TimerHidePanel", timings.viewerTimedMessageMs, false);
    timer(TimerSimpleUIHideButtons, "TimerSimpleUIHideButtons", timings.viewerHideButtonsMs, false);
    timer(TimerUpdateZoom, "TimerUpdateZoom", timings.viewerZoomStepMs, false);
}

void TFormShooter::WatchMouse(QWidget* control)
{
    control->setMouseTracking(true);
    control->installEventFilter(this);
}

void TFormShooter::ConnectHandlers()
{
    const auto on = [this](QPushButton* b, void (TFormShooter::*handler)(), const char* what) {
        connect(b, &QPushButton::clicked, this, [this, handler, what] { Guarded(what, [&] { (this->*handler)(); }); });
    };
    on(ButtonStartStop, &TFormShooter::ButtonStartStopClick, "start/stop");
    on(ButtonSave, &TFormShooter::ButtonSaveClick, "save");
    on(BitBtnPrintShooter, &TFormShooter::BitBtnPrintShooterClick, "print");
    on(BitBtnStance, &TFormShooter::BitBtnStanceClick, "stance");
    on(BitBtnDifficulty, &TFormShooter::BitBtnDifficultyClick, "difficulty");
    on(BitBtnReplayMode, &TFormShooter::BitBtnReplayModeClick, "replay");
    on(BitBtnZoomOut, &TFormShooter::BitBtnZoomOutClick, "zoom out");
    on(BitBtnZoomIn, &TFormShooter::BitBtnZoomInClick, "zoom in");
    on(BitBtnSendMessage, &TFormShooter::BitBtnSendMessageClick, "message");
    on(BitBtnShowAllButtons, &TFormShooter::BitBtnShowAllButtonsClick, "buttons");
    on(BitBtnLeftArrow, &TFormShooter::BitBtnLeftArrowClick, "left");
    on(BitBtnRightArrow, &TFormShooter::BitBtnRightArrowClick, "right");
    // Toggled, not clicked: a screen reader toggles the button without a
    // click. Zeroing follows the button, and the button shows the unit's
    // state again when a toggle changed nothing (no unit, a failure).
    connect(SpeedButtonZeroing, &QToolButton::toggled, this, [this](bool checked) {
        Guarded("zeroing", [&] {
            if (device_ && checked != ViewerDevice::Zeroing(*device_))
                SpeedButtonZeroingClick(SpeedButtonZeroing);
        });
        const bool zeroing = device_ && ViewerDevice::Zeroing(*device_);
        if (SpeedButtonZeroing->isChecked() != zeroing) {
            const QSignalBlocker quiet(SpeedButtonZeroing);
            SpeedButtonZeroing->setChecked(zeroing);
        }
    });
    connect(TrackBarZoomPercent, &QSlider::valueChanged, this,
            [this](int value) { Guarded("zoom", [&] { TrackBarZoomPercentChange(value); }); });
    connect(EditShooterName, &QLineEdit::textChanged, this, [this] { EditShooterNameChange(); });

    connect(TimerUpdateDraw, &QTimer::timeout, this, [this] { DrawTick(); });
    connect(TimerSampleStreamCheck, &QTimer::timeout, this,
            [this] { Guarded("watchdog", [&] { TimerSampleStreamCheckTimer(); }); });
    connect(TimerHidePanel, &QTimer::timeout, this, [this] { TimerHidePanelTimer(); });
    connect(TimerSimpleUIHideButtons, &QTimer::timeout, this, [this] { TimerSimpleUIHideButtonsTimer(); });
    connect(TimerUpdateZoom, &QTimer::timeout, this, [this] { Guarded("zoom", [&] { TimerUpdateZoomTimer(); }); });
}
