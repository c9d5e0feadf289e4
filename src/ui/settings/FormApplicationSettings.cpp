#include "FormApplicationSettings.h"

#include "AppPaths.h"
#include "AppSettings.h"
#include "Application.h"
#include "FormKeys.h"
#include "FormSelectSetup.h"
#include "FormShooterPanel.h"
#include "FormStartMenu.h"
#include "Globals.h"
#include "Prompts.h"
#include "SentenceField.h"
#include "Shotdata.h"
#include "TranslateUI.h"
#include "Translation.h"
#include "UiGlobals.h"
#include "UiIcons.h"
#include "XmlNames.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <exception>

namespace N = XmlNames;

namespace {

constexpr int FormWidth = 520;
constexpr int OptionsLeft = 72;
constexpr int PanelTopWithGrading = 285;
constexpr int PanelTopWithoutGrading = 130;
constexpr int PanelHeight = 275;

constexpr int NetworkInstructor = 0;
constexpr int NetworkShooter = 1;
constexpr int NetworkDisabled = 2;

const char* const NetworkModes[3] = {N::ModeMonitor, N::ModeNode, N::ModeDisable};
const char* const Positions[3] = {N::PositionStanding, N::PositionKneeling, N::PositionProne};
const char* const Skills[3] = {N::SkillExpert, N::SkillMarksman, N::SkillUnqualified};

template <class T>
T* Named(T* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// The pictures beside the choices: a coloured tile with a short mark.
QPixmap Tile(const QString& mark, QColor colour, int size = 48)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(colour.darker(140));
    p.setBrush(colour);
    p.drawRoundedRect(QRectF(1, 1, size - 2, size - 2), 8, 8);
    QFont f = p.font();
    f.setBold(true);
    f.setPixelSize(size / 3);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(0, 0, size, size), Qt::AlignCenter, mark);
    return pixmap;
}

QLabel* Picture(QWidget* parent, const char* name, const QPixmap& pixmap, int x, int y)
{
    auto* label = Named(new QLabel(parent), name);
    label->setPixmap(pixmap);
    label->setGeometry(x, y, pixmap.width(), pixmap.height());
    return label;
}

// A titled group of radio buttons, numbered from 0 in the order given.
QGroupBox* RadioGroup(QWidget* parent, const char* name, const QString& title, const QStringList& items,
                      QButtonGroup*& buttons)
{
    auto* group = Named(new QGroupBox(title, parent), name);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(2);
    buttons = new QButtonGroup(group);
    for (int i = 0; i < items.size(); ++i) {
        auto* radio = new QRadioButton(items[i], group);
        radio->setObjectName(QStringLiteral("%1Item%2").arg(QString::fromLatin1(name)).arg(i));
        buttons->addButton(radio, i);
        layout->addWidget(radio);
    }
    return group;
}

void Select(QButtonGroup* buttons, int index)
{
    if (QAbstractButton* button = buttons->button(index))
        button->setChecked(true);
}

// The value's index in names (exact match), -1 when it is none of them.
int IndexOf(const char* const (&names)[3], const QString& value)
{
    for (int i = 0; i < 3; ++i)
        if (value == QLatin1String(names[i]))
            return i;
    return -1;
}

// The group element, added when missing (storing only).
MiniXMLParser::TXMLNode* Group(const char* name)
{
    MiniXMLParser::TXMLNode* root = SettingsRoot();
    if (!root)
        return nullptr;
    MiniXMLParser::TXMLNode* node = root->FindNode(QString::fromLatin1(name));
    return node ? node : root->AddNode(QString::fromLatin1(name));
}

// Reading adds nothing to the document.
QString Attribute(const char* group, const char* key)
{
    MiniXMLParser::TXMLNode* root = SettingsRoot();
    MiniXMLParser::TXMLNode* node = root ? root->FindNode(QString::fromLatin1(group)) : nullptr;
    return node ? node->GetAttributeValueDef(QString::fromLatin1(key), QString()) : QString();
}

void SetAttribute(const char* group, const char* key, const QString& value)
{
    if (MiniXMLParser::TXMLNode* node = Group(group))
        node->SetAttributeValue(QString::fromLatin1(key), value);
}

bool Option(const char* key) { return GetOptionBool(QString::fromLatin1(key)); }

void SetOption(const char* key, bool on)
{
    SetOptionString(QString::fromLatin1(key), on ? QStringLiteral("true") : QStringLiteral("false"));
}

// This PC's first IPv4 address by name resolution of the local host name;
// empty when the name does not resolve.
QString OwnIPv4Address()
{
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0)
        return {};
    addrinfo hints {};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found)
        return {};
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    const uint32_t ip = ntohl(address->sin_addr.s_addr);
    freeaddrinfo(found);
    return QString::asprintf("%d.%d.%d.%d", int(ip >> 24), int((ip >> 16) & 0xFF), int((ip >> 8) & 0xFF),
                             int(ip & 0xFF));
}

void Inform(const QString& text, const QString& caption)
{
    Prompts().MessageBox(text, caption, TMsgButtons::OK);
}

}  // namespace

TFormApplicationSettings::TFormApplicationSettings(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormApplicationSettings"));
    setWindowTitle(QStringLiteral("Application Settings"));
    setModal(true);
    BuildOptions();
    BuildQuickGrading();
    BuildMonitoringAndButtons();
    RegisterTranslation();
    LayoutQuickGradingOptions();
    InstallFormKeys(this, BitBtnOk, BitBtnHome);
}

TFormApplicationSettings::~TFormApplicationSettings() { UnregisterTranslateTables(this); }

// ---- Controls ------------------------------------------------------------------------

void TFormApplicationSettings::BuildOptions()
{
    ImageApplicationSettings = Picture(this, "ImageApplicationSettings", SettingsIcon(false, 48), 12, 12);
    ImageApplicationSettings->setToolTip(QStringLiteral("Double Click for Advanced Settings"));
    ImageApplicationSettings->installEventFilter(this);
    ImageAdvancedSettings = Picture(this, "ImageAdvancedSettings", SettingsIcon(true, 48), 12, 12);
    ImageAdvancedSettings->hide();

    // The options sit in a grid so that longer (translated) texts widen
    // their column, and the dialog with it, instead of being cut.
    PanelOptions = Named(new QWidget(this), "PanelOptions");
    auto* grid = new QGridLayout(PanelOptions);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setHorizontalSpacing(16);
    grid->setVerticalSpacing(2);
    LabelOptions = Named(new QLabel(QStringLiteral("Options"), PanelOptions), "LabelOptions");
    QFont bold = LabelOptions->font();
    bold.setBold(true);
    LabelOptions->setFont(bold);
    grid->addWidget(LabelOptions, 0, 0, 1, 2);

    const auto box = [this](const char* name, const QString& text) {
        return Named(new QCheckBox(text, PanelOptions), name);
    };
    CheckBoxClearShotsAfterDownload = box("CheckBoxClearShotsAfterDownload", "Clear device after download");
    CheckBoxStartAutomatically = box("CheckBoxStartAutomatically", "Start devices automatically");
    CheckBoxSimplityUI = box("CheckBoxSimplityUI", "Simplify user interface");
    CheckBoxQuickGrading = box("CheckBoxQuickGrading", "Quick Grading");
    int row = 1;
    for (QCheckBox* left :
         {CheckBoxClearShotsAfterDownload, CheckBoxStartAutomatically, CheckBoxSimplityUI, CheckBoxQuickGrading})
        grid->addWidget(left, row++, 0);
    CheckBoxDataoutMode = box("CheckBoxDataoutMode", "Send training data to network");
    grid->addWidget(CheckBoxDataoutMode, 1, 1);

    // "Series score after [10] shots": the spin box inside its sentence.
    CheckBoxLimitShots = box("CheckBoxLimitShots", QString());
    CSpinEditShots = Named(new QSpinBox(PanelOptions), "CSpinEditShots");
    CSpinEditShots->setRange(5, 100);
    CSpinEditShots->setSingleStep(5);
    CSpinEditShots->setValue(10);
    auto* limitEnd = Named(new QLabel(PanelOptions), "CheckBoxLimitShotsEnd");
    SetSentence(CheckBoxLimitShots, limitEnd, QStringLiteral("Series score after    ...     shots"));
    auto* limit = new QHBoxLayout;
    limit->setSpacing(4);
    limit->addWidget(CheckBoxLimitShots);
    limit->addWidget(CSpinEditShots);
    limit->addWidget(limitEnd);
    limit->addStretch();
    grid->addLayout(limit, 2, 1);

    CheckBoxAlwaysShowSaveDialog = box("CheckBoxAlwaysShowSaveDialog", "Show file name dialog on save");
    grid->addWidget(CheckBoxAlwaysShowSaveDialog, 3, 1);
    CheckBoxAlwaysShowSaveDialog->hide();
    grid->setRowStretch(row, 1);
    grid->setColumnStretch(2, 1);

    connect(CheckBoxDataoutMode, &QCheckBox::clicked, this, &TFormApplicationSettings::CheckBoxDataoutModeClick);
    connect(CheckBoxQuickGrading, &QCheckBox::clicked, this, &TFormApplicationSettings::CheckBoxQuickGradingClick);
}

void TFormApplicationSettings::BuildQuickGrading()
{
    PanelQuickGrading = Named(new QWidget(this), "PanelQuickGrading");
    PanelQuickGrading->setGeometry(0, PanelTopWithoutGrading, FormWidth, PanelTopWithGrading - PanelTopWithoutGrading);
    RadioGroupPosition = RadioGroup(PanelQuickGrading, "RadioGroupPosition", QStringLiteral("Position"),
                                    {QStringLiteral("Standing"), QStringLiteral("Kneeling"), QStringLiteral("Prone")},
                                    positionButtons_);
    RadioGroupPosition->setGeometry(12, 8, 140, 96);
    RadioGroupSkill = RadioGroup(PanelQuickGrading, "RadioGroupSkill", QStringLiteral("Skill Level"),
                                 {QStringLiteral("Expert"), QStringLiteral("Marksman"), QStringLiteral("Unqualified")},
                                 skillButtons_);
    RadioGroupSkill->setGeometry(260, 8, 140, 96);

    const QColor position(70, 110, 170);
    ImagePositionStanding = Picture(PanelQuickGrading, "ImagePositionStanding", Tile("ST", position), 164, 32);
    ImagePositionKneeling = Picture(PanelQuickGrading, "ImagePositionKneeling", Tile("KN", position), 164, 32);
    ImagePositionProne = Picture(PanelQuickGrading, "ImagePositionProne", Tile("PR", position), 164, 32);
    ImageSkillLevelExpert = Picture(PanelQuickGrading, "ImageSkillLevelExpert", Tile("EX", QColor(190, 150, 30)), 412, 32);
    ImageSkillLevelMarksman =
        Picture(PanelQuickGrading, "ImageSkillLevelMarksman", Tile("MK", QColor(140, 140, 150)), 412, 32);
    ImageSkillLevelUnqualified =
        Picture(PanelQuickGrading, "ImageSkillLevelUnqualified", Tile("UQ", QColor(150, 100, 70)), 412, 32);

    connect(positionButtons_, &QButtonGroup::idClicked, this, &TFormApplicationSettings::RadioGroupPositionClick);
    connect(skillButtons_, &QButtonGroup::idClicked, this, &TFormApplicationSettings::RadioGroupSkillClick);
}

void TFormApplicationSettings::BuildMonitoringAndButtons()
{
    PanelMonitoringAndButtons = Named(new QWidget(this), "PanelMonitoringAndButtons");
    QWidget* panel = PanelMonitoringAndButtons;
    RadioGroupNetwork = RadioGroup(panel, "RadioGroupNetwork", QStringLiteral("Monitoring"),
                                   {QStringLiteral("Instructor"), QStringLiteral("Shooter"), QStringLiteral("Disabled")},
                                   networkButtons_);
    RadioGroupNetwork->setGeometry(12, 8, 140, 96);
    ImageInstructor = Picture(panel, "ImageInstructor", Tile("INS", QColor(40, 140, 90)), 164, 32);
    ImageShooter = Picture(panel, "ImageShooter", Tile("SH", QColor(40, 120, 170)), 164, 32);
    ImageMonitorIP = Picture(panel, "ImageMonitorIP", Tile("IP", QColor(120, 80, 160)), 220, 32);

    LabelNetworkMonitorIP = Named(new QLabel(QStringLiteral("Monitor IP Address"), panel), "LabelNetworkMonitorIP");
    LabelNetworkMonitorIP->setGeometry(300, 12, 200, 18);
    EditMonitorIP = Named(new QLineEdit(panel), "EditMonitorIP");
    EditMonitorIP->setGeometry(300, 32, 180, 24);
    LabelMonitorPort = Named(new QLabel(QStringLiteral("Monitor IP Port"), panel), "LabelMonitorPort");
    LabelMonitorPort->setGeometry(300, 62, 200, 18);
    EditMonitorPort = Named(new QLineEdit(panel), "EditMonitorPort");
    EditMonitorPort->setGeometry(300, 82, 80, 24);

    const auto button = [panel](const char* name, const QString& text, int x, int y, int width) {
        auto* b = Named(new QPushButton(text, panel), name);
        b->setGeometry(x, y, width, 32);
        return b;
    };
    ButtonDefaultSetup = button("ButtonDefaultSetup", QStringLiteral("Defaults"), 12, 124, 120);
    ButtonLanguage = button("ButtonLanguage", QStringLiteral("Language"), 144, 124, 120);
    ButtonOK = button("ButtonOK", QStringLiteral("OK"), 12, 170, 80);
    ButtonCancel = button("ButtonCancel", QStringLiteral("Cancel"), 100, 170, 80);
    ButtonOK->hide();
    ButtonCancel->hide();
    BitBtnOk = button("BitBtnOk", QString(), FormWidth - 124, PanelHeight - 56, 52);
    BitBtnOk->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
    BitBtnOk->setIconSize(QSize(24, 24));
    BitBtnHome = button("BitBtnHome", QString(), FormWidth - 64, PanelHeight - 56, 52);
    BitBtnHome->setIcon(QIcon(HomeIcon(24)));
    BitBtnHome->setIconSize(QSize(24, 24));

    connect(networkButtons_, &QButtonGroup::idClicked, this, &TFormApplicationSettings::RadioGroupNetworkClick);
    connect(EditMonitorIP, &QLineEdit::textChanged, this, &TFormApplicationSettings::EditMonitorIPChange);
    connect(ButtonDefaultSetup, &QPushButton::clicked, this, &TFormApplicationSettings::ButtonDefaultSetupClick);
    connect(ButtonLanguage, &QPushButton::clicked, this, &TFormApplicationSettings::ButtonLanguageClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormApplicationSettings::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &TFormApplicationSettings::ButtonCancelClick);
    connect(BitBtnOk, &QPushButton::clicked, this, &TFormApplicationSettings::BitBtnOkClick);
    connect(BitBtnHome, &QPushButton::clicked, this, &TFormApplicationSettings::BitBtnHomeClick);
}

void TFormApplicationSettings::RegisterTranslation()
{
    using K = TTranslateKind;
    std::vector<TTranslateEntry> entries {{QStringLiteral("Caption"), K::Caption}};
    // The name-list editor has its own Load and Save buttons; this form has none.
    for (const char* name :
         {"ButtonOK", "ButtonCancel", "ButtonDefaultSetup", "LabelNetworkMonitorIP", "LabelMonitorPort",
          "LabelOptions", "CheckBoxStartAutomatically", "CheckBoxAlwaysShowSaveDialog",
          "CheckBoxClearShotsAfterDownload", "CheckBoxSimplityUI", "CheckBoxDataoutMode", "CheckBoxLimitShots",
          "CheckBoxQuickGrading", "ButtonLanguage"})
        entries.push_back({QString::fromLatin1(name), K::Caption});
    // The groups' titles as well as their items.
    for (const char* name : {"RadioGroupNetwork", "RadioGroupPosition", "RadioGroupSkill"}) {
        entries.push_back({QString::fromLatin1(name), K::Caption});
        entries.push_back({QString::fromLatin1(name), K::Items});
    }
    entries.push_back({QStringLiteral("ImageApplicationSettings"), K::Hint});
    RegisterTranslateTable(TranslateOrderApplicationSettings, this, std::move(entries));
    RegisterHints(TranslateOrderApplicationSettings, this, {{"BitBtnOk", "OK"}, {"BitBtnHome", "Cancel"}});
}

void TFormApplicationSettings::showEvent(QShowEvent* event)
{
    FormShow();
    QDialog::showEvent(event);
}

bool TFormApplicationSettings::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ImageApplicationSettings
        && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
        ImageApplicationSettingsClick();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

// ---- Loading and storing -------------------------------------------------------------

void TFormApplicationSettings::FormShow()
{
    const bool advanced = IsAdvancedMode();
    ImageAdvancedSettings->setVisible(advanced);
    ImageApplicationSettings->setVisible(!advanced);
    CheckBoxDataoutMode->setVisible(advanced);

    loading_ = true;
    const int mode = IndexOf(NetworkModes, Attribute(N::Network, N::Mode));
    if (mode >= 0)
        Select(networkButtons_, mode);
    monitorIP_ = Attribute(N::Network, N::MonitorIP);
    EditMonitorIP->setText(monitorIP_);
    const QString port = Attribute(N::Network, N::MonitorPort);
    EditMonitorPort->setText(port.isEmpty() ? QStringLiteral("14351") : port);

    CheckBoxClearShotsAfterDownload->setChecked(Option(N::ClearShotsAfterDownload));
    CheckBoxAlwaysShowSaveDialog->setChecked(Option(N::AlwaysShowSaveDialogs));
    CheckBoxStartAutomatically->setChecked(Option(N::StartAutomatically));
    CheckBoxQuickGrading->setChecked(Option(N::QuickGrading));
    CheckBoxSimplityUI->setChecked(Option(N::SimplifyUI));
    CheckBoxDataoutMode->setChecked(Option(N::DataoutMode));
    bool number = false;
    int shots = GetOptionString(QString::fromLatin1(N::LimitShotsDrawn)).trimmed().toInt(&number);
    if (!number)
        shots = 0;
    CheckBoxLimitShots->setChecked(shots != 0);
    CSpinEditShots->setValue(shots != 0 ? shots : 10);
    defaultSetupFile_ = GetOptionString(QString::fromLatin1(N::DefaultSetupFile));

    if (advanced) {
        const QString position = Attribute(N::QuickGrading, N::Position);
        const int index = position.isEmpty() ? 2 : IndexOf(Positions, position);
        if (index >= 0)
            Select(positionButtons_, index);
    } else {
        Select(positionButtons_, 0);
    }
    RadioGroupPosition->setVisible(advanced);
    const QString skill = Attribute(N::QuickGrading, N::SkillLevel);
    const int skillIndex = skill.isEmpty() ? 2 : IndexOf(Skills, skill);
    if (skillIndex >= 0)
        Select(skillButtons_, skillIndex);
    loading_ = false;

    RadioGroupPositionClick();
    RadioGroupSkillClick();
    RadioGroupNetworkClick();
    LayoutQuickGradingOptions();
}

void TFormApplicationSettings::StoreSettings()
{
    if (!SettingsRoot())
        return;
    const int mode = networkButtons_->checkedId();
    if (mode >= 0)
        SetAttribute(N::Network, N::Mode, QString::fromLatin1(NetworkModes[mode]));
    SetAttribute(N::Network, N::MonitorIP, monitorIP_);
    SetAttribute(N::Network, N::MonitorPort, EditMonitorPort->text().trimmed());

    SetOption(N::ClearShotsAfterDownload, CheckBoxClearShotsAfterDownload->isChecked());
    SetOption(N::AlwaysShowSaveDialogs, CheckBoxAlwaysShowSaveDialog->isChecked());
    SetOption(N::StartAutomatically, CheckBoxStartAutomatically->isChecked());
    SetOption(N::QuickGrading, CheckBoxQuickGrading->isChecked());
    SetOption(N::SimplifyUI, CheckBoxSimplityUI->isChecked());
    SetOption(N::DataoutMode, CheckBoxDataoutMode->isChecked());
    const long shots = CheckBoxLimitShots->isChecked() ? CSpinEditShots->value() : 0;
    SetOptionString(QString::fromLatin1(N::LimitShotsDrawn), QString::asprintf("%ld", shots));
    SetOptionString(QString::fromLatin1(N::DefaultSetupFile), defaultSetupFile_);

    const int position = positionButtons_->checkedId();
    if (position >= 0)
        SetAttribute(N::QuickGrading, N::Position, QString::fromLatin1(Positions[position]));
    const int skill = skillButtons_->checkedId();
    if (skill >= 0)
        SetAttribute(N::QuickGrading, N::SkillLevel, QString::fromLatin1(Skills[skill]));

    try {
        SaveApplicationSettings();
    } catch (const std::exception& e) {
        DebugLog(QStringLiteral("Settings: %1").arg(QString::fromUtf8(e.what())));
        Prompts().MessageBox(Translate(QStringLiteral("File save failed")), Translate(QStringLiteral("Error")),
                             TMsgButtons::OK);
    }
}

// ---- Network -------------------------------------------------------------------------

void TFormApplicationSettings::RadioGroupNetworkClick()
{
    ImageInstructor->hide();
    ImageShooter->hide();
    ImageMonitorIP->hide();
    switch (networkButtons_->checkedId()) {
    case NetworkInstructor:
        EditMonitorIP->setText(OwnIPv4Address());
        ImageInstructor->show();
        break;
    case NetworkShooter:
        EditMonitorIP->setText(monitorIP_);
        ImageShooter->show();
        ImageMonitorIP->show();
        break;
    default:
        EditMonitorIP->setText(monitorIP_);
        break;
    }
    UpdateNetworkControls();
}

void TFormApplicationSettings::UpdateNetworkControls()
{
    const int mode = networkButtons_->checkedId();
    const bool shown = mode != NetworkDisabled;
    for (QWidget* control :
         std::initializer_list<QWidget*> {LabelNetworkMonitorIP, EditMonitorIP, LabelMonitorPort, EditMonitorPort})
        control->setVisible(shown);
    EditMonitorIP->setEnabled(mode == NetworkShooter);
}

// The own address shown for "Instructor" is never taken as the monitor's.
void TFormApplicationSettings::EditMonitorIPChange()
{
    if (networkButtons_->checkedId() == NetworkShooter)
        monitorIP_ = EditMonitorIP->text();
}

void TFormApplicationSettings::CheckBoxDataoutModeClick()
{
    if (CheckBoxDataoutMode->isChecked()) {
        Select(networkButtons_, NetworkShooter);
        RadioGroupNetworkClick();
        RadioGroupNetwork->setEnabled(false);
    } else {
        Select(networkButtons_, NetworkDisabled);
        RadioGroupNetworkClick();
        RadioGroupNetwork->setEnabled(true);
        ImageMonitorIP->hide();
    }
}

bool TFormApplicationSettings::MonitorPortValid()
{
    bool number = false;
    const int port = EditMonitorPort->text().trimmed().toInt(&number);
    if (number && port >= 1 && port <= 65535)
        return true;
    Prompts().MessageBox(Translate(QStringLiteral("The monitor port must be a number from 1 to 65535")),
                         Translate(QStringLiteral("Error")), TMsgButtons::OK);
    EditMonitorPort->setFocus();
    EditMonitorPort->selectAll();
    return false;
}

// ---- Quick grading -------------------------------------------------------------------

void TFormApplicationSettings::CheckBoxQuickGradingClick() { LayoutQuickGradingOptions(); }

void TFormApplicationSettings::RadioGroupPositionClick()
{
    // Outside advanced mode the position is not offered: no picture either.
    const int selected = RadioGroupPosition->isHidden() ? -1 : positionButtons_->checkedId();
    ImagePositionStanding->setVisible(selected == 0);
    ImagePositionKneeling->setVisible(selected == 1);
    ImagePositionProne->setVisible(selected == 2);
}

void TFormApplicationSettings::RadioGroupSkillClick()
{
    const int selected = skillButtons_->checkedId();
    ImageSkillLevelExpert->setVisible(selected == 0);
    ImageSkillLevelMarksman->setVisible(selected == 1);
    ImageSkillLevelUnqualified->setVisible(selected == 2);
}

void TFormApplicationSettings::LayoutQuickGradingOptions()
{
    const bool grading = CheckBoxQuickGrading->isChecked();
    // Wider than designed only when the options' texts need it.
    // Activating drops the cached sizes of the nested rows as well (the
    // series sentence after a language change).
    PanelOptions->layout()->invalidate();
    PanelOptions->layout()->activate();
    const int width = std::max(FormWidth, OptionsLeft + PanelOptions->sizeHint().width() + 8);
    setFixedSize(width, grading ? HeightWithGrading : HeightWithoutGrading);
    PanelOptions->setGeometry(OptionsLeft, 6, width - OptionsLeft - 8, PanelTopWithoutGrading - 8);
    PanelQuickGrading->setVisible(grading);
    PanelQuickGrading->resize(width, PanelQuickGrading->height());
    PanelMonitoringAndButtons->setGeometry(0, grading ? PanelTopWithGrading : PanelTopWithoutGrading, width,
                                           PanelHeight);
    BitBtnOk->move(width - 124, BitBtnOk->y());
    BitBtnHome->move(width - 64, BitBtnHome->y());
}

// ---- Advanced mode -------------------------------------------------------------------

void TFormApplicationSettings::ImageApplicationSettingsClick()
{
    ImageApplicationSettings->hide();
    ImageAdvancedSettings->show();
    SetAdvancedModeOn(true);
    if (FormStartMenu)
        FormStartMenu->ShowAdvancedSettingsIcon();
    Prompts().Beep();
    FormShow();
    CheckBoxQuickGrading->setChecked(true);
    LayoutQuickGradingOptions();
}

// ---- Buttons -------------------------------------------------------------------------

void TFormApplicationSettings::ButtonOKClick()
{
    if (!MonitorPortValid())
        return;
    StoreSettings();
    accept();
}

void TFormApplicationSettings::ButtonCancelClick()
{
    FormShow();
    reject();
}

void TFormApplicationSettings::BitBtnOkClick() { ButtonOK->click(); }

void TFormApplicationSettings::BitBtnHomeClick() { ButtonCancel->click(); }

void TFormApplicationSettings::ButtonDefaultSetupClick()
{
    const QFileInfo kept(defaultSetupFile_);
    TFileRequest request;
    request.caption = Translate(QStringLiteral("Defaults"));
    request.folder = kept.path();
    request.fileName = kept.fileName();
    request.filters = QStringList {QStringLiteral("XML setup file (*.setup.xml)")};
    request.defaultSuffix = QStringLiteral("setup.xml");
    QPointer<TFormApplicationSettings> self(this);
    const QString chosen = Prompts().OpenFileName(request);
    if (!self || chosen.isEmpty())
        return;
    // A list that does not load is reported by the setup selection; the old
    // default then stays.
    if (FormSelectSetup && !FormSelectSetup->ReloadSetupList(chosen))
        return;
    if (!self)
        return;
    defaultSetupFile_ = chosen;
    SetDefaultSetupPath(chosen);
    Inform(Translate(QStringLiteral("Default setup file set")), Translate(QStringLiteral("Information")));
}

void TFormApplicationSettings::ButtonLanguageClick()
{
    TFileRequest request;
    request.caption = Translate(QStringLiteral("Language"));
    request.folder = LanguagesFolder();
    request.filters = QStringList {QStringLiteral("TRAXEL Language File (*.lang.txt)")};
    QPointer<TFormApplicationSettings> self(this);
    const QString chosen = Prompts().OpenFileName(request);
    if (!self || chosen.isEmpty())
        return;
    switch (InstallLanguageFile(chosen)) {
    case TLanguageChange::CopyFailed:
        Inform(QStringLiteral("Error copying language file!"), QStringLiteral("Error"));
        break;
    case TLanguageChange::Applied:
        TranslateUI();
        // The options' new texts may need a wider dialog.
        LayoutQuickGradingOptions();
        break;
    case TLanguageChange::RestartNeeded:
        AfterLanguageRestartNeeded();
        break;
    }
}

// The program ends, but an unsaved session is offered for saving first; when
// the operator keeps it open the program goes on in the old language.
void TFormApplicationSettings::AfterLanguageRestartNeeded()
{
    Inform(QStringLiteral("Selected language file is in use after restart. Application will shut down now."),
           QStringLiteral("Information"));
    QPointer<TFormApplicationSettings> self(this);
    if (SessionUnsaved.load() && FormShooterPanel && !FormShooterPanel->CloseSession())
        return;
    if (self)
        reject();
    TerminateApplication();
}
