// The shooter viewer's waits of seconds, as timer continuations: the
// reconnect from the status corner (close, wait, open, wait, start) and a
// network text for the unit's display (stop, wait, then one line at a time).
// Each step checks that the viewer (the timers' context) and its device
// still exist.
#include "FormShooter.h"

#include "AppSettings.h"
#include "DeviceFrames.h"
#include "FormShooterDevice.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "UiGlobals.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <exception>

namespace {

constexpr int ReconnectMessageMs = 10000;
constexpr int NetworkTextShowMs = 15000;
constexpr int DisplayLines = 6;
constexpr int DisplayColumns = 10;

// Display lines of a text as the unit takes them: at most six.
QStringList DisplayTextLines(const QString& text)
{
    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalized.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList lines = normalized.split(QLatin1Char('\n'));
    while (lines.size() > DisplayLines)
        lines.removeLast();
    return lines;
}

} // namespace

void ShowNetworkMessage(TFormShooter* viewer, const QString& text)
{
    if (viewer)
        viewer->SendNetworkText(text);
}

// ---- Waits of seconds --------------------------------------------------------------------

void TFormShooter::BeginWait()
{
    if (waitDepth_++ > 0)
        return;
    streamCheckWasOn_ = TimerSampleStreamCheck->isActive();
    TimerSampleStreamCheck->stop();
    TimerUpdateDraw->stop();
    ButtonStartStop->setEnabled(false);
    SpeedButtonZeroing->setEnabled(false);
}

void TFormShooter::EndWait()
{
    if (waitDepth_ == 0 || --waitDepth_ > 0)
        return;
    ButtonStartStop->setEnabled(true);
    SpeedButtonZeroing->setEnabled(true);
    // The watchdog goes on where it stopped: the wait says nothing about the stream.
    if (streamCheckWasOn_ && device_)
        TimerSampleStreamCheck->start();
    if (newShot_.load() || newSamples_.load())
        PostDrawTick();
}

bool TFormShooter::DeviceStillThere(TDevice* device) const
{
    if (!device || device != device_ || !DeviceManagerInstance)
        return false;
    const auto& connected = DeviceManagerInstance->Connected();
    const auto& parked = DeviceManagerInstance->Reconnecting();
    return std::find(connected.begin(), connected.end(), device) != connected.end()
        || std::find(parked.begin(), parked.end(), device) != parked.end();
}

// ---- Reconnect from the viewer ---------------------------------------------------------

void TFormShooter::ImageTargetReconnect()
{
    if (GetNetworkMode() == QLatin1String("Node") && !NetworkLink().ClientActive())
        NetworkLink().AskNetworkRetry();
    if (reconnecting_ || !device_ || !ViewerDevice::Bluetooth(*device_) || ViewerDevice::SampleStream(*device_))
        return;
    TDevice* device = device_;
    const int com = ViewerDevice::ComNumber(*device);
    const bool wasMeasuring = measuringShown_;
    reconnecting_ = true;
    busyHeld_ = true;
    BeginBusyCursor();
    ShowTimedMessage(textReconnecting_, ReconnectMessageMs);
    BeginWait();
    try {
        ViewerDevice::ClosePortForReconnect(*device);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Reconnect COM%1: %2").arg(com).arg(QString::fromUtf8(e.what())));
        FinishReconnect();
        return;
    }
    QTimer::singleShot(UiTimings().viewerReconnectWaitMs, this,
                       [this, device, com, wasMeasuring] { ReconnectOpen(device, com, wasMeasuring); });
}

void TFormShooter::ReconnectOpen(TDevice* device, int com, bool wasMeasuring)
{
    if (!DeviceStillThere(device)) {
        FinishReconnect();
        return;
    }
    bool opened = false;
    try {
        opened = device->OpenPort(com, true);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Reconnect COM%1: %2").arg(com).arg(QString::fromUtf8(e.what())));
    }
    if (!opened) {
        // The viewer stays bound: the operator may try again.
        DebugLog(QStringLiteral("Reconnect COM%1 failed").arg(com));
        FinishReconnect();
        return;
    }
    QTimer::singleShot(UiTimings().viewerReconnectWaitMs, this,
                       [this, device, wasMeasuring] { ReconnectStart(device, wasMeasuring); });
}

void TFormShooter::ReconnectStart(TDevice* device, bool wasMeasuring)
{
    if (DeviceStillThere(device)) {
        ViewerDevice::SetMeasuring(*device, false);
        try {
            if (wasMeasuring)
                StartMeasuringNow();
            else
                SetStartStopGlyph(false);
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("Reconnect: ") + QString::fromUtf8(e.what()));
        }
    }
    FinishReconnect();
}

void TFormShooter::FinishReconnect()
{
    reconnecting_ = false;
    EndWait();
    if (busyHeld_) {
        busyHeld_ = false;
        EndBusyCursor();
    }
}

// ---- Timed message and network texts -------------------------------------------------------

void TFormShooter::ShowTimedMessage(const QString& text, int ms)
{
    if (text.isEmpty())
        return;
    timedMessage_ = text;
    FitTimedMessage();
    PanelTimedMessage->show();
    PanelTimedMessage->raise();
    TimerHidePanel->setInterval(ms);
    TimerHidePanel->start();
}

void TFormShooter::TimerHidePanelTimer()
{
    TimerHidePanel->stop();
    PanelTimedMessage->hide();
}

void TFormShooter::SendNetworkText(const QString& text)
{
    ShowTimedMessage(text, NetworkTextShowMs);
    if (!device_)
        return;
    TDevice* device = device_;
    const QStringList lines = DisplayTextLines(FoldDisplayText(text));
    const int generation = ++displayTextGeneration_;
    BeginWait();
    if (ViewerDevice::Measuring(*device)) {
        // The unit shows no text while it measures: stop, give it time.
        StopMeasuringNow();
        QTimer::singleShot(UiTimings().viewerNetworkTextWaitMs, this,
                           [this, device, lines, generation] { SendDisplayLines(device, lines, 0, generation); });
        return;
    }
    SendDisplayLines(device, lines, 0, generation);
}

// One display line per call, the next one a moment later, so the GUI never
// sleeps between the lines.
void TFormShooter::SendDisplayLines(TDevice* device, QStringList lines, int next, int generation)
{
    if (generation != displayTextGeneration_ || !DeviceStillThere(device) || next >= lines.size()) {
        EndWait();
        return;
    }
    const int n = int(lines.size());
    const int startLine = 3 - n / 2;
    int flags = 0;
    if (next == 0)
        flags |= 0x08;
    if (next == n - 1)
        flags |= 0x03;
    try {
        if (next == 0) {
            device->ClearReplySlots();
            device->Data().SetTextMark(true);
        }
        device->Data().WriteFrame(BuildTextLine(flags, startLine + next, ToCodePage(lines[next]).left(DisplayColumns)));
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Display text: ") + QString::fromUtf8(e.what()));
        EndWait();
        return;
    }
    if (next + 1 >= n) {
        EndWait();
        return;
    }
    QTimer::singleShot(UiTimings().viewerDisplayLineMs, this, [this, device, lines, next, generation] {
        SendDisplayLines(device, lines, next + 1, generation);
    });
}
