#include "FormShooterList.h"

#include "AppPaths.h"
#include "FormKeys.h"
#include "FormNameListEditor.h"
#include "FormSearchShooterName.h"
#include "FormShooter.h"
#include "Globals.h"
#include "KeystrokeDelegate.h"
#include "NamedControl.h"
#include "NameList.h"
#include "Printing.h"
#include "Prompts.h"
#include "SessionFiles.h"
#include "SessionSaving.h"
#include "ShooterGridModel.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <exception>

namespace {

void Tell(const QString& text, const QString& caption)
{
    Prompts().MessageBox(Translate(text), Translate(caption), TMsgButtons::OK);
}

} // namespace

TFormShooterList::TFormShooterList(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormShooterList"));
    setWindowTitle(QStringLiteral("Shooters and Sessions"));
    BuildControls();
    BuildLayout();
    ConnectHandlers();
    RegisterTranslateTable(TranslateOrderShooterList, this,
                           {{QStringLiteral("Caption"), TTranslateKind::Caption},
                            {QStringLiteral("Label1"), TTranslateKind::Caption},
                            {QStringLiteral("Label2"), TTranslateKind::Caption},
                            {QStringLiteral("BitBtnEditList"), TTranslateKind::Caption},
                            {QStringLiteral("BitBtnSaveSession"), TTranslateKind::Caption},
                            {QStringLiteral("PanelSaveCompleted"), TTranslateKind::Caption},
                            {QStringLiteral("BitBtnPrintSession"), TTranslateKind::Caption}});
    RegisterHints(TranslateOrderShooterList, this, {{"BitBtnClose", "Close"}});
    resize(560, 420);
}

TFormShooterList::~TFormShooterList() { UnregisterTranslateTables(this); }

// ---- Building ------------------------------------------------------------------------

void TFormShooterList::BuildControls()
{
    model_ = new TShooterGridModel(this);
    StringGridNames = NamedControl<QTableView>(this, "StringGridNames");
    StringGridNames->setModel(model_);
    StringGridNames->setItemDelegate(new TKeystrokeDelegate(StringGridNames));
    StringGridNames->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGridNames->setSelectionBehavior(QAbstractItemView::SelectItems);
    StringGridNames->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                                     | QAbstractItemView::AnyKeyPressed | QAbstractItemView::SelectedClicked);
    StringGridNames->verticalHeader()->hide();
    StringGridNames->setTabKeyNavigation(false);  // Tab leaves the grid; the arrows move between cells

    ComboBoxTeams = NamedControl<QComboBox>(this, "ComboBoxTeams");
    Label1 = NamedControl<QLabel>(this, "Label1");
    Label1->setText(QStringLiteral("Team"));
    Label2 = NamedControl<QLabel>(this, "Label2");
    Label2->setText(QStringLiteral("Shooters"));
    QFont bold = Label2->font();
    bold.setBold(true);
    Label2->setFont(bold);

    BitBtnSaveSession = NamedControl<QPushButton>(this, "BitBtnSaveSession");
    BitBtnSaveSession->setText(QStringLiteral("Save Session"));
    BitBtnSaveSession->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    BitBtnPrintSession = NamedControl<QPushButton>(this, "BitBtnPrintSession");
    BitBtnPrintSession->setText(QStringLiteral("Print Session"));
    BitBtnPrintSession->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    BitBtnEditList = NamedControl<QPushButton>(this, "BitBtnEditList");
    BitBtnEditList->setText(QStringLiteral("Edit Name List"));
    BitBtnEditList->setIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    BitBtnClose = NamedControl<QPushButton>(this, "BitBtnClose");
    BitBtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));

    PanelSaveCompleted = NamedControl<QLabel>(this, "PanelSaveCompleted");
    PanelSaveCompleted->setText(QStringLiteral("Saving Completed"));
    PanelSaveCompleted->setFrameShape(QFrame::Panel);
    PanelSaveCompleted->setAlignment(Qt::AlignCenter);
    PanelSaveCompleted->setFont(bold);
    PanelSaveCompleted->hide();

    TimerHidePanel = NamedControl<QTimer>(this, "TimerHidePanel");
    TimerHidePanel->setSingleShot(true);
}

void TFormShooterList::BuildLayout()
{
    auto* teams = new QHBoxLayout;
    teams->addWidget(Label1);
    teams->addWidget(ComboBoxTeams, 1);
    teams->addWidget(BitBtnEditList);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(BitBtnClose);
    bottom->addStretch();
    bottom->addWidget(PanelSaveCompleted);
    bottom->addWidget(BitBtnPrintSession);
    bottom->addWidget(BitBtnSaveSession);

    auto* main = new QVBoxLayout(this);
    main->addWidget(Label2);
    main->addWidget(StringGridNames, 1);
    main->addLayout(teams);
    main->addLayout(bottom);

    SetTabChain({StringGridNames, ComboBoxTeams, BitBtnEditList, BitBtnSaveSession, BitBtnPrintSession,
                 BitBtnClose});
    InstallFormKeys(this, nullptr, BitBtnClose);
}

void TFormShooterList::ConnectHandlers()
{
    connect(StringGridNames, &QTableView::clicked, this, &TFormShooterList::StringGridNamesClick);
    StringGridNames->installEventFilter(this);
    connect(BitBtnEditList, &QPushButton::clicked, this, &TFormShooterList::BitBtnEditListClick);
    connect(BitBtnSaveSession, &QPushButton::clicked, this, &TFormShooterList::BitBtnSaveSessionClick);
    connect(BitBtnPrintSession, &QPushButton::clicked, this, &TFormShooterList::BitBtnPrintSessionClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFormShooterList::BitBtnCloseClick);
    connect(TimerHidePanel, &QTimer::timeout, this, &TFormShooterList::TimerHidePanelTimer);
}

// ---- Showing -------------------------------------------------------------------------

void TFormShooterList::ShowInFront()
{
    show();
    raise();
    activateWindow();
}

void TFormShooterList::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    FillShooterGrid();
    FillTeamCombo();
    SetColumnWidths();
    pickedTeam_.clear();
}

void TFormShooterList::SetColumnWidths()
{
    if (layout())
        layout()->activate();
    const int w = StringGridNames->fontMetrics().horizontalAdvance(QStringLiteral("KBR12345678_"));
    const int rest = std::max(0, StringGridNames->width() - w - 38);
    StringGridNames->setColumnWidth(TShooterGridModel::ColumnName, rest * 3 / 4);
    StringGridNames->setColumnWidth(TShooterGridModel::ColumnPick, 30);
    StringGridNames->setColumnWidth(TShooterGridModel::ColumnTeam, rest / 4);
    StringGridNames->setColumnWidth(TShooterGridModel::ColumnDevice, w);
}

void TFormShooterList::FillShooterGrid() { model_->Reload(CurrentSession); }

void TFormShooterList::FillTeamCombo()
{
    ComboBoxTeams->clear();
    ComboBoxTeams->addItem(Translate(QStringLiteral("<None>")));
    ComboBoxTeams->addItem(Translate(QStringLiteral("<All>")));
    if (FormNameListEditor) {
        const TShooterNameFileHandler& names = FormNameListEditor->NameList();
        for (int i = 0; i < names.TeamCount(); ++i)
            ComboBoxTeams->addItem(names.GetTeam(i)->Name());
    }
    ComboBoxTeams->setCurrentIndex(0);
}

void TFormShooterList::SelectCell(int row, int column)
{
    const QModelIndex index = model_->index(row, column);
    if (index.isValid())
        StringGridNames->setCurrentIndex(index);
}

// ---- The grid and the names ------------------------------------------------------------

void TFormShooterList::StringGridNamesClick(const QModelIndex& index)
{
    if (!index.isValid())
        return;
    if (index.column() == TShooterGridModel::ColumnPick) {
        SelectCell(index.row(), TShooterGridModel::ColumnName);
        PickShooterName();
    } else if (index.column() == TShooterGridModel::ColumnDevice) {
        SelectCell(index.row(), TShooterGridModel::ColumnTeam);
    }
}

bool TFormShooterList::StringGridNamesKeyDown(const QKeyEvent* event)
{
    const int key = event->key();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    const QModelIndex current = StringGridNames->currentIndex();
    if (!plain || !current.isValid() || current.column() != TShooterGridModel::ColumnPick
        || (key != Qt::Key_Space && key != Qt::Key_Return && key != Qt::Key_Enter && key != Qt::Key_F2))
        return false;
    StringGridNamesClick(current);
    return true;
}

bool TFormShooterList::eventFilter(QObject* watched, QEvent* event)
{
    // The grid's own keys reach it only when they are not a pick.
    if (watched == StringGridNames && event->type() == QEvent::KeyPress)
        return StringGridNamesKeyDown(static_cast<const QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

void TFormShooterList::PickShooterName()
{
    const int teamIndex = ComboBoxTeams->currentIndex();
    if (teamIndex < 1 || !FormSearchShooterName || !FormNameListEditor)
        return;
    const QString teamText = ComboBoxTeams->itemText(teamIndex);
    try {
        const TShooterNameFileHandler& names = FormNameListEditor->NameList();
        const TTeam* team = teamIndex == 1 ? names.GetAllNames() : names.GetTeam(teamIndex - 2);
        const int row = StringGridNames->currentIndex().row();
        FormSearchShooterName->SetTeam(team, teamText);
        QPointer<TFormShooterList> self(this);
        const int result = FormSearchShooterName->exec();
        if (!self || result != QDialog::Accepted)
            return;
        const bool realTeam = teamIndex >= 2;
        pickedTeam_ = realTeam ? teamText : QString();
        const QString chosen = FormSearchShooterName->SelectedName();
        TShooter* shooter = model_->Shooter(row);
        if (chosen.isEmpty() || !shooter)
            return;
        shooter->name = chosen;
        // "<All>" names no team: the shooter keeps the one it has.
        if (realTeam)
            shooter->team = teamText;
        FillShooterGrid();
        SelectCell(row, TShooterGridModel::ColumnName);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Name search: %1").arg(QString::fromUtf8(e.what())));
    }
}

void TFormShooterList::BitBtnEditListClick()
{
    if (!FormNameListEditor)
        return;
    QPointer<TFormShooterList> self(this);
    FormNameListEditor->exec();
    if (self)
        FillTeamCombo();
}

void TFormShooterList::BitBtnCloseClick()
{
    hide();
    for (TFormShooter* viewer : ShooterViewers)
        viewer->ShowShooterName();
}

void TFormShooterList::TimerHidePanelTimer()
{
    TimerHidePanel->stop();
    PanelSaveCompleted->hide();
}

// ---- Saving and printing ----------------------------------------------------------------

void TFormShooterList::BitBtnSaveSessionClick()
{
    Prompts().Beep();
    if (!SessionHasShots(*CurrentSession)) {
        Tell(QStringLiteral("Nothing to save!"), QStringLiteral("Information"));
        return;
    }
    if (!EveryShooterNamed())
        return;
    QPointer<TFormShooterList> self(this);
    BitBtnSaveSession->setEnabled(false);
    try {
        SaveSession();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Saving the session: %1").arg(QString::fromUtf8(e.what())));
        Tell(QStringLiteral("File save failed"), QStringLiteral("Error"));
    }
    if (self)
        BitBtnSaveSession->setEnabled(true);
}

bool TFormShooterList::EveryShooterNamed()
{
    for (int i = 0; i < CurrentSession->ShooterCount(); ++i) {
        if (!ShooterNeedsName(*CurrentSession->GetShooter(i)))
            continue;
        FillShooterGrid();
        SelectCell(i, TShooterGridModel::ColumnName);
        StringGridNames->setFocus();
        Tell(QStringLiteral("Enter shooter name"), QStringLiteral("Error"));
        return false;
    }
    return true;
}

QString TFormShooterList::SessionFileName() const
{
    QStringList shooterNames;
    for (int i = 0; i < CurrentSession->ShooterCount(); ++i)
        shooterNames << CurrentSession->GetShooter(i)->name;
    QStringList viewerTargets;
    for (const TFormShooter* viewer : ShooterViewers)
        viewerTargets << viewer->TargetName();
    const TShooter* first = CurrentSession->GetShooter(0);
    return SessionFileBaseName(pickedTeam_, shooterNames, viewerTargets,
                               first ? DefinedTargetNames(*first) : QStringList());
}

// The file's target numbering changes the slot-0 flags the units' live shots
// rely on; the guard puts them back however this ends.
void TFormShooterList::SaveSession()
{
    TSlotZeroFlagsGuard slotZero(*CurrentSession);
    NumberTargetsForSave(*CurrentSession);
    const QString path = ConfirmShotFilePath(UniqueShotFilePath(ShotFilesFolder(), SessionFileName()),
                                             Translate(QStringLiteral("Save Session")));
    if (path.isEmpty())
        return;
    // Cleared before the document is built: a shot that arrives meanwhile
    // marks the session unsaved again.
    const bool wasUnsaved = SessionUnsaved.exchange(false);
    try {
        TShotFileHandler handler;
        handler.SetSession(CurrentSession);
        handler.BuildShotFile();
        handler.Save(path);
    } catch (...) {
        if (wasUnsaved)
            SessionUnsaved.store(true);
        throw;
    }
    MarkViewersSaved();
    Prompts().Beep();
    PanelSaveCompleted->show();
    TimerHidePanel->start(UiTimings().savedPanelMs);
}

void TFormShooterList::BitBtnPrintSessionClick()
{
    if (!SessionHasShots(*CurrentSession)) {
        Tell(QStringLiteral("No shots to print"), QStringLiteral("Error"));
        return;
    }
    std::vector<TShooter*> shooters;
    for (int i = 0; i < CurrentSession->ShooterCount(); ++i) {
        TShooter* shooter = CurrentSession->GetShooter(i);
        if (shooter && shooter->ShotCount() > 0)
            shooters.push_back(shooter);
    }
    PrintShooterPages(shooters);
}
