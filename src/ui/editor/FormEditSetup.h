// "Training Options": the modal editor of one training setup of the setup
// list. The editor works on a private copy (WorkingSetup); its five frames
// fill their controls from the copy and store validated values back into it,
// and only OK writes the copy into the list entry (SourceSetup).
//
// GUI thread. Owns the frames (one page per tab in PanelTexts) and the
// preview renderer, which draws into ImageTarget. SourceSetup is borrowed
// from the setup selection's list for one opening. While Loading is set,
// frames fill their controls and no store, conversion or cross-frame
// reaction runs; frame handlers hang off click and edit-finished signals,
// which filling a control never emits.
//
// Waits: EditSetup runs the dialog modally; Print runs the print setup
// modally; the Misc frame's slot operations block in the unit transfers.
// No timers. Installs the form's translation table (the frames install
// their own); the destructor removes it.
#pragma once

#include "Setupdata.h"
#include "Targetrenderer.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QStackedWidget;
class QTabBar;
class TFrameEditAdvancedSettings;
class TFrameEditModeSettings;
class TFrameEditRingCustomSettings;
class TFrameEditRingSettings;
class TFrameEditSilhouetteSettings;

class TFormEditSetup : public QDialog {
    Q_OBJECT
public:
    explicit TFormEditSetup(QWidget* parent = nullptr);
    ~TFormEditSetup() override;

    // The opener: copies entry in, loads the frames, runs the dialog and, on
    // OK, has written the copy back into entry. True when entry changed.
    bool EditSetup(TTargetSetup& entry);
    // The opener without the modal run: copy in, load, link the entry.
    void BeginEdit(TTargetSetup& entry);

    // True when the edit reads as a number within [min, max]; otherwise its
    // frame comes to the front, the edit takes the focus and the range
    // message is shown.
    bool ValidateRange(QLineEdit* edit, double min, double max);
    // Validates and stores every frame into the working copy; with
    // requireTarget and a linked entry, also refuses a setup without target
    // and writes the copy into the entry.
    bool StoreFrames(bool requireTarget);
    void BuildTabs();
    void RedrawPreview();
    void LoadFrames();
    void FormShow();

    // The tab with that (English) caption, -1 when absent.
    int TabIndex(const QString& caption) const;
    QString CurrentTabCaption() const;
    // Selects tab index (signals blocked) and runs the tab change.
    void SelectTab(int index);
    // Brings a frame to the front of PanelTexts.
    void BringToFront(QWidget* frame);
    QWidget* FrontFrame() const;
    // ImageHIB shows the beam switch's state.
    void ShowBeam(bool visible, bool on);

    // ---- Handlers ----
    void TabControlPageChange();
    void ButtonOKClick();
    void ButtonLoadOneClick();
    void ButtonSaveOneClick();
    void ButtonPrintClick();

    // ---- State ----
    TTargetRenderer Preview;
    TTargetSetup WorkingSetup {};
    TTargetSetup* SourceSetup = nullptr;  // not owned; null: nothing to write back
    bool EditDynamicBlock = false;
    bool Loading = false;

    TFrameEditModeSettings* FrameEditModeSettings1 = nullptr;
    TFrameEditRingSettings* FrameEditRingSettings1 = nullptr;
    TFrameEditRingCustomSettings* FrameEditRingCustomSettings1 = nullptr;
    TFrameEditSilhouetteSettings* FrameEditSilhouetteSettings1 = nullptr;
    TFrameEditAdvancedSettings* FrameEditAdvancedSettings1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildControls();
    void BuildLayout();
    void RegisterTranslation();
    void CopyIntoWorking(const TTargetSetup& setup);
    void WriteBack();
    void ShowError(const QString& text);
    // Hands the target to the print setup and shows it modally.
    void OpenPrintSetup(const TargetDescription& target);

    QTabBar* TabControlPage = nullptr;
    QStackedWidget* PanelTexts = nullptr;
    QLabel* ImageTarget = nullptr;
    QLabel* ImageHIB = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;
    QPushButton* ButtonLoadOne = nullptr;
    QPushButton* ButtonSaveOne = nullptr;
    QPushButton* ButtonPrint = nullptr;
    QString saveFileName_;       // SaveDialogSave's proposed name
    bool inMessage_ = false;     // a range message is up: no second one
};
