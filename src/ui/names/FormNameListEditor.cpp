#include "FormNameListEditor.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "FormKeys.h"
#include "Globals.h"
#include "KeystrokeDelegate.h"
#include "NameListModels.h"
#include "Prompts.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"
#include "XmlNames.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const MsgLastShooter = "Can't remove last shooter. Remove team instead.";
const char* const MsgLastTeam = "Can't remove last team";
const char* const MsgOpenFailed = "Name list open failed.";
const char* const MsgNoTeam = "Add a team first.";

void ShowError(const char* text) { ShowErrorBox(QString::fromLatin1(text)); }

QString NumberedName(const char* pattern, int n) { return FormatNamePattern(Translate(QLatin1String(pattern)), n); }

TFileRequest NameListRequest(const char* caption, const QString& fileName)
{
    TFileRequest request;
    request.caption = Translate(QString::fromLatin1(caption));
    request.folder = SetupsFolder();
    request.fileName = fileName;
    request.filters = QStringList {QStringLiteral("TRAXEL Name List File (*.namelist.xml)")};
    request.defaultSuffix = QStringLiteral("namelist.xml");
    return request;
}

// A plus or a minus, for adding and removing rows.
QIcon RowGlyph(bool add)
{
    QPixmap glyph(20, 20);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setPen(QPen(add ? QColor(0x20, 0x90, 0x30) : QColor(0xC0, 0x30, 0x20), 4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(3, 10, 17, 10);
    if (add)
        p.drawLine(10, 3, 10, 17);
    return QIcon(glyph);
}

QPushButton* Button(QWidget* parent, const char* name, const QIcon& icon, const char* hint)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setIcon(icon);
    button->setToolTip(QString::fromLatin1(hint));
    // Enter belongs to the grids' cells, never to a default button.
    button->setAutoDefault(false);
    return button;
}

QTableView* NameGrid(QWidget* parent, const char* name)
{
    auto* grid = new QTableView(parent);
    grid->setObjectName(QString::fromLatin1(name));
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::SelectedClicked
                          | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    grid->horizontalHeader()->hide();
    grid->horizontalHeader()->setStretchLastSection(true);
    grid->verticalHeader()->hide();
    grid->setItemDelegate(new TKeystrokeDelegate(grid));
    grid->setTabKeyNavigation(false);  // Tab leaves the grid for its buttons
    return grid;
}

}  // namespace

TFormNameListEditor::TFormNameListEditor(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormNameListEditor"));
    setWindowTitle(QStringLiteral("Name List Editor"));
    // Recorded as untranslated now, not first when an operator meets them.
    for (const char* text : {XmlNames::TeamNameFormat, XmlNames::ShooterNameFormat, MsgLastShooter, MsgLastTeam,
                             MsgOpenFailed, MsgNoTeam})
        Translate(QString::fromLatin1(text));
    BuildControls();
    BuildLayout();
    ConnectHandlers();
    RegisterTranslation();
    SelectTeam(0);
    resize(480, 420);
}

TFormNameListEditor::~TFormNameListEditor()
{
    UnregisterTranslateTables(this);
    shooters_->SetTeam(nullptr);
}

// ---- Building -----------------------------------------------------------------

void TFormNameListEditor::BuildControls()
{
    LabelTeams = new QLabel(QStringLiteral("Teams"), this);
    LabelTeams->setObjectName(QStringLiteral("LabelTeams"));
    LabelShooters = new QLabel(QStringLiteral("Shooters in Team"), this);
    LabelShooters->setObjectName(QStringLiteral("LabelShooters"));

    teams_ = new TTeamListModel(names_, this);
    shooters_ = new TTeamNamesModel(this);
    StringGridTeams = NameGrid(this, "StringGridTeams");
    StringGridTeams->setModel(teams_);
    StringGridShooters = NameGrid(this, "StringGridShooters");
    StringGridShooters->setModel(shooters_);

    ButtonNewTeam = Button(this, "ButtonNewTeam", RowGlyph(true), "New Team");
    ButtonRemoveTeam = Button(this, "ButtonRemoveTeam", RowGlyph(false), "Remove Team");
    ButtonNewShooter = Button(this, "ButtonNewShooter", RowGlyph(true), "New Shooter");
    ButtonRemoveShooter = Button(this, "ButtonRemoveShooter", RowGlyph(false), "Remove Shooter");
    ButtonLoadList = Button(this, "ButtonLoadList", style()->standardIcon(QStyle::SP_DialogOpenButton), "Load Name List");
    ButtonSaveList = Button(this, "ButtonSaveList", style()->standardIcon(QStyle::SP_DialogSaveButton), "Save Name List");
    ButtonOk = Button(this, "ButtonOk", style()->standardIcon(QStyle::SP_DialogOkButton), "OK");
    ButtonCancel = Button(this, "ButtonCancel", style()->standardIcon(QStyle::SP_DialogCancelButton), "Cancel");
}

void TFormNameListEditor::BuildLayout()
{
    auto* grids = new QGridLayout;
    grids->addWidget(LabelTeams, 0, 0);
    grids->addWidget(LabelShooters, 0, 1);
    grids->addWidget(StringGridTeams, 1, 0);
    grids->addWidget(StringGridShooters, 1, 1);
    const auto rowButtons = [](QPushButton* add, QPushButton* remove) {
        auto* row = new QHBoxLayout;
        row->addWidget(add);
        row->addWidget(remove);
        row->addStretch();
        return row;
    };
    grids->addLayout(rowButtons(ButtonNewTeam, ButtonRemoveTeam), 2, 0);
    grids->addLayout(rowButtons(ButtonNewShooter, ButtonRemoveShooter), 2, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ButtonLoadList);
    bottom->addWidget(ButtonSaveList);
    bottom->addStretch();
    bottom->addWidget(ButtonOk);
    bottom->addWidget(ButtonCancel);

    auto* main = new QVBoxLayout(this);
    main->addLayout(grids, 1);
    main->addLayout(bottom);

    // Each grid, then the buttons under it.
    SetTabChain({StringGridTeams, ButtonNewTeam, ButtonRemoveTeam, StringGridShooters, ButtonNewShooter,
                 ButtonRemoveShooter, ButtonLoadList, ButtonSaveList, ButtonOk, ButtonCancel});
    InstallFormKeys(this, ButtonOk, ButtonCancel);
}

void TFormNameListEditor::ConnectHandlers()
{
    connect(StringGridTeams->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (current.isValid())
                    StringGridTeamsClick(current.row());
            });
    connect(ButtonNewTeam, &QPushButton::clicked, this, &TFormNameListEditor::ButtonNewTeamClick);
    connect(ButtonRemoveTeam, &QPushButton::clicked, this, &TFormNameListEditor::ButtonRemoveTeamClick);
    connect(ButtonNewShooter, &QPushButton::clicked, this, &TFormNameListEditor::ButtonNewShooterClick);
    connect(ButtonRemoveShooter, &QPushButton::clicked, this, &TFormNameListEditor::ButtonRemoveShooterClick);
    connect(ButtonLoadList, &QPushButton::clicked, this, &TFormNameListEditor::ButtonLoadListClick);
    connect(ButtonSaveList, &QPushButton::clicked, this, &TFormNameListEditor::ButtonSaveListClick);
    connect(ButtonOk, &QPushButton::clicked, this, &TFormNameListEditor::ButtonOkClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormNameListEditor::ButtonCancelClick);
}

void TFormNameListEditor::RegisterTranslation()
{
    std::vector<TTranslateEntry> entries {{QStringLiteral("LabelTeams"), TTranslateKind::Caption},
                                          {QStringLiteral("LabelShooters"), TTranslateKind::Caption},
                                          {QStringLiteral("Caption"), TTranslateKind::Caption}};
    // The buttons show icons only: their hints say what they do.
    for (const QPushButton* button : {ButtonNewTeam, ButtonRemoveTeam, ButtonNewShooter, ButtonRemoveShooter,
                                      ButtonLoadList, ButtonSaveList, ButtonOk, ButtonCancel})
        entries.push_back({button->objectName(), TTranslateKind::Hint});
    RegisterTranslateTable(TranslateOrderNameListEditor, this, std::move(entries));
}

// ---- The list and the grids ---------------------------------------------------------

bool TFormNameListEditor::LoadNameList(const QString& path)
{
    const int before = teams_->RowOf(CurrentTeam());
    // The shooter grid lets go of the old teams before they may go.
    shooters_->SetTeam(nullptr);
    const bool loaded = teams_->Load(path);
    SelectTeam(loaded ? 0 : before);
    if (loaded)
        saveFileName_ = path;
    return loaded;
}

void TFormNameListEditor::TeamsToGrid()
{
    const int row = teams_->RowOf(CurrentTeam());
    if (row < 0)
        shooters_->SetTeam(nullptr);
    teams_->Reload();
    SelectTeam(std::max(row, 0));
}

void TFormNameListEditor::ShootersToGrid()
{
    const int row = SelectedRow(StringGridShooters);
    shooters_->Reload();
    SelectShooter(std::max(row, 0));
}

TTeam* TFormNameListEditor::CurrentTeam() const { return shooters_->Team(); }

void TFormNameListEditor::SelectTeam(int row)
{
    TTeam* team = teams_->Team(std::clamp(row, 0, std::max(names_.TeamCount() - 1, 0)));
    if (team != CurrentTeam())
        shooters_->SetTeam(team);
    if (team)
        StringGridTeams->setCurrentIndex(teams_->index(teams_->RowOf(team), 0));
    else
        StringGridTeams->setCurrentIndex(QModelIndex());
    SelectShooter(SelectedRow(StringGridShooters));
}

void TFormNameListEditor::SelectShooter(int row)
{
    const int count = shooters_->rowCount();
    if (count == 0)
        StringGridShooters->setCurrentIndex(QModelIndex());
    else
        StringGridShooters->setCurrentIndex(shooters_->index(std::clamp(row, 0, count - 1), 0));
}

int TFormNameListEditor::SelectedRow(const QTableView* grid) const
{
    const QModelIndex current = grid->currentIndex();
    return current.isValid() ? current.row() : -1;
}

int TFormNameListEditor::AllNamesCount() const
{
    int count = 0;
    for (int i = 0; i < names_.TeamCount(); ++i)
        count += names_.GetTeam(i)->NameCount();
    return count;
}

// ---- Handlers -----------------------------------------------------------------------

void TFormNameListEditor::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    TeamsToGrid();
    SelectTeam(0);
}

void TFormNameListEditor::StringGridTeamsClick(int row)
{
    if (teams_->Team(row) && teams_->Team(row) != CurrentTeam())
        SelectTeam(row);
}

void TFormNameListEditor::ButtonNewShooterClick()
{
    TTeam* team = CurrentTeam();
    if (!team) {
        ShowError(MsgNoTeam);
        return;
    }
    team->AddName(NumberedName(XmlNames::ShooterNameFormat, AllNamesCount() + 1));
    shooters_->Reload();
    SelectShooter(team->NameCount() - 1);
    StringGridShooters->setFocus();
}

void TFormNameListEditor::ButtonNewTeamClick()
{
    const QString teamName = NumberedName(XmlNames::TeamNameFormat, names_.TeamCount() + 1);
    const QString shooterName = NumberedName(XmlNames::ShooterNameFormat, AllNamesCount() + 1);
    names_.AddTeam(teamName)->AddName(shooterName);
    TeamsToGrid();
    SelectTeam(names_.TeamCount() - 1);
    StringGridTeams->setFocus();
}

void TFormNameListEditor::ButtonRemoveShooterClick()
{
    TTeam* team = CurrentTeam();
    const int row = SelectedRow(StringGridShooters);
    if (!team)
        return;
    if (team->NameCount() < 2) {
        ShowError(MsgLastShooter);
        return;
    }
    if (row < 0)
        return;
    team->DeleteName(row);
    ShootersToGrid();
}

// The last team stays, name and all: a list always keeps a team to add names to.
void TFormNameListEditor::ButtonRemoveTeamClick()
{
    const int row = SelectedRow(StringGridTeams);
    if (names_.TeamCount() == 0)
        return;
    if (names_.TeamCount() < 2) {
        ShowError(MsgLastTeam);
        return;
    }
    if (row < 0)
        return;
    shooters_->SetTeam(nullptr);
    names_.DeleteTeam(row);
    teams_->Reload();
    SelectTeam(row);
}

void TFormNameListEditor::ButtonSaveListClick()
{
    const QString path = Prompts().SaveFileName(NameListRequest("Save Name List", saveFileName_));
    if (path.isEmpty())
        return;
    try {
        names_.SaveToFile(path);
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Name list %1: %2").arg(path, QString::fromUtf8(e.what())));
        ShowError("File save failed");
        return;
    }
    saveFileName_ = path;
    StoreNameListSetting(path);
}

void TFormNameListEditor::ButtonLoadListClick()
{
    const QString path = Prompts().OpenFileName(NameListRequest("Load Name List", QString()));
    if (path.isEmpty())
        return;
    // A file that failed is not offered for saving: it may be another kind of file.
    if (!LoadNameList(path)) {
        ShowError(MsgOpenFailed);
        return;
    }
    StoreNameListSetting(path);
}

void TFormNameListEditor::ButtonOkClick() { accept(); }

void TFormNameListEditor::ButtonCancelClick() { reject(); }

void TFormNameListEditor::StoreNameListSetting(const QString& path)
{
    SetOptionString(QString::fromLatin1(XmlNames::TeamNameListFile), path);
    try {
        SaveApplicationSettings();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Settings: %1").arg(QString::fromUtf8(e.what())));
        ShowError("File save failed");
    }
}
