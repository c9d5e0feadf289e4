#include "FormShooterPanel.h"

#include "FormKeys.h"
#include "FormNameListEditor.h"
#include "FormSearchShooterName.h"
#include "FormShooter.h"
#include "FormShooterList.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "Prompts.h"
#include "SessionUnits.h"
#include "Shotdata.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiBitmaps.h"
#include "UiGlobals.h"
#include "WindowPlacement.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QToolButton>

#include <algorithm>
#include <exception>

namespace {

constexpr int ButtonSize = 78;
constexpr QSize DesignSize(128, 5 * 96);

template <class T>
T* Named(QWidget* parent, const char* name)
{
    auto* control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    control->setFixedSize(ButtonSize, ButtonSize);
    // Reached by Tab only: a click must leave the focus in the viewers.
    control->setFocusPolicy(Qt::TabFocus);
    return control;
}

QIcon BitmapIcon(const QString& bitmap, QStyle::StandardPixmap fallback, const QWidget* owner)
{
    const TUiBitmap& picture = UiBitmap(bitmap);
    if (picture.Loaded())  // the pictures are small: drawn larger for the big buttons
        return QIcon(QPixmap::fromImage(picture.image.scaled(64, 64, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
    return owner->style()->standardIcon(fallback);
}

// Cross hairs over a ring: the zeroing glyph.
QIcon ZeroingGlyph()
{
    QPixmap glyph(64, 64);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 4));
    p.drawEllipse(QPointF(32, 32), 20, 20);
    p.setPen(QPen(QColor(0xC0, 0x20, 0x20), 3));
    p.drawLine(32, 4, 32, 60);
    p.drawLine(4, 32, 60, 32);
    return QIcon(glyph);
}

const QString& ReplayGlyphName(int state)
{
    static const QString names[] = {BitmapFiles::ReplayXY, BitmapFiles::ReplayXYt, BitmapFiles::ReplayRt,
                                    BitmapFiles::SummaryRange};
    return names[std::clamp(state, 0, 3)];
}

bool IsViewer(const TFormShooter* viewer)
{
    return viewer && std::find(ShooterViewers.begin(), ShooterViewers.end(), viewer) != ShooterViewers.end();
}

} // namespace

void ShowSessionViewers()
{
    if (FormShooterPanel)
        FormShooterPanel->ShowViewers();
}

TFormShooterPanel::TFormShooterPanel(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormShooterPanel"));
    setWindowTitle(QStringLiteral("Control"));
    BuildControls();
    ConnectHandlers();
    InstallFormKeys(this, nullptr, BitBtnCloseSession);
    resize(DesignSize);
}

TFormShooterPanel::~TFormShooterPanel() = default;

// ---- Building ------------------------------------------------------------------------

void TFormShooterPanel::BuildControls()
{
    SpeedButtonShootingZeroing = Named<QToolButton>(this, "SpeedButtonShootingZeroing");
    SpeedButtonShootingZeroing->setCheckable(true);
    SpeedButtonShootingZeroing->setIcon(ZeroingGlyph());
    BitBtnOneManyShooters = Named<QPushButton>(this, "BitBtnOneManyShooters");
    BitBtnOneManyShooters->setIcon(BitmapIcon(BitmapFiles::AllSilhTargets, QStyle::SP_FileDialogListView, this));
    BitBtnReplayMode = Named<QPushButton>(this, "BitBtnReplayMode");
    BitBtnReplayMode->setIcon(BitmapIcon(ReplayGlyphName(0), QStyle::SP_MediaPlay, this));
    BitBtnShooterList = Named<QPushButton>(this, "BitBtnShooterList");
    BitBtnShooterList->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    BitBtnCloseSession = Named<QPushButton>(this, "BitBtnCloseSession");
    BitBtnCloseSession->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    BitBtnOpenSession = Named<QPushButton>(this, "BitBtnOpenSession");
    BitBtnOpenSession->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    BitBtnOpenSession->hide();
    BitBtnSendMessageAll = Named<QPushButton>(this, "BitBtnSendMessageAll");
    BitBtnSendMessageAll->setIcon(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    BitBtnSendMessageAll->hide();
    RegisterHints(TranslateOrderShooterPanel, this,
                  {{"SpeedButtonShootingZeroing", "Zeroing mode"}, {"BitBtnOneManyShooters", "One or all shooters"},
                   {"BitBtnReplayMode", "Replay"}, {"BitBtnShooterList", "Shooters and Sessions"},
                   {"BitBtnCloseSession", "Close Session"}, {"BitBtnOpenSession", "Open Previous Session"},
                   {"BitBtnSendMessageAll", "Message to all shooters"}});
    slots_ = {TPanelButton::None, TPanelButton::None, TPanelButton::None, TPanelButton::None,
              TPanelButton::CloseSession};
}

void TFormShooterPanel::ConnectHandlers()
{
    // Toggled, not clicked: a screen reader toggles the button without a click.
    connect(SpeedButtonShootingZeroing, &QToolButton::toggled, this, &TFormShooterPanel::SpeedButtonShootingZeroingClick);
    connect(BitBtnOneManyShooters, &QPushButton::clicked, this, &TFormShooterPanel::BitBtnOneManyShootersClick);
    connect(BitBtnReplayMode, &QPushButton::clicked, this, &TFormShooterPanel::BitBtnReplayModeClick);
    connect(BitBtnShooterList, &QPushButton::clicked, this, &TFormShooterPanel::BitBtnShooterListClick);
    connect(BitBtnCloseSession, &QPushButton::clicked, this, &TFormShooterPanel::BitBtnCloseSessionClick);
    connect(BitBtnOpenSession, &QPushButton::clicked, this, &TFormShooterPanel::BitBtnOpenSessionClick);
    connect(BitBtnSendMessageAll, &QPushButton::clicked, this, &TFormShooterPanel::BitBtnSendMessageAllClick);
}

QAbstractButton* TFormShooterPanel::Button(TPanelButton kind) const
{
    switch (kind) {
    case TPanelButton::ShootingZeroing: return SpeedButtonShootingZeroing;
    case TPanelButton::OneManyShooters: return BitBtnOneManyShooters;
    case TPanelButton::ReplayMode: return BitBtnReplayMode;
    case TPanelButton::ShooterList: return BitBtnShooterList;
    case TPanelButton::CloseSession: return BitBtnCloseSession;
    case TPanelButton::OpenSession: return BitBtnOpenSession;
    case TPanelButton::SendMessageAll: return BitBtnSendMessageAll;
    case TPanelButton::None: break;
    }
    return nullptr;
}

// ---- Layout --------------------------------------------------------------------------

QRect TFormShooterPanel::WorkArea()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

void TFormShooterPanel::ShowViewers()
{
    allViewersShown_ = true;
    const QRect area = WorkArea();
    ArrangePanelButtons();
    PlaceAndShow(*this, ControlPanelFrame(area));
    LayoutPanelButtons();

    // Viewers already up are moved, never taken down first.
    const std::vector<QRect> frames = ViewerTileFrames(area, ControlPanelWidth(area), int(ShooterViewers.size()));
    for (std::size_t k = 0; k < frames.size(); ++k) {
        TFormShooter* viewer = ShooterViewers[k];
        viewer->SetViewerNumber(int(k) + 1);
        PlaceAndShow(*viewer, frames[k]);
    }
    BitBtnOneManyShooters->setIcon(BitmapIcon(BitmapFiles::AllSilhTargets, QStyle::SP_FileDialogListView, this));
    if (FormStartMenu)
        FormStartMenu->hide();
}

void TFormShooterPanel::ShowSingleViewer(TFormShooter* viewer)
{
    if (!viewer)
        return;
    allViewersShown_ = false;
    const QRect area = WorkArea();
    PlaceAndShow(*viewer, SingleViewerFrame(area, ControlPanelWidth(area)));
    viewer->raise();
    viewer->activateWindow();
    BitBtnOneManyShooters->setIcon(BitmapIcon(BitmapFiles::OneSilhTarget, QStyle::SP_FileIcon, this));
}

void TFormShooterPanel::ArrangePanelButtons()
{
    if (ShooterViewers.empty())
        return;
    const TPanelArrangement a =
        ArrangePanel(SessionMode, ShooterViewers.front()->HasRing(), int(ShooterViewers.size()));
    slots_ = a.slots;
    for (int kind = 1; kind < PanelButtonKinds; ++kind)
        Button(TPanelButton(kind))->setVisible(a.Visible(TPanelButton(kind)));
}

void TFormShooterPanel::LayoutPanelButtons()
{
    const std::array<QRect, PanelSlotCount> rects = PanelSlotRects(size());
    for (int k = 0; k < PanelSlotCount; ++k) {
        QAbstractButton* button = Button(slots_[std::size_t(k)]);
        if (!button)
            continue;
        const QRect square = rects[std::size_t(k)];
        button->setFixedSize(square.size().expandedTo(QSize(1, 1)));
        button->move(square.topLeft());
        button->setIconSize(square.size() * 3 / 4);
    }
}

void TFormShooterPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    ArrangePanelButtons();
    LayoutPanelButtons();
}

void TFormShooterPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    LayoutPanelButtons();
}

// ---- Handlers ------------------------------------------------------------------------

void TFormShooterPanel::BitBtnOneManyShootersClick()
{
    if (!allViewersShown_ || !IsViewer(ActiveViewer)) {
        ShowSessionViewers();
        if (IsViewer(ActiveViewer))
            ActiveViewer->raise();
        return;
    }
    ShowSingleViewer(ActiveViewer);
}

void TFormShooterPanel::SpeedButtonShootingZeroingClick()
{
    const bool down = SpeedButtonShootingZeroing->isChecked();
    for (TFormShooter* viewer : ShooterViewers) {
        TDevice* device = viewer->Device();
        if (!device)
            continue;
        try {
            SessionUnits::SetZeroing(*device, !down);
            viewer->SpeedButtonZeroingClick(nullptr);
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("Zeroing: %1").arg(QString::fromUtf8(e.what())));
        }
    }
}

void TFormShooterPanel::BitBtnReplayModeClick()
{
    if (ShooterViewers.empty())
        return;
    TFormShooter* first = ShooterViewers.front();
    int state = first->ReplayState();
    if (state == 0 && !first->HasRing())
        state = 2;
    for (TFormShooter* viewer : ShooterViewers) {
        viewer->SetReplayState(state);
        viewer->BitBtnReplayModeClick();
    }
    BitBtnReplayMode->setIcon(BitmapIcon(ReplayGlyphName(first->ReplayState()), QStyle::SP_MediaPlay, this));
}

void TFormShooterPanel::BitBtnShooterListClick()
{
    if (FormShooterList)
        FormShooterList->ShowInFront();
}

void TFormShooterPanel::BitBtnSendMessageAllClick()
{
    NetworkLink().ShowSendMessage(QStringLiteral("ALL"), BitBtnSendMessageAll->icon());
}

void TFormShooterPanel::BitBtnOpenSessionClick()
{
    if (CloseSession() && FormStartMenu)
        FormStartMenu->BitBtnOpenSessionClick();
}

void TFormShooterPanel::BitBtnCloseSessionClick() { CloseSessionToStartMenu(); }

void TFormShooterPanel::closeEvent(QCloseEvent* event)
{
    // Closing the window is closing the session; the close hides the panel
    // itself when it happens.
    event->ignore();
    CloseSessionToStartMenu();
}

void TFormShooterPanel::CloseSessionToStartMenu()
{
    // No mode outlives its session here: units plugged in at the start menu
    // are not downloaded for a download session already closed. (The roads
    // that close a session to start another set their own mode.)
    if (CloseSession())
        SessionMode = SessionNone;
}

// ---- Closing the session -------------------------------------------------------------

bool TFormShooterPanel::CloseSession()
{
    if (closing_)
        return false;
    closing_ = true;
    QPointer<TFormShooterPanel> self(this);
    bool closed = false;
    try {
        TMsgResult answer = TMsgResult::No;
        if (SessionUnsaved.load())
            answer = Prompts().MessageBox(Translate(QStringLiteral("Save session?")), Translate(QStringLiteral("Confirm")),
                                          TMsgButtons::YesNoCancel);
        if (!self)
            return false;
        if (answer == TMsgResult::Yes && FormShooterList)
            FormShooterList->ShowInFront();
        if (answer == TMsgResult::No) {
            EndSession();
            closed = true;
        }
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Closing the session: %1").arg(QString::fromUtf8(e.what())));
    }
    if (self)
        closing_ = false;
    return closed;
}

void TFormShooterPanel::EndSession()
{
    SessionUnits::StopAll(UiTimings().closeStopPauseMs);
    for (TFormShooter* viewer : ShooterViewers)
        viewer->UnbindDevice();
    SessionUnits::ReleaseAll();
    DeleteViewers();
    CurrentSession->DeleteShooters();
    // Last: a shot that came in while the units were being stopped belongs
    // to the session just dropped.
    SessionUnsaved.store(false);

    for (QWidget* form : {static_cast<QWidget*>(FormShooterList), static_cast<QWidget*>(FormSearchShooterName),
                          static_cast<QWidget*>(FormNameListEditor)})
        if (form)
            form->hide();
    if (FormStartMenu)
        FormStartMenu->ShowSessionFinished();
    INetworkLink& link = NetworkLink();
    if (link.ClientActive())
        link.CloseClient();
    if (link.ServerActive())
        link.StopMonitor();
    link.HideSendMessage();
    allViewersShown_ = false;
    hide();
}

void TFormShooterPanel::DeleteViewers()
{
    ActiveViewer = nullptr;
    while (!ShooterViewers.empty()) {
        TFormShooter* viewer = ShooterViewers.back();
        ShooterViewers.pop_back();
        delete viewer;
    }
    ActiveViewer = nullptr;
}
