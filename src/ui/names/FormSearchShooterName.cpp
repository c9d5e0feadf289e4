#include "FormSearchShooterName.h"

#include "FormKeys.h"
#include "NamedControl.h"
#include "NameList.h"
#include "NameListModels.h"
#include "TranslateUI.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

namespace {

bool IsEnter(const QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// A magnifying glass.
QPixmap SearchGlyph()
{
    QPixmap glyph(32, 32);
    glyph.fill(Qt::transparent);
    QPainter p(&glyph);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 3));
    p.drawEllipse(QPointF(13, 13), 9, 9);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20, 20), QPointF(28, 28));
    return glyph;
}

}  // namespace

TFormSearchShooterName::TFormSearchShooterName(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormSearchShooterName"));
    setWindowTitle(QStringLiteral("Search Shooter"));
    BuildControls();
    BuildLayout();
    ConnectHandlers();
    RegisterTranslateTable(TranslateOrderSearchShooterName, this,
                           {{QStringLiteral("Caption"), TTranslateKind::Caption},
                            {QStringLiteral("LabelSearch"), TTranslateKind::Caption}});
    RegisterHints(TranslateOrderSearchShooterName, this, {{"BitBtnOK", "OK"}, {"BitBtnClose", "Close"}});
    resize(320, 400);
}

TFormSearchShooterName::~TFormSearchShooterName() { UnregisterTranslateTables(this); }

void TFormSearchShooterName::BuildControls()
{
    LabelSearch = NamedControl<QLabel>(this, "LabelSearch");
    LabelSearch->setText(QStringLiteral("Search"));
    LabelTeamName = NamedControl<QLabel>(this, "LabelTeamName");
    LabelTeamName->setText(QStringLiteral("Team 123"));
    QFont bold = LabelTeamName->font();
    bold.setBold(true);
    LabelTeamName->setFont(bold);
    ImageSearch = NamedControl<QLabel>(this, "ImageSearch");
    ImageSearch->setPixmap(SearchGlyph());
    EditSearch = NamedControl<QLineEdit>(this, "EditSearch");
    ListBoxNames = NamedControl<QListWidget>(this, "ListBoxNames");
    ListBoxNames->setSelectionMode(QAbstractItemView::SingleSelection);
    BitBtnOK = NamedControl<QPushButton>(this, "BitBtnOK");
    BitBtnOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtnClose = NamedControl<QPushButton>(this, "BitBtnClose");
    BitBtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    // Enter is handled by the edit and the list themselves.
    for (QPushButton* button : {BitBtnOK, BitBtnClose})
        button->setAutoDefault(false);
}

void TFormSearchShooterName::BuildLayout()
{
    auto* search = new QHBoxLayout;
    search->addWidget(ImageSearch);
    search->addWidget(LabelSearch);
    search->addWidget(EditSearch, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtnOK);
    buttons->addWidget(BitBtnClose);

    auto* main = new QVBoxLayout(this);
    main->addWidget(LabelTeamName);
    main->addLayout(search);
    main->addWidget(ListBoxNames, 1);
    main->addLayout(buttons);
}

void TFormSearchShooterName::ConnectHandlers()
{
    connect(EditSearch, &QLineEdit::textChanged, this, &TFormSearchShooterName::EditSearchChange);
    connect(ListBoxNames, &QListWidget::itemDoubleClicked, this, &TFormSearchShooterName::ListBoxNamesDblClick);
    connect(BitBtnOK, &QPushButton::clicked, this, &TFormSearchShooterName::BitBtnOKClick);
    connect(BitBtnClose, &QPushButton::clicked, this, &QDialog::reject);
    EditSearch->installEventFilter(this);
    ListBoxNames->installEventFilter(this);
    InstallFormKeys(this, BitBtnOK, BitBtnClose);
}

void TFormSearchShooterName::SetTeam(const TTeam* team, const QString& teamText)
{
    hasTeam_ = team != nullptr;
    names_.clear();
    for (int i = 0; hasTeam_ && i < team->NameCount(); ++i)
        names_ << team->GetName(i)->Name;
    LabelTeamName->setText(teamText);
}

QString TFormSearchShooterName::SelectedName() const { return result() == QDialog::Accepted ? chosen_ : QString(); }

void TFormSearchShooterName::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    chosen_.clear();
    setResult(QDialog::Rejected);
    EditSearch->clear();
    EditSearchChange();
    if (hasTeam_)
        EditSearch->setFocus();
}

bool TFormSearchShooterName::eventFilter(QObject* watched, QEvent* event)
{
    if (!IsEnter(event))
        return QDialog::eventFilter(watched, event);
    if (watched == EditSearch)
        EditSearchKeyDown();
    else if (watched == ListBoxNames)
        ListBoxNamesKeyDown();
    else
        return QDialog::eventFilter(watched, event);
    return true;
}

void TFormSearchShooterName::EditSearchChange()
{
    ListBoxNames->clear();
    if (hasTeam_)
        ListBoxNames->addItems(NamesContaining(names_, EditSearch->text()));
}

void TFormSearchShooterName::EditSearchKeyDown()
{
    if (ListBoxNames->count() != 1)
        return;
    ListBoxNames->setCurrentRow(0);
    AcceptName(ListBoxNames->item(0)->text());
}

void TFormSearchShooterName::ListBoxNamesKeyDown()
{
    const QString name = ListedSelection();
    if (!name.isEmpty())
        AcceptName(name);
}

// Only a listed name ends the dialog: a double click beside the names picks
// nothing.
void TFormSearchShooterName::ListBoxNamesDblClick() { ListBoxNamesKeyDown(); }

void TFormSearchShooterName::BitBtnOKClick() { AcceptName(ListedSelection()); }

void TFormSearchShooterName::AcceptName(const QString& name)
{
    chosen_ = name;
    accept();
}

QString TFormSearchShooterName::ListedSelection() const
{
    const QList<QListWidgetItem*> selected = ListBoxNames->selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}
