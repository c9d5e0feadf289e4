#include "FormOpenSession.h"

#include "AppPaths.h"
#include "FormKeys.h"
#include "FormShooter.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "NamedControl.h"
#include "Prompts.h"
#include "SessionFiles.h"
#include "Shotdata.h"
#include "Shotfile.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <exception>
#include <memory>

TFormOpenSession::TFormOpenSession(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("FormOpenSession"));
    setWindowTitle(QStringLiteral("Open Previous Session"));
    BuildControls();
    BuildLayout();
    ConnectHandlers();
    RegisterTranslateTable(TranslateOrderOpenSession, this,
                           {{QStringLiteral("LabelSelectSession"), TTranslateKind::Caption},
                            {QStringLiteral("BitBtnOpen"), TTranslateKind::Caption},
                            {QStringLiteral("Caption"), TTranslateKind::Caption}});
    RegisterHints(TranslateOrderOpenSession, this, {{"BitBtnClose", "Close"}, {"BitBtnShowBrowseDialog", "Browse"}});
    RegisterTranslateTable(TranslateOrderFinalCentering, this,
                           {{QStringLiteral("LabelSelectSession"), TTranslateKind::Center}});
    resize(520, 420);
}

TFormOpenSession::~TFormOpenSession() { UnregisterTranslateTables(this); }

// ---- Building ------------------------------------------------------------------------

void TFormOpenSession::BuildControls()
{
    LabelSelectSession = NamedControl<QLabel>(this, "LabelSelectSession");
    LabelSelectSession->setText(QStringLiteral("Select Training Session"));
    QFont bold = LabelSelectSession->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    LabelSelectSession->setFont(bold);
    LabelSelectSession->setAlignment(Qt::AlignCenter);

    ImageOpenPreviousSession = NamedControl<QLabel>(this, "ImageOpenPreviousSession");
    ImageOpenPreviousSession->setPixmap(style()->standardIcon(QStyle::SP_DirOpenIcon).pixmap(48, 48));
    // No action of its own; kept hidden.
    SpeedButton1 = NamedControl<QToolButton>(this, "SpeedButton1");
    SpeedButton1->hide();

    model_ = new TSessionFileListModel(items_, this);
    StringGridSessions = NamedControl<QTableView>(this, "StringGridSessions");
    StringGridSessions->setModel(model_);
    StringGridSessions->setSelectionBehavior(QAbstractItemView::SelectRows);
    StringGridSessions->setSelectionMode(QAbstractItemView::SingleSelection);
    StringGridSessions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    StringGridSessions->verticalHeader()->hide();
    StringGridSessions->setTabKeyNavigation(false);  // Tab leaves the list for the buttons

    BitBtnOpen = NamedControl<QPushButton>(this, "BitBtnOpen");
    BitBtnOpen->setText(QStringLiteral("Open"));
    BitBtnOpen->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    BitBtnClose = NamedControl<QPushButton>(this, "BitBtnClose");
    BitBtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
    BitBtnShowBrowseDialog = NamedControl<QPushButton>(this, "BitBtnShowBrowseDialog");
    BitBtnShowBrowseDialog->setIcon(style()->standardIcon(QStyle::SP_DirIcon));
}

void TFormOpenSession::BuildLayout()
{
    auto* top = new QHBoxLayout;
    top->addWidget(ImageOpenPreviousSession);
    top->addWidget(LabelSelectSession, 1);
    top->addWidget(SpeedButton1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(BitBtnClose);
    bottom->addWidget(BitBtnShowBrowseDialog);
    bottom->addStretch();
    bottom->addWidget(BitBtnOpen);

    auto* main = new QVBoxLayout(this);
    main->addLayout(top);
    main->addWidget(StringGridSessions, 1);
    main->addLayout(bottom);

    SetTabChain({StringGridSessions, BitBtnOpen, BitBtnShowBrowseDialog, BitBtnClose});
    InstallFormKeys(this, BitBtnOpen, BitBtnClose);
}

void TFormOpenSession::ConnectHandlers()
{
    connect(BitBtnOpen, &QPushButton::clicked, this, &TFormOpenSession::BitBtnOpenClick);
    connect(StringGridSessions, &QTableView::doubleClicked, this, &TFormOpenSession::StringGridSessionsDblClick);
    connect(StringGridSessions->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormOpenSession::UpdateOpenButton);
    connect(BitBtnShowBrowseDialog, &QPushButton::clicked, this, &TFormOpenSession::ButtonShowBrowseDialogClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &TFormOpenSession::BitBtnCloseClick);
}

// ---- The list ------------------------------------------------------------------------

void TFormOpenSession::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    ListSessionFiles();
    FillSessionGrid();
}

void TFormOpenSession::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    SetColumnWidths();
}

void TFormOpenSession::ListSessionFiles()
{
    items_ = ::ListSessionFiles(ShotFilesFolder());
    model_->Reload();
}

void TFormOpenSession::FillSessionGrid()
{
    model_->Reload();
    SetColumnWidths();
    if (!items_.empty())
        StringGridSessions->selectRow(0);
    StringGridSessions->setFocus();
    UpdateOpenButton();
}

void TFormOpenSession::SetColumnWidths()
{
    const int width = StringGridSessions->viewport()->width();
    StringGridSessions->setColumnWidth(0, width * 2 / 3 - 3);
    StringGridSessions->setColumnWidth(1, width / 3 - 3);
}

QString TFormOpenSession::SelectedPath() const
{
    const QModelIndexList rows = StringGridSessions->selectionModel()->selectedRows();
    const TOpenListItem* item = rows.isEmpty() ? nullptr : model_->Item(rows.first().row());
    return item ? ShotFilesFolder() + QLatin1Char('/') + item->fileName : QString();
}

void TFormOpenSession::UpdateOpenButton()
{
    BitBtnOpen->setEnabled(!opening_ && StringGridSessions->selectionModel()->hasSelection());
}

// ---- Handlers ------------------------------------------------------------------------

void TFormOpenSession::BitBtnOpenClick()
{
    const QString path = SelectedPath();
    if (!path.isEmpty())
        OpenSessionFile(path);
}

void TFormOpenSession::StringGridSessionsDblClick() { BitBtnOpenClick(); }

void TFormOpenSession::ButtonShowBrowseDialogClick()
{
    TFileRequest request;
    request.folder = ShotFilesFolder();
    request.fileName = QStringLiteral("*.shotfile.xml");
    request.filters = QStringList {ShotFileFilter()};
    request.defaultSuffix = QStringLiteral("shotfile.xml");
    QPointer<TFormOpenSession> self(this);
    const QString path = Prompts().OpenFileName(request);
    if (self && !path.isEmpty())
        OpenSessionFile(path);
}

void TFormOpenSession::BitBtnCloseClick() { close(); }

void TFormOpenSession::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (FormStartMenu)
        FormStartMenu->ShowInFront();
}

// ---- Opening a file ------------------------------------------------------------------

void TFormOpenSession::OpenSessionFile(const QString& path)
{
    if (opening_)
        return;
    QPointer<TFormOpenSession> self(this);
    opening_ = true;
    UpdateOpenButton();
    try {
        ReadAndOpen(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Opening %1: %2").arg(path, QString::fromUtf8(e.what())));
    }
    if (self) {
        opening_ = false;
        UpdateOpenButton();
    }
}

void TFormOpenSession::ReadAndOpen(const QString& path)
{
    QPointer<TFormOpenSession> self(this);
    std::unique_ptr<TSession> loaded;
    {
        // The document goes before the viewers are made, which then take
        // their memory from what it held rather than from fresh pages.
        TShotFileHandler handler;
        try {
            handler.LoadShotFile(path);
        } catch (const std::exception& e) {
            DebugLog(QStringLiteral("%1: %2").arg(path, QString::fromUtf8(e.what())));
            ShowErrorBox(QStringLiteral("File open failed!"));
            return;
        }
        loaded = handler.TakeSession();
    }
    if (!loaded || loaded->ShooterCount() == 0) {
        ShowErrorBox(QStringLiteral("No shooters in shot file"));
        return;
    }
    // The running session is closed first; when the operator keeps it (to
    // save it, or cancelled), nothing of the file joins it.
    const bool closed = !FormShooterPanel || FormShooterPanel->CloseSession();
    if (!self || !closed)
        return;
    CurrentSession->date = loaded->date;
    TakeShooters(*loaded);
    hide();
    if (ShooterViewers.empty()) {
        if (FormStartMenu)
            FormStartMenu->ShowInFront();
    } else {
        ShowSessionViewers();
    }
}

void TFormOpenSession::TakeShooters(TSession& loaded)
{
    std::vector<TShooter*> withShots;
    for (int i = 0; i < loaded.ShooterCount(); ++i)
        if (loaded.GetShooter(i)->ShotCount() > 0)
            withShots.push_back(loaded.GetShooter(i));
    for (TShooter* shooter : withShots) {
        TShooter* moved = CurrentSession->AddShooter(loaded.TakeShooter(shooter));
        auto* viewer = new TFormShooter;
        ShooterViewers.push_back(viewer);
        AttachShooterView(viewer, nullptr, moved, false);
        // The panel shows each viewer once, in its tile: shown here first,
        // every viewer would be laid out at its first size for nothing.
        if (!FormShooterPanel)
            viewer->show();
    }
}
