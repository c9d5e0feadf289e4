// "Control": the strip at the right edge of the work area while a session
// runs. Tiles the viewers (ShowSessionViewers), switches between all viewers
// and one, puts every unit into zeroing, steps every viewer's replay view,
// and closes the session.
//
// GUI thread. Owns its buttons only. The viewers (ShooterViewers), the
// session's shooters and the devices are not owned; closing the session
// deletes the viewers and the shooters, after every unit has let go of them
// (SessionUnits::ReleaseAll and the session's shooter-leaving hook), so that
// a shot arriving later reaches neither.
//
// The layout is worked out by SessionLayout over the primary screen's work
// area; WindowPlacement puts each window's frame, decoration included, on
// its rectangle (and again once the window manager has framed a new window).
// No timers of its own, no hooks.
//
// Waits: CloseSession asks "Save session?" (a nested loop): a second close
// meanwhile is refused, and the form is checked to still exist afterwards.
// The stops at the end of a session block for two short pauses.
#pragma once

#include "SessionLayout.h"

#include <QWidget>

#include <array>

class QAbstractButton;
class QPushButton;
class QToolButton;
class TFormShooter;

class TFormShooterPanel : public QWidget {
    Q_OBJECT
public:
    explicit TFormShooterPanel(QWidget* parent = nullptr);
    ~TFormShooterPanel() override;

    // The viewer alone over the work area left of the panel, in front.
    void ShowSingleViewer(TFormShooter* viewer);
    // Which buttons the panel holds, by session mode, ring and viewer count
    // (nothing without viewers).
    void ArrangePanelButtons();
    // The held buttons as squares down the panel, one slot each.
    void LayoutPanelButtons();
    // Closes the session after "Save session?" when it is unsaved: stops the
    // units, deletes the viewers and the shooters, shows the start menu.
    // False when the operator chose to save first or cancelled (the session
    // stays as it was).
    bool CloseSession();
    // The operator's close (button or window): the session and its mode end.
    void CloseSessionToStartMenu();

    // ShowSessionViewers' work: the panel and every viewer placed and shown.
    void ShowViewers();
    // All viewers tiled (true) or one in front (false).
    bool AllViewersShown() const { return allViewersShown_; }
    // The primary screen's available geometry.
    static QRect WorkArea();

    // ---- Handlers ----
    void BitBtnOneManyShootersClick();
    void SpeedButtonShootingZeroingClick();
    void BitBtnReplayModeClick();
    void BitBtnShooterListClick();
    void BitBtnSendMessageAllClick();
    void BitBtnOpenSessionClick();
    void BitBtnCloseSessionClick();

protected:
    void showEvent(QShowEvent* event) override;     // FormShow
    void resizeEvent(QResizeEvent* event) override; // FormResize
    void closeEvent(QCloseEvent* event) override;   // FormClose

private:
    void BuildControls();
    void ConnectHandlers();
    QAbstractButton* Button(TPanelButton kind) const;
    // Everything after "No": the units, the viewers, the shooters, the forms.
    void EndSession();
    void DeleteViewers();

    QToolButton* SpeedButtonShootingZeroing = nullptr;
    QPushButton* BitBtnOneManyShooters = nullptr;
    QPushButton* BitBtnReplayMode = nullptr;
    QPushButton* BitBtnShooterList = nullptr;
    QPushButton* BitBtnCloseSession = nullptr;
    QPushButton* BitBtnOpenSession = nullptr;
    QPushButton* BitBtnSendMessageAll = nullptr;

    std::array<TPanelButton, PanelSlotCount> slots_ {};
    bool allViewersShown_ = false;
    bool closing_ = false;
};

// Lays out every viewer of ShooterViewers beside the panel and shows them;
// every path that adds viewers calls it.
void ShowSessionViewers();
