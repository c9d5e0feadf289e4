#include "FormSelectSetup.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "EditSetupValues.h"
#include "FormEditSetup.h"
#include "FormKeys.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "Prompts.h"
#include "SetupCardDelegate.h"
#include "SetupListModel.h"
#include "Shotfile.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"
#include "XmlNames.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const MountingNames[4] = {XmlNames::GunMountingTop, XmlNames::GunMountingRight,
                                      XmlNames::GunMountingBelow, XmlNames::GunMountingLeft};

// The mounting pictures: a gun seen from behind, the unit on the side it is
// mounted on.
QPixmap MountingGlyph(int mounting)
{
    QPixmap glyph(32, 32);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 2));
    p.setBrush(QColor(0x60, 0x60, 0x60));
    p.drawEllipse(QPointF(16, 16), 6, 6);
    const QRectF units[4] = {{10, 2, 12, 6}, {24, 10, 6, 12}, {10, 24, 12, 6}, {2, 10, 6, 12}};
    p.setBrush(QColor(0x20, 0x80, 0xE0));
    p.drawRect(units[mounting & 3]);
    return glyph;
}

template <class T, class Parent>
T* Named(Parent* parent, const char* name)
{
    auto* control = new T(parent);
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

QPushButton* GlyphButton(QWidget* parent, const char* name, QStyle::StandardPixmap glyph, const QString& hint)
{
    auto* button = Named<QPushButton>(parent, name);
    button->setIcon(parent->style()->standardIcon(glyph));
    button->setToolTip(hint);
    return button;
}

} // namespace

TFormSelectSetup::TFormSelectSetup(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormSelectSetup"));
    setWindowTitle(QStringLiteral("Training Setup"));
    BuildControls();
    BuildLayout();
    ConnectHandlers();
    RegisterTranslation();
    LoadDefaultList();
    resize(560, 520);
}

TFormSelectSetup::~TFormSelectSetup()
{
    UnregisterTranslateTables(this);
    if (state_ != 0)
        EndBusyCursor();
}

// ---- Building -----------------------------------------------------------------

void TFormSelectSetup::BuildControls()
{
    model_ = new TSetupListModel(setups_, this);
    delegate_ = new TSetupCardDelegate(*model_, this);
    DrawGridSetups = Named<QTableView>(this, "DrawGridSetups");
    DrawGridSetups->setModel(model_);
    DrawGridSetups->setItemDelegate(delegate_);
    DrawGridSetups->setSelectionBehavior(QAbstractItemView::SelectRows);
    DrawGridSetups->setSelectionMode(QAbstractItemView::SingleSelection);
    DrawGridSetups->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DrawGridSetups->setTabKeyNavigation(false);  // Tab leaves the list for the buttons
    DrawGridSetups->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DrawGridSetups->setShowGrid(false);
    DrawGridSetups->horizontalHeader()->hide();
    DrawGridSetups->verticalHeader()->hide();
    DrawGridSetups->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    DrawGridSetups->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Fixed);
    DrawGridSetups->horizontalHeader()->setStretchLastSection(true);
    DrawGridSetups->setColumnWidth(0, TSetupCardDelegate::PreviewSize + 8);

    ButtonStart = Named<QPushButton>(this, "ButtonStart");
    ButtonStart->setText(QStringLiteral("Start"));
    ButtonStart->setToolTip(QStringLiteral("Start Connected Simulation"));
    ButtonSetup = Named<QPushButton>(this, "ButtonSetup");
    ButtonSetup->setText(QStringLiteral("Setup"));
    ButtonSetup->setToolTip(QStringLiteral("Setup Stand-alone Real Training"));
    BitBtnEdit = GlyphButton(this, "BitBtnEdit", QStyle::SP_FileDialogDetailedView, QStringLiteral("Configure Selected Item"));
    BitBtnClose = GlyphButton(this, "BitBtnClose", QStyle::SP_DialogCloseButton, QString());
    BitBtnMore = GlyphButton(this, "BitBtnMore", QStyle::SP_FileDialogListView, QStringLiteral("Organize Setup List"));
    BitBtnCopy = GlyphButton(this, "BitBtnCopy", QStyle::SP_FileIcon, QStringLiteral("Copy Setup"));
    BitBtnDelete = GlyphButton(this, "BitBtnDelete", QStyle::SP_TrashIcon, QStringLiteral("Delete Setup"));
    BitBtnMoveUp = GlyphButton(this, "BitBtnMoveUp", QStyle::SP_ArrowUp, QStringLiteral("Move Up"));
    BitBtnMoveDown = GlyphButton(this, "BitBtnMoveDown", QStyle::SP_ArrowDown, QStringLiteral("Move Down"));
    ButtonOpenSetupFile = GlyphButton(this, "ButtonOpenSetupFile", QStyle::SP_DialogOpenButton, QStringLiteral("Open Setup List"));
    ButtonOpenDefaultSetupFile = GlyphButton(this, "ButtonOpenDefaultSetupFile", QStyle::SP_DialogResetButton,
                                             QStringLiteral("Open Default Setup List"));
    ButtonSaveSetupFile = GlyphButton(this, "ButtonSaveSetupFile", QStyle::SP_DialogSaveButton, QStringLiteral("Save Setup List"));
    ButtonSaveSetupFile->setEnabled(false);

    CheckBoxSortList = Named<QCheckBox>(this, "CheckBoxSortList");
    CheckBoxSortList->setText(QStringLiteral("Rings First"));
    CheckBoxSortList->hide();
    CheckBoxModeDynamic = Named<QCheckBox>(this, "CheckBoxModeDynamic");
    CheckBoxModeDynamic->setText(QStringLiteral("Use Dynamic Measuring Mode"));
    CheckBoxModeDynamic->hide();

    SpeedButtonMounting = Named<QToolButton>(this, "SpeedButtonMounting");
    SpeedButtonMounting->setToolTip(QStringLiteral("Set Device Mounting"));
    SpeedButtonMounting->setIconSize(QSize(32, 32));
    const char* const glyphNames[4] = {"ImageMounting1", "ImageMounting2", "ImageMounting3", "ImageMounting4"};
    for (int i = 0; i < 4; ++i) {
        ImageMounting[i] = Named<QLabel>(this, glyphNames[i]);
        ImageMounting[i]->setPixmap(MountingGlyph(i));
        ImageMounting[i]->hide();
    }

    LabelSetupList = Named<QLabel>(this, "LabelSetupList");
    LabelSetupList->setText(QStringLiteral("Setup List"));
    QFont bold = LabelSetupList->font();
    bold.setBold(true);
    LabelSetupList->setFont(bold);
    ImageDeviceCount = Named<QWidget>(this, "ImageDeviceCount");
    ImageDeviceCount->setToolTip(QStringLiteral("Click to reconnect device(s)"));
    ImageDeviceCountIcon = Named<QLabel>(ImageDeviceCount, "ImageDeviceCountIcon");
    LabelDeviceCount = Named<QLabel>(ImageDeviceCount, "LabelDeviceCount");
    LabelDeviceCount->setText(QStringLiteral("0 (0)"));

    PanelShowProgress = Named<QGroupBox>(this, "PanelShowProgress");
    PanelShowProgress->setTitle(QStringLiteral("Programming units, please wait"));
    PanelShowProgress->hide();
    ProgressBarSetup = Named<QProgressBar>(PanelShowProgress, "ProgressBarSetup");
    ProgressBarSetup->setTextVisible(false);

    TimerProgressBar = Named<QTimer>(this, "TimerProgressBar");
    TimerProgrammingPoller = Named<QTimer>(this, "TimerProgrammingPoller");
}

void TFormSelectSetup::BuildLayout()
{
    auto* countLayout = new QHBoxLayout(ImageDeviceCount);
    countLayout->setContentsMargins(0, 0, 0, 0);
    countLayout->addWidget(ImageDeviceCountIcon);
    countLayout->addWidget(LabelDeviceCount);

    auto* top = new QHBoxLayout;
    top->addWidget(LabelSetupList);
    top->addWidget(CheckBoxSortList);
    top->addWidget(CheckBoxModeDynamic);
    top->addStretch();
    top->addWidget(ImageDeviceCount);

    auto* progress = new QVBoxLayout(PanelShowProgress);
    progress->addWidget(ProgressBarSetup);

    auto* bottom = new QHBoxLayout;
    for (QWidget* w : {static_cast<QWidget*>(BitBtnClose), static_cast<QWidget*>(BitBtnMore), static_cast<QWidget*>(BitBtnCopy),
                       static_cast<QWidget*>(BitBtnDelete), static_cast<QWidget*>(BitBtnMoveUp),
                       static_cast<QWidget*>(BitBtnMoveDown), static_cast<QWidget*>(ButtonSaveSetupFile),
                       static_cast<QWidget*>(ButtonOpenSetupFile), static_cast<QWidget*>(ButtonOpenDefaultSetupFile)})
        bottom->addWidget(w);
    bottom->addStretch();
    for (QWidget* w : {static_cast<QWidget*>(SpeedButtonMounting), static_cast<QWidget*>(BitBtnEdit),
                       static_cast<QWidget*>(ButtonSetup), static_cast<QWidget*>(ButtonStart)})
        bottom->addWidget(w);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(DrawGridSetups, 1);
    main->addWidget(PanelShowProgress);
    main->addLayout(bottom);
    ShowListTools(false);

    // From the list to what finishes the screen, then the tools, Close last.
    SetTabChain({DrawGridSetups, ButtonStart, ButtonSetup, BitBtnEdit, SpeedButtonMounting, BitBtnMore,
                 BitBtnCopy, BitBtnDelete, BitBtnMoveUp, BitBtnMoveDown, ButtonSaveSetupFile,
                 ButtonOpenSetupFile, ButtonOpenDefaultSetupFile, BitBtnClose});
    InstallFormKeys(this, ButtonStart, BitBtnClose);
}

void TFormSelectSetup::ConnectHandlers()
{
    connect(DrawGridSetups->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    DrawGridSetupsClick(current.row());
            });
    connect(CheckBoxSortList, &QCheckBox::clicked, this, &TFormSelectSetup::CheckBoxSortListClick);
    connect(ButtonOpenSetupFile, &QPushButton::clicked, this, &TFormSelectSetup::ButtonOpenSetupFileClick);
    connect(ButtonOpenDefaultSetupFile, &QPushButton::clicked, this, &TFormSelectSetup::ButtonOpenDefaultSetupFileClick);
    connect(BitBtnEdit, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnEditClick);
    connect(BitBtnMore, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnMoreClick);
    connect(BitBtnCopy, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnCopyClick);
    connect(BitBtnDelete, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnDeleteClick);
    connect(BitBtnMoveUp, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnMoveUpClick);
    connect(BitBtnMoveDown, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnMoveDownClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFormSelectSetup::BitBtnCloseClick);
    connect(ButtonSaveSetupFile, &QPushButton::clicked, this, &TFormSelectSetup::ButtonSaveSetupFileClick);
    connect(SpeedButtonMounting, &QToolButton::clicked, this, &TFormSelectSetup::SpeedButtonMountingClick);
    connect(ButtonStart, &QPushButton::clicked, this, &TFormSelectSetup::ButtonStartClick);
    connect(ButtonSetup, &QPushButton::clicked, this, &TFormSelectSetup::ButtonSetupClick);
    connect(TimerProgressBar, &QTimer::timeout, this, &TFormSelectSetup::TimerProgressBarTimer);
    connect(TimerProgrammingPoller, &QTimer::timeout, this, &TFormSelectSetup::TimerProgrammingPollerTimer);
}

void TFormSelectSetup::RegisterTranslation()
{
    using K = TTranslateKind;
    std::vector<TTranslateEntry> entries;
    for (const char* name : {"LabelSetupList", "ButtonSetup", "ButtonStart", "PanelShowProgress"})
        entries.push_back({QString::fromLatin1(name), K::Caption});
    for (const char* name : {"BitBtnMore", "BitBtnCopy", "BitBtnDelete", "BitBtnMoveUp", "BitBtnMoveDown",
                             "ButtonSaveSetupFile", "ButtonOpenSetupFile", "ButtonOpenDefaultSetupFile", "BitBtnEdit",
                             "SpeedButtonMounting", "ButtonStart", "ButtonSetup", "ImageDeviceCount"})
        entries.push_back({QString::fromLatin1(name), K::Hint});
    RegisterTranslateTable(TranslateOrderSelectSetup, this, std::move(entries));
    RegisterHints(TranslateOrderSelectSetup, this, {{"BitBtnClose", "Close"}});
}

// A damaged default list must not stop the program: what was read before the
// damage stays, and the operator is told.
void TFormSelectSetup::LoadDefaultList()
{
    const QString path = DefaultSetupPath();
    if (QFileInfo::exists(path)) {
        bool ok = false;
        try {
            ok = TShotFileHandler().LoadSetupFile(path, setups_);
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
        }
        if (!ok)
            ShowErrorBox(QStringLiteral("Error loading setup file"));
    }
    ListChanged(0);
}

// The list is replaced only by a file that loaded whole.
bool TFormSelectSetup::LoadSetupList(const QString& path)
{
    bool ok = false;
    try {
        ok = setups_.LoadFromFile(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
    }
    if (!ok) {
        ShowErrorBox(QStringLiteral("Error loading setup file"));
        return false;
    }
    ListChanged(0);
    return true;
}

// ---- Selection ------------------------------------------------------------------

void TFormSelectSetup::SelectRow(int row)
{
    selectedIndex_ = setups_.Count() == 0 ? -1 : std::clamp(row, 0, setups_.Count() - 1);
    if (selectedIndex_ >= 0)
        DrawGridSetups->selectRow(selectedIndex_);
    else
        DrawGridSetups->clearSelection();
}

const TTargetSetup* TFormSelectSetup::SelectedSetup() const { return model_->Setup(selectedIndex_); }

void TFormSelectSetup::ListChanged(int selectRow)
{
    model_->Reload();
    SelectRow(selectRow);
}

void TFormSelectSetup::DrawGridSetupsClick(int row)
{
    if (model_->Setup(row))
        selectedIndex_ = row;
}

// ---- Showing and closing ----------------------------------------------------------

void TFormSelectSetup::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    SortSetupList(SessionMode == SessionClassic);
    setWindowTitle(Translate(QStringLiteral("Training Setup")));
    const QString option = GetOptionString(QString::fromLatin1(XmlNames::GunMounting));
    mounting_ = 0;
    for (int i = 1; i < 4; ++i)
        if (option == QLatin1String(MountingNames[i]))
            mounting_ = i;
    ShowMounting();
}

void TFormSelectSetup::closeEvent(QCloseEvent* event)
{
    if (FormStartMenu)
        FormStartMenu->ShowInFront();
    event->accept();
}

void TFormSelectSetup::BitBtnCloseClick() { close(); }

// ---- The list -------------------------------------------------------------------

void TFormSelectSetup::SortSetupList(bool flag)
{
    if (SortSetupsByRing(setups_, flag))
        ListChanged(0);
}

void TFormSelectSetup::CheckBoxSortListClick()
{
    SortSetupList(CheckBoxSortList->isChecked());
    SelectRow(0);
}

void TFormSelectSetup::ButtonOpenSetupFileClick()
{
    const QString path = Prompts().OpenFileName(EditSetupValues::SetupFileRequest(QStringLiteral("Open Setup List")));
    if (path.isEmpty() || !LoadSetupList(path))
        return;
    SortSetupList(false);
}

void TFormSelectSetup::ButtonOpenDefaultSetupFileClick()
{
    const TMsgResult answer = Prompts().MessageBox(Translate(QStringLiteral("Load factory default Setup list?")),
                                                   Translate(QStringLiteral("Confirm")), TMsgButtons::OKCancel);
    if (answer == TMsgResult::OK)
        LoadSetupList(ShippedDefaultSetupPath());
}

bool TFormSelectSetup::ReloadSetupList(const QString& path) { return LoadSetupList(path); }

void TFormSelectSetup::BitBtnEditClick()
{
    const int index = selectedIndex_;
    if (!SelectedSetup() || !FormEditSetup)
        return;
    SetSessionModeFromSetup();
    QPointer<TFormSelectSetup> self(this);
    const bool changed = FormEditSetup->EditSetup(*setups_.Get(index));
    if (self && changed) {
        ListChanged(index);
        ButtonSaveSetupFile->setEnabled(true);
    }
}

void TFormSelectSetup::BitBtnMoreClick() { ShowListTools(!listToolsShown_); }

void TFormSelectSetup::ShowListTools(bool shown)
{
    listToolsShown_ = shown;
    const bool advanced = shown && IsAdvancedMode();
    for (QWidget* tool : {BitBtnCopy, BitBtnDelete, BitBtnMoveUp, BitBtnMoveDown, ButtonSaveSetupFile})
        tool->setVisible(advanced);
    ButtonOpenSetupFile->setVisible(shown);
    ButtonOpenDefaultSetupFile->setVisible(shown);
}

void TFormSelectSetup::BitBtnCopyClick()
{
    const TTargetSetup* selected = SelectedSetup();
    if (!selected)
        return;
    TTargetSetup copy = *selected;
    const QString prefix = Translate(QStringLiteral("Copy of "));
    // A setup without description lines gets one, so the copy can be told apart.
    if (copy.descriptions && !copy.descriptions->isEmpty())
        (*copy.descriptions)[0].prepend(prefix);
    else
        copy.descriptions = QStringList {prefix + GetTargetName(copy.target)};
    AddSetup(copy);
    ButtonSaveSetupFile->setEnabled(true);
}

void TFormSelectSetup::AddSetup(const TTargetSetup& setup)
{
    setups_.Add(setup);
    ListChanged(setups_.Count() - 1);
}

void TFormSelectSetup::BitBtnDeleteClick()
{
    if (!SelectedSetup())
        return;
    DeleteSelectedSetup();
    ButtonSaveSetupFile->setEnabled(true);
}

void TFormSelectSetup::DeleteSelectedSetup()
{
    const int index = selectedIndex_;
    if (!SelectedSetup())
        return;
    setups_.Delete(index);
    ListChanged(index);
}

void TFormSelectSetup::BitBtnMoveUpClick()
{
    const int index = selectedIndex_;
    if (!SelectedSetup() || index == 0)
        return;
    setups_.Swap(index, index - 1);
    ListChanged(index - 1);
    ButtonSaveSetupFile->setEnabled(true);
}

void TFormSelectSetup::BitBtnMoveDownClick()
{
    const int index = selectedIndex_;
    if (!SelectedSetup() || index == setups_.Count() - 1)
        return;
    setups_.Swap(index, index + 1);
    ListChanged(index + 1);
    ButtonSaveSetupFile->setEnabled(true);
}

void TFormSelectSetup::MoveSelectedSetupToTop()
{
    if (!SelectedSetup())
        return;
    for (int i = selectedIndex_; i > 0; --i)
        setups_.Swap(i, i - 1);
    ListChanged(0);
}

void TFormSelectSetup::ButtonSaveSetupFileClick()
{
    const QString path = Prompts().SaveFileName(EditSetupValues::SetupFileRequest(QStringLiteral("Save Setup List")));
    if (path.isEmpty())
        return;
    if (EditSetupValues::IsDefaultSetupFile(path)) {
        ShowErrorBox(QStringLiteral("Default setup cannot be overwritten"));
        return;
    }
    try {
        setups_.SaveToFile(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
        ShowErrorBox(QStringLiteral("File save failed"));
        return;
    }
    close();
}

// ---- Mounting, buttons, device count ------------------------------------------------------

void TFormSelectSetup::SpeedButtonMountingClick()
{
    mounting_ = (mounting_ + 1) % 4;
    ShowMounting();
}

void TFormSelectSetup::ShowMounting()
{
    SpeedButtonMounting->setIcon(QIcon(ImageMounting[mounting_]->pixmap()));
    SetOptionString(QString::fromLatin1(XmlNames::GunMounting), QString::fromLatin1(MountingNames[mounting_]));
}

void TFormSelectSetup::SetModeDynamic(bool dynamic) { CheckBoxModeDynamic->setChecked(dynamic); }

void TFormSelectSetup::EnableSetupButtons()
{
    if (Programming())
        return;
    for (QWidget* button : {ButtonSetup, ButtonStart, BitBtnEdit, ButtonOpenSetupFile, BitBtnClose})
        button->setEnabled(true);
    SpeedButtonMounting->show();
}

void TFormSelectSetup::DisableSetupButtons()
{
    ButtonSetup->setEnabled(false);
    ButtonStart->setEnabled(false);
    SpeedButtonMounting->hide();
}

bool TFormSelectSetup::Programming() const { return state_ != 0; }

void TFormSelectSetup::ShowDeviceCount(const QString& text, const QPixmap& icon)
{
    LabelDeviceCount->setText(text);
    ImageDeviceCountIcon->setPixmap(icon);
}

void TFormSelectSetup::SetSessionModeFromSetup()
{
    if (const TTargetSetup* setup = SelectedSetup())
        SessionMode = SessionModeForSetup(*setup);
}
