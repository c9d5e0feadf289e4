#include "FormPrintSetup.h"

#include "FormKeys.h"
#include "Globals.h"
#include "NamedControl.h"
#include "Prompts.h"
#include "Translation.h"
#include "TranslateUI.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

namespace {

constexpr double MetresPerYard = 0.9144;
constexpr int DefaultTrainingDistance = 10;
constexpr int ShortestDistance = 5;
constexpr int LongestDistance = 75;

// Distance fields are in 0.1 m, or 0.1 yd with the yards bit.
double DistanceM(int field, bool yards) { return field * (yards ? MetresPerYard * 0.1 : 0.1); }

} // namespace

TFormPrintSetup::TFormPrintSetup(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FormPrintSetup"));
    setWindowTitle(QStringLiteral("Print Setup"));
    printManager_.Target = &target_;
    BuildControls();
    BuildLayout();
    ConnectHandlers();
    InstallFormKeys(this, ButtonPrint, ButtonCancel);
    RegisterTranslateTable(TranslateOrderPrintSetup, this,
                           {{QStringLiteral("Caption"), TTranslateKind::Caption},
                            {QStringLiteral("ButtonPrint"), TTranslateKind::Caption},
                            {QStringLiteral("ButtonSetupPrinter"), TTranslateKind::Caption},
                            {QStringLiteral("ButtonCancel"), TTranslateKind::Caption},
                            {QStringLiteral("LabelTrainingDistance"), TTranslateKind::Caption}});
    RegisterHints(TranslateOrderPrintSetup, this,
                  {{"BitBtnUp10", "Increase distance"}, {"BitBtnDown10", "Decrease distance"}});
}

TFormPrintSetup::~TFormPrintSetup() { UnregisterTranslateTables(this); }

void TFormPrintSetup::BuildControls()
{
    LabelTrainingDistance = NamedControl<QLabel>(this, "LabelTrainingDistance");
    LabelTrainingDistance->setText(QStringLiteral("Training Distance"));
    EditScaledDistance = NamedControl<QLineEdit>(this, "EditScaledDistance");
    EditScaledDistance->setText(QString::number(DefaultTrainingDistance));
    EditScaledDistance->setAlignment(Qt::AlignRight);
    EditScaledDistance->setMaximumWidth(70);
    BitBtnUp10 = NamedControl<QPushButton>(this, "BitBtnUp10");
    BitBtnUp10->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    BitBtnDown10 = NamedControl<QPushButton>(this, "BitBtnDown10");
    BitBtnDown10->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    LabelUnits = NamedControl<QLabel>(this, "LabelUnits");
    LabelUnits->setText(QStringLiteral("m"));
    ButtonPrint = NamedControl<QPushButton>(this, "ButtonPrint");
    ButtonPrint->setText(QStringLiteral("Print"));
    ButtonPrint->setDefault(true);
    ButtonSetupPrinter = NamedControl<QPushButton>(this, "ButtonSetupPrinter");
    ButtonSetupPrinter->setText(QStringLiteral("Printer Setup"));
    ButtonCancel = NamedControl<QPushButton>(this, "ButtonCancel");
    ButtonCancel->setText(QStringLiteral("Cancel"));
}

void TFormPrintSetup::BuildLayout()
{
    auto* distance = new QHBoxLayout;
    distance->addWidget(LabelTrainingDistance);
    distance->addStretch(1);
    distance->addWidget(EditScaledDistance);
    auto* arrows = new QVBoxLayout;
    arrows->setSpacing(0);
    arrows->addWidget(BitBtnUp10);
    arrows->addWidget(BitBtnDown10);
    distance->addLayout(arrows);
    distance->addWidget(LabelUnits);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(ButtonSetupPrinter);
    buttons->addStretch(1);
    buttons->addWidget(ButtonPrint);
    buttons->addWidget(ButtonCancel);

    auto* page = new QVBoxLayout(this);
    page->addLayout(distance);
    page->addStretch(1);
    page->addLayout(buttons);
    resize(360, 130);
}

void TFormPrintSetup::ConnectHandlers()
{
    // Every handler stops its own failures: nothing escapes a slot.
    const auto on = [this](QPushButton* button, void (TFormPrintSetup::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] {
            try {
                (this->*handler)();
            } catch (const std::exception& e) {
                DebugLog(QStringLiteral("Print setup: %1").arg(QString::fromUtf8(e.what())));
            }
        });
    };
    on(BitBtnUp10, &TFormPrintSetup::BitBtnUp10Click);
    on(BitBtnDown10, &TFormPrintSetup::BitBtnDown10Click);
    on(ButtonSetupPrinter, &TFormPrintSetup::ButtonSetupPrinterClick);
    on(ButtonPrint, &TFormPrintSetup::ButtonPrintClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
}

// ---- Opening ---------------------------------------------------------------------------

bool TFormPrintSetup::Execute(const TargetDescription& target)
{
    SetTarget(target);
    return exec() == QDialog::Accepted;
}

void TFormPrintSetup::SetTarget(const TargetDescription& target) { target_ = target; }

void TFormPrintSetup::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow();
}

bool TFormPrintSetup::Yards() const
{
    return (target_.hasRing && target_.ringRecord.DistanceInYards())
        || (target_.hasSilhouette && target_.silhouetteRecord.DistanceInYards());
}

void TFormPrintSetup::FormShow()
{
    const bool yards = Yards();
    LabelUnits->setText(yards ? QStringLiteral("yd") : QStringLiteral("m"));
    // Only a ring target prints: a setup with a silhouette shows its
    // distance and cannot be printed.
    const bool silhouette = target_.hasSilhouette;
    if (silhouette) {
        const double nominal = target_.hasRing
            ? DistanceM(target_.ringRecord.NominalDistance(), target_.ringRecord.DistanceInYards())
            : DistanceM(target_.silhouetteRecord.NominalDistance(), target_.silhouetteRecord.DistanceInYards());
        EditScaledDistance->setText(QString::number(SaturatingCast<int>(nominal / (yards ? MetresPerYard : 1.0) + 0.5)));
    } else {
        EditScaledDistance->setText(QString::number(DefaultTrainingDistance));
    }
    for (QWidget* control : {static_cast<QWidget*>(EditScaledDistance), static_cast<QWidget*>(BitBtnDown10),
                             static_cast<QWidget*>(BitBtnUp10), static_cast<QWidget*>(ButtonPrint)})
        control->setEnabled(!silhouette);
}

// ---- Distance arrows ---------------------------------------------------------------------

int TFormPrintSetup::EnteredDistance() const
{
    // A text that is no whole number counts as 0.
    bool ok = false;
    const int value = EditScaledDistance->text().trimmed().toInt(&ok);
    return ok ? value : 0;
}

void TFormPrintSetup::BitBtnDown10Click()
{
    EditScaledDistance->setText(QString::number(std::max(EnteredDistance() - 1, ShortestDistance)));
}

void TFormPrintSetup::BitBtnUp10Click()
{
    EditScaledDistance->setText(QString::number(std::min(EnteredDistance() + 1, LongestDistance)));
}

// ---- Printing ----------------------------------------------------------------------------

IPrintDevice& TFormPrintSetup::PrinterDevice()
{
    if (!printerDevice_)
        printerDevice_ = std::make_unique<TPrinterDevice>(ThePrinter());
    printManager_.Printer = printerDevice_.get();
    return *printerDevice_;
}

void TFormPrintSetup::ButtonSetupPrinterClick()
{
    PrinterDevice();
    // The printer is shared with the shooter printouts, which print
    // portrait: this print starts from the orientation chosen for it.
    QPrinter& printer = ThePrinter();
    printer.setPageOrientation(orientation_);
    if (printManager_.ExecutePrintDialog())
        orientation_ = printer.pageLayout().orientation();
}

void TFormPrintSetup::ButtonPrintClick()
{
    if (target_.hasSilhouette)
        return;
    const bool yards = Yards();
    const double unit = yards ? MetresPerYard : 1.0;
    // Only a whole distance ahead of the shooter scales the target; anything
    // else is refused with what is wanted instead.
    bool whole = false;
    const int entered = EditScaledDistance->text().trimmed().toInt(&whole);
    if (!whole || entered < 1) {
        Prompts().MessageBox(Translate(yards ? QStringLiteral("Enter the training distance in whole yards, 1 or more")
                                             : QStringLiteral("Enter the training distance in whole metres, 1 or more")),
                             Translate(QStringLiteral("Error")), TMsgButtons::OK);
        EditScaledDistance->setFocus();
        EditScaledDistance->selectAll();
        return;
    }
    const double training = entered * unit;
    const double nominal = target_.hasRing
        ? DistanceM(target_.ringRecord.NominalDistance(), target_.ringRecord.DistanceInYards())
        : 0.0;
    // Without a nominal distance there is no scale; the print refuses it.
    const double scale = nominal > 0.0 ? training / nominal : 0.0;
    printManager_.ScaleCaption = QString::asprintf("%d (%d) ", entered, SaturatingCast<int>(nominal / unit + 0.5))
                               + (yards ? QStringLiteral("yd") : QStringLiteral("m"));
    lastScale_ = scale;
    PrinterDevice();
    ThePrinter().setPageOrientation(orientation_);
    if (printManager_.PrintTargetTrueSize(scale))
        accept();
}
