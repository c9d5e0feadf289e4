// The shooter viewer's actions on the shooter and the unit: the grading
// buttons, zeroing, the shooter's name, saving and printing one shooter.
#include "FormShooter.h"

#include "AppPaths.h"
#include "Clock.h"
#include "FormShooterDevice.h"
#include "GradingPanel.h"
#include "Globals.h"
#include "NetworkLink.h"
#include "Printing.h"
#include "Prompts.h"
#include "SessionFiles.h"
#include "ShotGrading.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

QIcon IconOf(const TUiBitmap& bitmap) { return QIcon(QPixmap::fromImage(bitmap.image)); }

} // namespace

// ---- Grading buttons ----------------------------------------------------------------------

void TFormShooter::BitBtnStanceClick()
{
    RestartHideButtonsTimer();
    if (gradingType_ == 1)
        stance_ = stance_ >= 3 ? 1 : stance_ + 1;
    SetGradingSelection(stance_, difficulty_);
    RenderTarget(-1);
}

void TFormShooter::BitBtnDifficultyClick()
{
    // The button appeared under the pointer a moment ago: not meant.
    if (ignoreDifficultyUntilNs_ != 0 && MonotonicNs() < ignoreDifficultyUntilNs_) {
        ignoreDifficultyUntilNs_ = 0;
        return;
    }
    RestartHideButtonsTimer();
    difficulty_ = difficulty_ >= 2 ? 0 : difficulty_ + 1;
    SetGradingSelection(stance_, difficulty_);
    RenderTarget(-1);
}

void TFormShooter::SetGradingSelection(int stance, int difficulty)
{
    stance_ = stance;
    difficulty_ = difficulty;
    if (renderer_.GradingPanel)
        SelectGradingRow(renderer_.GradingPanel->selection, stance, difficulty);
    UpdateGradingButtons();
}

void TFormShooter::UpdateGradingButtons()
{
    TGradingBitmapHandler& bitmaps = EnsureGradingBitmaps();
    BitBtnStance->setIcon(IconOf(gradingType_ == 2 ? bitmaps.sportHead : bitmaps.StanceGlyph(stance_)));
    BitBtnDifficulty->setIcon(IconOf(bitmaps.DifficultyGlyph(difficulty_)));
}

// ---- Zeroing -------------------------------------------------------------------------------

void TFormShooter::SpeedButtonZeroingClick(QObject* sender)
{
    if (!device_)
        return;
    TDevice& device = *device_;
    SpeedButtonZeroing->setIcon(ImageZeroingOff->pixmap());
    if (ViewerDevice::Zeroing(device)) {
        if (sender) {
            if (device.Zero().FilledEntries() > 0) {
                device.ComputeZero();
            } else {
                const TMsgResult answer =
                    Prompts().MessageBox(textResetZeroing_, Translate(QStringLiteral("Confirm")), TMsgButtons::YesNo);
                if (answer == TMsgResult::Yes)
                    device.ClearZeroOffsets();
                else
                    ViewerDevice::RestorePreviousZero(device);
            }
            seriesCountdown_ = seriesLength_;
        } else {
            device.ComputeZero();
        }
        SetViewerNumber(viewerNumber_);
        device.ResetSampleBuffers();
        ClearSelection();
        renderer_.ZoomPercent = double(savedZoom_);
    } else {
        SpeedButtonZeroing->setIcon(ImageZeroingOn->pixmap());
        if (!ViewerDevice::Measuring(device))
            StartMeasuringNow();
        device.SaveZero();
        ViewerDevice::ZeroOffsetsForZeroing(device);
        setWindowTitle(textZeroingMode_);
        savedZoom_ = SaturatingCast<int64_t>(renderer_.ZoomPercent);
        renderer_.ZoomPercent = 25.0;
    }
    const bool on = !ViewerDevice::Zeroing(device);
    ViewerDevice::SetZeroing(device, on);
    SpeedButtonZeroing->setChecked(on);
    renderer_.Zeroing = on ? 1 : 0;
    RenderTarget(TTargetRenderer::ViewAllShots);
}

// ---- Name ------------------------------------------------------------------------------------

void TFormShooter::EditShooterNameClick()
{
    if (EditShooterName->text() == textEnterName_)
        EditShooterName->selectAll();
}

void TFormShooter::EditShooterNameChange()
{
    const QString text = EditShooterName->text();
    QFont font = EditShooterName->font();
    font.setBold(true);
    font.setItalic(text == textEnterName_);
    EditShooterName->setFont(font);
    if (text != textEnterName_ && shooter_)
        shooter_->name = text;
}

void TFormShooter::ShowShooterName()
{
    if (shooter_)
        EditShooterName->setText(shooter_->name.isEmpty() ? textEnterName_ : shooter_->name);
}

// ---- Saving and printing ------------------------------------------------------------------

bool TFormShooter::HasUnsavedShots() const { return ShotCount() > savedShotCount_; }

void TFormShooter::MarkShotsSaved() { savedShotCount_ = ShotCount(); }

void TFormShooter::ButtonSaveClick()
{
    const QString name = EditShooterName->text();
    if (name.isEmpty() || name == textEnterName_) {
        EditShooterName->setFocus();
        EditShooterName->selectAll();
        Prompts().Beep();
        return;
    }
    if (ShotCount() == 0) {
        Prompts().MessageBox(textNoShotsToSave_, Translate(QStringLiteral("Error")), TMsgButtons::OK);
        return;
    }
    SaveShooter(shooter_->name);
}

void TFormShooter::SaveShooter(const QString& name)
{
    const QString path = ConfirmShotFilePath(UniqueShotFilePath(ShotFilesFolder(), name));
    if (path.isEmpty())
        return;
    // The file gets a session of its own holding a copy of this shooter:
    // the session's shooter is never handed to anything that may delete it.
    int copied = 0;
    try {
        TSession single;
        single.AddShooter(ViewerDevice::CopyForSaving(*shooter_, copied));
        TShotFileHandler handler;
        handler.SetSession(&single);
        handler.SetFileName(path);
        handler.BuildShotFile();
        handler.Save(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Save %1: %2").arg(path, QString::fromUtf8(e.what())));
        Prompts().MessageBox(textFileSaveFailed_, Translate(QStringLiteral("Error")), TMsgButtons::OK);
        return;
    }
    Prompts().Beep();
    ShowTimedMessage(textSavingCompleted_, UiTimings().viewerTimedMessageMs);
    savedShotCount_ = std::max(savedShotCount_, copied);
    UpdateSessionUnsaved();
}

void TFormShooter::UpdateSessionUnsaved()
{
    const auto anyUnsaved = [this] {
        if (HasUnsavedShots())
            return true;
        return std::any_of(ShooterViewers.begin(), ShooterViewers.end(),
                           [](const TFormShooter* v) { return v && v->HasUnsavedShots(); });
    };
    if (anyUnsaved())
        return;
    SessionUnsaved.store(false);
    // A shot that came in meanwhile sets it again.
    if (anyUnsaved())
        SessionUnsaved.store(true);
}

void TFormShooter::BitBtnPrintShooterClick()
{
    if (ShotCount() == 0) {
        Prompts().MessageBox(Translate(QStringLiteral("No shots to print")), Translate(QStringLiteral("Error")),
                             TMsgButtons::OK);
        return;
    }
    PrintShooterPages({shooter_});
}

void TFormShooter::PrepareForPrint()
{
    ClearSelection();
    RenderTarget(TTargetRenderer::ViewAllShots);
    UpdateShotString();
}

void TFormShooter::BitBtnSendMessageClick()
{
    if (shooter_)
        NetworkLink().ShowSendMessage(ViewerDevice::SerialNumber(*shooter_), BitBtnSendMessage->icon());
}
