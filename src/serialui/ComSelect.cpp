#include "ComSelect.h"

#include "Globals.h"

#include <QButtonGroup>
#include <QCompleter>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

template <class E>
std::vector<std::string> Texts(E last, std::string (*toText)(E))
{
    std::vector<std::string> texts;
    for (int value = 0; value <= int(last); ++value)
        texts.push_back(toText(E(value)));
    return texts;
}

void LogError(const char* who, const char* what)
{
    DebugLog(QStringLiteral("%1: %2").arg(QString::fromLatin1(who), QString::fromUtf8(what)));
}

} // namespace

// ---- Selection ---------------------------------------------------------------------------

TComSelect::TComSelect()
    : FPortLister([] {
          std::vector<std::string> ports;
          EnumComPorts(ports);
          return ports;
      })
{
}

TComSelect::~TComSelect() { SetComPort(nullptr); }

void TComSelect::SetComPort(TCustomComPort* port)
{
    if (port == FComPort)
        return;
    if (FComPort && FLink) {
        try {
            FComPort->UnRegisterLink(FLink.get());
        } catch (...) {
            // Not registered any more: nothing to undo.
        }
    }
    FLink.reset();
    FComPort = nullptr;
    if (!port)
        return;
    auto link = std::make_unique<TComLink>();
    // The port has dropped the link; the link itself runs this call, so it
    // stays until the next SetComPort.
    link->OnRemove = [this](TCustomComPort&) { FComPort = nullptr; };
    port->RegisterLink(link.get());
    FLink = std::move(link);
    FComPort = port;
}

void TComSelect::SetComProperty(TComProperty property)
{
    FComProperty = property;
    FItems.clear();
    switch (property) {
    case cpNone: break;
    case cpPort: FItems = FPortLister(); break;
    case cpBaudRate: FItems = Texts(br256000, &BaudRateToStr); break;
    case cpDataBits: FItems = Texts(dbEight, &DataBitsToStr); break;
    case cpStopBits: FItems = Texts(sbTwoStopBits, &StopBitsToStr); break;
    case cpParity: FItems = Texts(prSpace, &ParityToStr); break;
    case cpFlowControl: FItems = Texts(fcCustom, &FlowControlToStr); break;
    }
}

int TComSelect::IndexOf(const std::string& text) const
{
    const bool exact = FComProperty == cpPort;
    const std::string wanted = exact ? text : ComUpperCase(text);
    for (std::size_t i = 0; i < FItems.size(); ++i) {
        if ((exact ? FItems[i] : ComUpperCase(FItems[i])) == wanted)
            return int(i);
    }
    return -1;
}

void TComSelect::TakeText(const std::string& text)
{
    switch (FComProperty) {
    case cpNone: break;
    case cpPort: FPort = text; break;
    case cpBaudRate: FBaudRate = StrToBaudRate(text); break;
    case cpDataBits: FDataBits = StrToDataBits(text); break;
    case cpStopBits: FStopBits = StrToStopBits(text); break;
    case cpParity: FParity = StrToParity(text); break;
    case cpFlowControl: FFlowControl = StrToFlowControl(text); break;
    }
}

void TComSelect::Change(const std::string& text)
{
    TakeText(text);
    if (FAutoApply && IndexOf(text) >= 0)
        ApplySettings();
}

void TComSelect::ApplySettings()
{
    if (!FComPort)
        return;
    switch (FComProperty) {
    case cpNone: break;
    case cpPort:
        // An empty name names no port: keep the one there is.
        if (!FPort.empty())
            FComPort->SetPort(FPort);
        break;
    case cpBaudRate: FComPort->SetBaudRate(FBaudRate); break;
    case cpDataBits: FComPort->SetDataBits(FDataBits); break;
    case cpStopBits: FComPort->SetStopBits(FStopBits); break;
    case cpParity: FComPort->Parity().SetBits(FParity); break;
    case cpFlowControl: FComPort->FlowControl().SetFlowControl(FFlowControl); break;
    }
}

std::string TComSelect::CurrentText() const
{
    if (!FComPort)
        return std::string();
    switch (FComProperty) {
    case cpNone: break;
    case cpPort: return FComPort->Port();
    case cpBaudRate: return BaudRateToStr(FComPort->BaudRate());
    case cpDataBits: return DataBitsToStr(FComPort->DataBits());
    case cpStopBits: return StopBitsToStr(FComPort->StopBits());
    case cpParity: return ParityToStr(FComPort->Parity().Bits());
    case cpFlowControl: return FlowControlToStr(FComPort->FlowControl().FlowControl());
    }
    return std::string();
}

int TComSelect::UpdateSettings()
{
    if (!FComPort || FComProperty == cpNone)
        return -1;
    const std::string current = CurrentText();
    TakeText(current);
    return IndexOf(current);
}

// ---- Combo box ---------------------------------------------------------------------------------

TComComboBox::TComComboBox(QWidget* parent) : QComboBox(parent)
{
    connect(this, &QComboBox::currentTextChanged, this, &TComComboBox::TextChanged);
}

void TComComboBox::SetEditable(bool on)
{
    setEditable(on);
    if (on && completer())
        completer()->setCompletionMode(QCompleter::PopupCompletion);
}

void TComComboBox::SetComProperty(TComProperty property)
{
    try {
        FSelect.SetComProperty(property);
    } catch (const std::exception& e) {
        LogError("Port selector", e.what());
        Q_EMIT PortError(QString::fromUtf8(e.what()));
    }
    Refill();
}

void TComComboBox::Refill()
{
    FLoading = true;
    clear();
    for (const std::string& item : FSelect.Items())
        addItem(QString::fromStdString(item));
    setCurrentIndex(-1);
    FLoading = false;
}

void TComComboBox::SetText(const QString& text)
{
    const int index = findText(text, Qt::MatchFixedString);
    if (isEditable())
        setEditText(text);
    else
        setCurrentIndex(index);
}

int TComComboBox::UpdateSettings()
{
    const int index = FSelect.UpdateSettings();
    FLoading = true;
    setCurrentIndex(index);
    if (index < 0 && isEditable())
        setEditText(QString::fromStdString(FSelect.CurrentText()));
    FLoading = false;
    return index;
}

void TComComboBox::TextChanged(const QString& text)
{
    if (FLoading)
        return;
    try {
        FSelect.Change(text.toStdString());
    } catch (const std::exception& e) {
        LogError("Port selector", e.what());
        Q_EMIT PortError(QString::fromUtf8(e.what()));
    } catch (...) {
        LogError("Port selector", "applying the setting failed");
        Q_EMIT PortError(QStringLiteral("applying the setting failed"));
    }
}

// ---- Radio group ----------------------------------------------------------------------------------

TComRadioGroup::TComRadioGroup(QWidget* parent) : QGroupBox(parent), FButtons(new QButtonGroup(this))
{
    new QVBoxLayout(this);
    connect(FButtons, &QButtonGroup::idClicked, this, &TComRadioGroup::Click);
}

void TComRadioGroup::SetComProperty(TComProperty property)
{
    try {
        FSelect.SetComProperty(property);
    } catch (const std::exception& e) {
        LogError("Port selector", e.what());
        Q_EMIT PortError(QString::fromUtf8(e.what()));
    }
    Refill();
}

void TComRadioGroup::Refill()
{
    for (QAbstractButton* button : FButtons->buttons()) {
        FButtons->removeButton(button);
        delete button;
    }
    int id = 0;
    for (const std::string& item : FSelect.Items()) {
        auto* button = new QRadioButton(QString::fromStdString(item), this);
        layout()->addWidget(button);
        FButtons->addButton(button, id++);
    }
    FItemIndex = -1;
}

void TComRadioGroup::SetItemIndex(int index)
{
    QAbstractButton* button = FButtons->button(index);
    if (button) {
        button->setChecked(true);
    } else if (QAbstractButton* checked = FButtons->checkedButton()) {
        FButtons->setExclusive(false);
        checked->setChecked(false);
        FButtons->setExclusive(true);
    }
    FItemIndex = button ? index : -1;
}

int TComRadioGroup::UpdateSettings()
{
    const int index = FSelect.UpdateSettings();
    SetItemIndex(index);
    return index;
}

void TComRadioGroup::Click(int index)
{
    if (index == FItemIndex || index < 0 || index >= int(FSelect.Items().size()))
        return;
    FItemIndex = index;
    try {
        FSelect.Change(FSelect.Items()[std::size_t(index)]);
    } catch (const std::exception& e) {
        LogError("Port selector", e.what());
        Q_EMIT PortError(QString::fromUtf8(e.what()));
    } catch (...) {
        LogError("Port selector", "applying the setting failed");
        Q_EMIT PortError(QStringLiteral("applying the setting failed"));
    }
}
