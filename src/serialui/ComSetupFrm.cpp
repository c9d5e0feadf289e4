#include "ComSetupFrm.h"

#include "Globals.h"
#include "Prompts.h"
#include "Translation.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QVBoxLayout>

namespace {

struct TSelectorRow {
    TComProperty property;
    const char* name;
    const char* label;
};

constexpr TSelectorRow Rows[] = {
    {cpPort, "ComboBoxPort", "Port"},
    {cpBaudRate, "ComboBoxBaudRate", "Baud rate"},
    {cpDataBits, "ComboBoxDataBits", "Data bits"},
    {cpStopBits, "ComboBoxStopBits", "Stop bits"},
    {cpParity, "ComboBoxParity", "Parity"},
    {cpFlowControl, "ComboBoxFlowControl", "Flow control"},
};

QPushButton* MakeButton(QWidget* parent, const char* name, const char* text)
{
    auto* button = new QPushButton(Translate(QString::fromLatin1(text)), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

} // namespace

TComSetupFrm::TComSetupFrm(QWidget* parent, TComSelect::TPortLister lister) : QDialog(parent)
{
    setObjectName(QStringLiteral("ComSetupFrm"));
    setWindowTitle(Translate(QStringLiteral("Port setup")));
    auto* form = new QFormLayout;
    for (std::size_t i = 0; i < std::size(Rows); ++i) {
        auto* selector = new TComComboBox(this);
        selector->setObjectName(QString::fromLatin1(Rows[i].name));
        if (Rows[i].property == cpPort) {
            // Any device path can be typed, not only the ports listed.
            selector->SetEditable(true);
            if (lister)
                selector->Select().SetPortLister(lister);
        }
        selector->SetComProperty(Rows[i].property);
        selector->setMinimumWidth(140);
        auto* label = new QLabel(Translate(QString::fromLatin1(Rows[i].label)), this);
        // "ComboBoxPort" -> "LabelPort"
        label->setObjectName(QStringLiteral("Label") + QString::fromLatin1(Rows[i].name + 8));
        form->addRow(label, selector);
        FSelectors[i] = selector;
    }
    QPushButton* ok = MakeButton(this, "ButtonOK", "OK");
    QPushButton* cancel = MakeButton(this, "ButtonCancel", "Cancel");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
}

TComComboBox* TComSetupFrm::Selector(TComProperty property) const
{
    for (std::size_t i = 0; i < std::size(Rows); ++i) {
        if (Rows[i].property == property)
            return FSelectors[i];
    }
    return nullptr;
}

void TComSetupFrm::LoadFrom(TCustomComPort& port)
{
    for (TComComboBox* selector : FSelectors) {
        selector->SetComPort(&port);
        selector->UpdateSettings();
    }
}

QString TComSetupFrm::ApplySettings(TCustomComPort& port)
{
    QStringList errors;
    auto guarded = [&](auto&& step) {
        try {
            step();
        } catch (const std::exception& e) {
            errors << QString::fromUtf8(e.what());
        } catch (...) {
            errors << Translate(QStringLiteral("Applying the port settings failed"));
        }
    };
    port.BeginUpdate();
    // The port name first: reopening under a new name must not undo the rest.
    for (TComComboBox* selector : FSelectors)
        guarded([&] { selector->ApplySettings(); });
    guarded([&] { port.EndUpdate(); });
    return errors.join(QLatin1Char('\n'));
}

bool EditComPort(TCustomComPort& port, QWidget* parent)
{
    TComSetupFrm form(parent);
    form.LoadFrom(port);
    if (form.exec() != QDialog::Accepted)
        return false;
    const QString errors = form.ApplySettings(port);
    if (errors.isEmpty())
        return true;
    DebugLog(QStringLiteral("Port setup: %1").arg(errors));
    Prompts().MessageBox(errors, Translate(QStringLiteral("Error")), TMsgButtons::OK);
    return false;
}

void InstallComSetupDialog()
{
    SetComSetupDialog([](TCustomComPort& port) { return EditComPort(port); });
}
