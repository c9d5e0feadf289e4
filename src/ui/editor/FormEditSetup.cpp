#include "FormEditSetup.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "EditSetupValues.h"
#include "EditSetupWidgets.h"
#include "FormKeys.h"
#include "FormPrintSetup.h"
#include "FrameEditAdvancedSettings.h"
#include "FrameEditModeSettings.h"
#include "FrameEditRingCustomSettings.h"
#include "FrameEditRingSettings.h"
#include "FrameEditSilhouetteSettings.h"
#include "Globals.h"
#include "Prompts.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QHBoxLayout>
#include <QLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QTabBar>
#include <QVBoxLayout>

using namespace EditSetupValues;

namespace {

constexpr int PreviewWidth = 421;
constexpr int PreviewHeight = 424;
constexpr int InitialZoomField = 100;

const char* const TabCaptions[] = {"General", "Silhouette", "Ring Target", "Custom Rings", "Misc"};

// The editor's dialogs propose "*.setup.xml" until a file was saved.
TFileRequest EditorFileRequest(const QString& caption, const QString& fileName = QString())
{
    return EditSetupValues::SetupFileRequest(caption, fileName.isEmpty() ? QStringLiteral("*.setup.xml") : fileName);
}

} // namespace

TFormEditSetup::TFormEditSetup(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormEditSetup"));
    setWindowTitle(QStringLiteral("Training Options"));
    BuildControls();
    BuildLayout();
    RegisterTranslation();
    InstallFormKeys(this, ButtonOK, ButtonCancel, TReturnKeys::KeptByEdits);
    Preview.SetSize(PreviewWidth, PreviewHeight);
    Preview.SetZoomField(InitialZoomField);
    for (const char* text : {"Ring or silhouette not selected",
                             "An invalid value has been entered. The value should be between %.1f and %.1f.",
                             "Default setup cannot be overwritten"})
        Translate(QString::fromLatin1(text));
}

TFormEditSetup::~TFormEditSetup() { UnregisterTranslateTables(this); }

// ---- Building ------------------------------------------------------------------------

void TFormEditSetup::BuildControls()
{
    TabControlPage = NamedControl<QTabBar>(this, "TabControlPage");
    TabControlPage->setExpanding(false);
    PanelTexts = NamedControl<QStackedWidget>(this, "PanelTexts");
    FrameEditModeSettings1 = new TFrameEditModeSettings(*this, PanelTexts);
    FrameEditRingSettings1 = new TFrameEditRingSettings(*this, PanelTexts);
    FrameEditRingCustomSettings1 = new TFrameEditRingCustomSettings(*this, PanelTexts);
    FrameEditSilhouetteSettings1 = new TFrameEditSilhouetteSettings(*this, PanelTexts);
    FrameEditAdvancedSettings1 = new TFrameEditAdvancedSettings(*this, PanelTexts);
    for (QWidget* frame : {static_cast<QWidget*>(FrameEditModeSettings1), static_cast<QWidget*>(FrameEditRingSettings1),
                           static_cast<QWidget*>(FrameEditRingCustomSettings1),
                           static_cast<QWidget*>(FrameEditSilhouetteSettings1),
                           static_cast<QWidget*>(FrameEditAdvancedSettings1)})
        PanelTexts->addWidget(frame);

    ImageTarget = NamedControl<QLabel>(this, "ImageTarget");
    ImageTarget->setFixedSize(PreviewWidth, PreviewHeight);
    ImageHIB = NamedControl<QLabel>(ImageTarget, "ImageHIB");
    ImageHIB->setGeometry(8, 8, 24, 24);
    ImageHIB->hide();

    ButtonOK = NamedControl<QPushButton>(this, "ButtonOK", QStringLiteral("OK"));
    ButtonCancel = NamedControl<QPushButton>(this, "ButtonCancel", QStringLiteral("Cancel"));
    ButtonLoadOne = NamedControl<QPushButton>(this, "ButtonLoadOne", QStringLiteral("Load"));
    ButtonSaveOne = NamedControl<QPushButton>(this, "ButtonSaveOne", QStringLiteral("Save"));
    ButtonPrint = NamedControl<QPushButton>(this, "ButtonPrint", QStringLiteral("Print"));
    ButtonPrint->hide();
    // Return in an edit finishes the edit; it must not also close the dialog.
    for (QPushButton* button : {ButtonOK, ButtonCancel, ButtonLoadOne, ButtonSaveOne, ButtonPrint})
        button->setAutoDefault(false);

    connect(TabControlPage, &QTabBar::currentChanged, this, [this] { TabControlPageChange(); });
    connect(ButtonOK, &QPushButton::clicked, this, &TFormEditSetup::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ButtonLoadOne, &QPushButton::clicked, this, &TFormEditSetup::ButtonLoadOneClick);
    connect(ButtonSaveOne, &QPushButton::clicked, this, &TFormEditSetup::ButtonSaveOneClick);
    connect(ButtonPrint, &QPushButton::clicked, this, &TFormEditSetup::ButtonPrintClick);
}

void TFormEditSetup::BuildLayout()
{
    auto* pages = new QVBoxLayout;
    pages->addWidget(TabControlPage);
    pages->addWidget(PanelTexts, 1);
    auto* top = new QHBoxLayout;
    top->addLayout(pages, 1);
    top->addWidget(ImageTarget, 0, Qt::AlignTop);
    auto* bottom = new QHBoxLayout;
    for (QPushButton* button : {ButtonLoadOne, ButtonSaveOne, ButtonPrint})
        bottom->addWidget(button);
    bottom->addStretch();
    bottom->addWidget(ButtonOK);
    bottom->addWidget(ButtonCancel);
    auto* main = new QVBoxLayout(this);
    main->addLayout(top, 1);
    main->addLayout(bottom);
    resize(920, 600);
}

void TFormEditSetup::RegisterTranslation()
{
    std::vector<TTranslateEntry> entries;
    for (const char* name : {"ButtonLoadOne", "ButtonSaveOne", "ButtonOK", "ButtonCancel", "ButtonPrint"})
        entries.push_back({QString::fromLatin1(name), TTranslateKind::Caption});
    RegisterTranslateTable(TranslateOrderEditSetup, this, std::move(entries));
}

// ---- Opening ---------------------------------------------------------------------------

void TFormEditSetup::CopyIntoWorking(const TTargetSetup& setup) { WorkingSetup = setup; }

void TFormEditSetup::BeginEdit(TTargetSetup& entry)
{
    EditDynamicBlock = SessionMode == SessionDynamic;
    CopyIntoWorking(entry);
    LoadFrames();
    SourceSetup = &entry;
}

bool TFormEditSetup::EditSetup(TTargetSetup& entry)
{
    BeginEdit(entry);
    QPointer<TFormEditSetup> self(this);
    const int result = exec();
    if (!self)
        return false;
    SourceSetup = nullptr;
    return result == QDialog::Accepted;
}

void TFormEditSetup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

void TFormEditSetup::FormShow()
{
    EditDynamicBlock = SessionMode == SessionDynamic;
    setWindowTitle(Translate(QStringLiteral("Training Options")));
    const bool ring = WorkingSetup.target.hasRing;
    if (WorkingSetup.target.hasSilhouette || ring) {
        RedrawPreview();
        LoadFrames();
        // With both targets the ring's switches are the ones shown.
        FrameEditAdvancedSettings1->ChooseKind(ring);
    }
    {
        const QSignalBlocker block(TabControlPage);
        TabControlPage->setCurrentIndex(0);
    }
    BringToFront(FrameEditModeSettings1);
    ButtonPrint->setVisible(IsAdvancedMode());
    layout()->activate();
}

// ---- Frames ------------------------------------------------------------------------------

void TFormEditSetup::LoadFrames()
{
    Loading = true;
    FrameEditModeSettings1->LoadModeSettings(WorkingSetup);
    FrameEditRingSettings1->LoadRingSettings(WorkingSetup.target);
    FrameEditRingCustomSettings1->LoadCustomRings(WorkingSetup.target);
    FrameEditSilhouetteSettings1->LoadSilhouetteSettings(WorkingSetup.target);
    Loading = false;
    BuildTabs();
}

bool TFormEditSetup::StoreFrames(bool requireTarget)
{
    // Every frame stores what it can; one failure is enough to refuse.
    bool ok = FrameEditModeSettings1->StoreModeSettings(WorkingSetup);
    ok = FrameEditSilhouetteSettings1->StoreSilhouetteSettings(WorkingSetup.target) && ok;
    ok = FrameEditRingSettings1->StoreRingSettings(WorkingSetup.target) && ok;
    ok = FrameEditRingCustomSettings1->StoreCustomRings(WorkingSetup.target) && ok;
    if (!ok)
        return false;
    RedrawPreview();
    if (requireTarget && SourceSetup) {
        if (!WorkingSetup.target.hasRing && !WorkingSetup.target.hasSilhouette) {
            ShowError(QStringLiteral("Ring or silhouette not selected"));
            const QSignalBlocker block(TabControlPage);
            TabControlPage->setCurrentIndex(TabControlPage->count() - 1);
            BringToFront(FrameEditAdvancedSettings1);
            return false;
        }
        WriteBack();
    }
    return true;
}

void TFormEditSetup::WriteBack() { *SourceSetup = WorkingSetup; }

bool TFormEditSetup::ValidateRange(QLineEdit* edit, double min, double max)
{
    if (InRange(edit->text(), min, max))
        return true;
    // An edit losing the focus to the message box must not ask again.
    if (inMessage_)
        return false;
    for (QWidget* w = edit; w; w = w->parentWidget()) {
        if (w->parentWidget() == PanelTexts) {
            BringToFront(w);
            break;
        }
    }
    edit->setFocus();
    edit->selectAll();
    inMessage_ = true;
    Prompts().MessageBox(RangeMessage(min, max), Translate(QStringLiteral("Error")), TMsgButtons::OK);
    inMessage_ = false;
    return false;
}

void TFormEditSetup::BuildTabs()
{
    const QString remembered = TabControlPage->currentIndex() >= 0 ? CurrentTabCaption() : QStringLiteral("General");
    const QSignalBlocker block(TabControlPage);
    while (TabControlPage->count() > 0)
        TabControlPage->removeTab(0);
    auto add = [this](const char* caption) {
        const int index = TabControlPage->addTab(Translate(QString::fromLatin1(caption)));
        TabControlPage->setTabData(index, QString::fromLatin1(caption));
    };
    add("General");
    if (FrameEditAdvancedSettings1->AnySilhouetteBox())
        add("Silhouette");
    if (FrameEditAdvancedSettings1->AnyRingBox()) {
        add("Ring Target");
        if (FrameEditRingSettings1->CustomRingsOn())
            add("Custom Rings");
    }
    if (IsAdvancedMode())
        add("Misc");
    const int index = TabIndex(remembered);
    TabControlPage->setCurrentIndex(index >= 0 ? index : 0);
}

int TFormEditSetup::TabIndex(const QString& caption) const
{
    for (int i = 0; i < TabControlPage->count(); ++i)
        if (TabControlPage->tabData(i).toString() == caption)
            return i;
    return -1;
}

QString TFormEditSetup::CurrentTabCaption() const
{
    return TabControlPage->tabData(TabControlPage->currentIndex()).toString();
}

void TFormEditSetup::SelectTab(int index)
{
    if (index < 0 || index >= TabControlPage->count())
        return;
    {
        const QSignalBlocker block(TabControlPage);
        TabControlPage->setCurrentIndex(index);
    }
    TabControlPageChange();
}

void TFormEditSetup::BringToFront(QWidget* frame) { PanelTexts->setCurrentWidget(frame); }

QWidget* TFormEditSetup::FrontFrame() const { return PanelTexts->currentWidget(); }

void TFormEditSetup::ShowBeam(bool visible, bool on)
{
    ImageHIB->setPixmap(BeamPicture(on));
    ImageHIB->setVisible(visible);
}

void TFormEditSetup::RedrawPreview()
{
    Preview.Target = WorkingSetup.target;
    Preview.SetSize(ImageTarget->width(), ImageTarget->height());
    Preview.SetZoomField(PreviewZoomField(WorkingSetup.target));
    try {
        Preview.Render(-1);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Setup editor preview: %1").arg(QString::fromUtf8(e.what())));
    }
    ImageTarget->setPixmap(QPixmap::fromImage(Preview.DisplayLayer));
}

// ---- Tabs and buttons ----------------------------------------------------------------------------

void TFormEditSetup::TabControlPageChange()
{
    EditDynamicBlock = SessionMode == SessionDynamic;
    StoreFrames(false);
    RedrawPreview();
    const QString caption = CurrentTabCaption();
    if (caption == QLatin1String("General")) {
        FrameEditModeSettings1->LoadModeSettings(WorkingSetup);
        BringToFront(FrameEditModeSettings1);
    } else if (caption == QLatin1String("Silhouette")) {
        BringToFront(FrameEditSilhouetteSettings1);
        ImageHIB->hide();
    } else if (caption == QLatin1String("Ring Target")) {
        BringToFront(FrameEditRingSettings1);
    } else if (caption == QLatin1String("Custom Rings")) {
        FrameEditRingCustomSettings1->UpdateRingNumberLabels(WorkingSetup.target);
        BringToFront(FrameEditRingCustomSettings1);
    } else if (caption == QLatin1String("Misc")) {
        BringToFront(FrameEditAdvancedSettings1);
        ImageHIB->hide();
    } else {
        DebugLog(QStringLiteral("Setup editor: Invalid tab %1").arg(caption));
    }
}

void TFormEditSetup::ShowError(const QString& text)
{
    Prompts().MessageBox(Translate(text), Translate(QStringLiteral("Error")), TMsgButtons::OK);
}

void TFormEditSetup::ButtonOKClick()
{
    if (StoreFrames(true))
        accept();
}

void TFormEditSetup::ButtonLoadOneClick()
{
    const QString path = Prompts().OpenFileName(EditorFileRequest(QStringLiteral("Load Setup")));
    if (path.isEmpty())
        return;
    TSetupHandler file;
    bool loaded = false;
    try {
        loaded = file.LoadFromFile(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
    }
    if (!loaded) {
        ShowError(QStringLiteral("Error opening setup"));
        return;
    }
    // A list without any setup has nothing to edit: refused like a damaged one.
    if (file.Count() == 0) {
        ShowError(QStringLiteral("Error opening setup"));
        return;
    }
    CopyIntoWorking(*file.Get(0));
    LoadFrames();
    Preview.Target = WorkingSetup.target;
    FormShow();
    saveFileName_ = path;
    // A setup without targets has the "General" tab alone.
    SelectTab(TabControlPage->count() > 1 ? 1 : 0);
}

void TFormEditSetup::ButtonSaveOneClick()
{
    // A setup that does not validate, or has no target, could not be read back.
    if (!StoreFrames(false))
        return;
    if (!WorkingSetup.target.hasRing && !WorkingSetup.target.hasSilhouette) {
        ShowError(QStringLiteral("Ring or silhouette not selected"));
        return;
    }
    const QString path = Prompts().SaveFileName(EditorFileRequest(QStringLiteral("Save Setup"), saveFileName_));
    if (path.isEmpty())
        return;
    if (IsDefaultSetupFile(path)) {
        ShowError(QStringLiteral("Default setup cannot be overwritten"));
        return;
    }
    TSetupHandler file;
    file.Add(WorkingSetup);
    try {
        file.SaveToFile(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
        ShowError(QStringLiteral("File save failed"));
        return;
    }
    saveFileName_ = path;
}

void TFormEditSetup::ButtonPrintClick()
{
    if (!StoreFrames(false))
        return;
    OpenPrintSetup(WorkingSetup.target);
}

void TFormEditSetup::OpenPrintSetup(const TargetDescription& target)
{
    if (FormPrintSetup)
        FormPrintSetup->Execute(target);
}
