// What the screens share: the session mode, the viewer list, the single
// instance of each form, and the intervals of the screens' timers.
//
// GUI thread only. The forms are created once at start-up in a fixed order
// (CreateForms) and deleted at shutdown; a pointer below is null before and
// after that.
#pragma once

#include <QString>

#include <vector>

class TFormStartupSplash;
class TFormEditSetup;
class TFormPrepareDownload;
class TFormSelectSetup;
class TFormShooterList;
class TFormShooterPanel;
class TFormOpenSession;
class TFormStartMenu;
class TFormNameListEditor;
class TFormApplicationSettings;
class TFormSearchShooterName;
class TFormPrintSetup;
class TFormShooter;
class QWidget;

// What the operator is doing; set by the start menu and the setup selection,
// read by every screen and the network link.
enum TSessionMode : int {
    SessionNone = 0,
    SessionClassic = 1,    // training with a ring target
    SessionDynamic = 2,    // training without a ring target
    SessionDownload = 3,
    SessionOpenFile = 4,
    SessionMonitor = 5,
};
extern int SessionMode;

// The open viewers in creation order; a viewer's caption number is its index
// + 1. The list does not own them: closing the session and shutdown delete them.
extern std::vector<TFormShooter*> ShooterViewers;
// The viewer last activated, or null.
extern TFormShooter* ActiveViewer;

extern TFormStartupSplash* FormStartupSplash;
extern TFormEditSetup* FormEditSetup;
extern TFormPrepareDownload* FormPrepareDownload;
extern TFormSelectSetup* FormSelectSetup;
extern TFormShooterList* FormShooterList;
extern TFormShooterPanel* FormShooterPanel;
extern TFormOpenSession* FormOpenSession;
extern TFormStartMenu* FormStartMenu;
extern TFormNameListEditor* FormNameListEditor;
extern QWidget* FormNetworkControl;   // the network layer's form (see NetworkLink.h)
extern TFormApplicationSettings* FormApplicationSettings;
extern QWidget* FormSendMessage;      // the network layer's form
extern TFormSearchShooterName* FormSearchShooterName;
extern TFormPrintSetup* FormPrintSetup;

// The screens' waits and timer intervals in milliseconds. Tests shorten them
// before the forms start their timers; nothing else changes them.
struct TUiTimings {
    // Splash and start menu.
    int splashStartScanMs = 1000;
    int splashStatusMs = 1000;
    int splashHideMs = 4000;
    int splashIdentifyLimitMs = 60000;   // the splash gives up waiting for identification
    int deviceCountMs = 1000;
    int reconnectAllWaitMs = 4000;
    // Setup selection and programming.
    int programmingProgressMs = 20;
    int programmingPollMs = 100;
    int parkedReopenMs = 1000;
    int programmingStallMs = 3000;       // an upload without progress this long has failed
    // Viewer.
    int viewerDrawMs = 1;
    int viewerStreamCheckMs = 1000;
    int viewerShotHoldMs = 3000;
    int viewerTimedMessageMs = 5000;
    int viewerHideButtonsMs = 5000;
    int viewerZoomStepMs = 20;
    int viewerStopPauseMs = 200;
    int viewerReconnectWaitMs = 5000;    // each of the two waits of a reconnect
    int viewerNetworkTextWaitMs = 5000;
    int networkRetryWaitMs = 2000;       // between closing and reopening the monitor connection
    int viewerDisplayLineMs = 200;       // between the lines of a display text
    // Download and device events.
    int downloadPollMs = 10;
    int downloadSilenceMs = 3000;        // a downloading unit quiet this long has failed
    int resumeWaitMs = 4000;
    // Session list and close.
    int savedPanelMs = 5000;
    int closeStopPauseMs = 10;
};
TUiTimings& UiTimings();

// Network attribute MonitorPort when it is a port number (1..65535), else
// the default 14351.
int MonitorPortSetting();

// A session's date as the screens stamp it: the short date and the short
// time of the system locale ("ddddd t").
QString SessionDateText();

// The "Error" box with OK of the screens: text and caption translated.
void ShowErrorBox(const QString& text);
