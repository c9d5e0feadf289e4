// Selectors for one setting of a serial port: the selection logic
// (TComSelect, no widgets) and the two controls built on it, a combo box and
// a radio group.
//
// Everything runs on the GUI thread, also the destruction of a linked port.
// The selectors do not own their port; either may go first: a selector
// unlinks itself when its port is destroyed (its link's removal notice), and
// unregisters from its port when it goes first. Applying a
// setting can raise the port's EComPort; the controls' change handlers catch
// it, log it and report it through PortError.
#pragma once

#include "CPort.h"

#include <QComboBox>
#include <QGroupBox>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QButtonGroup;

enum TComProperty { cpNone, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

class TComSelect {
public:
    // The port names offered for cpPort; EnumComPorts unless replaced.
    using TPortLister = std::function<std::vector<std::string>()>;

    TComSelect();
    ~TComSelect();
    TComSelect(const TComSelect&) = delete;
    TComSelect& operator=(const TComSelect&) = delete;

    void SetPortLister(TPortLister lister) { FPortLister = std::move(lister); }
    TComProperty ComProperty() const { return FComProperty; }
    // Stores the property and fills the items with its texts (cpPort: the
    // ports present; cpNone: none). The port list can raise EComPort 23; the
    // items are empty then.
    void SetComProperty(TComProperty property);
    const std::vector<std::string>& Items() const { return FItems; }
    // The item equal to text (port names exactly, setting texts in any
    // case), -1 when none.
    int IndexOf(const std::string& text) const;

    TCustomComPort* ComPort() const { return FComPort; }
    // Links to port (nullptr: unlinks); raises EComPort 18 when the port
    // refuses the link (the selector is unlinked then).
    void SetComPort(TCustomComPort* port);
    bool AutoApply() const { return FAutoApply; }
    void SetAutoApply(bool on) { FAutoApply = on; }

    // Takes text as the pending value. With AutoApply the value goes to the
    // port at once, but only when the text is one of the items, so the
    // partial texts typed into an editable box on the way are not applied.
    void Change(const std::string& text);
    // Writes the pending value to the linked port (nothing without a port or
    // for cpNone). Raises the port's EComPort.
    void ApplySettings();
    // The index of the item showing the port's current value (-1 without a
    // port or when no item shows it). The pending value becomes the port's
    // current value either way, so applying unchanged keeps the setting.
    int UpdateSettings();

    const std::string& PendingPort() const { return FPort; }
    TBaudRate PendingBaudRate() const { return FBaudRate; }
    TDataBits PendingDataBits() const { return FDataBits; }
    TStopBits PendingStopBits() const { return FStopBits; }
    TParityBits PendingParity() const { return FParity; }
    TFlowControl PendingFlowControl() const { return FFlowControl; }

    // The linked port's current value of the property, as its item text.
    std::string CurrentText() const;

private:
    void TakeText(const std::string& text);

    std::string FPort;
    TBaudRate FBaudRate = br9600;
    TDataBits FDataBits = dbEight;
    TStopBits FStopBits = sbOneStopBit;
    TParityBits FParity = prNone;
    TFlowControl FFlowControl = fcNone;
    std::vector<std::string> FItems;
    TComProperty FComProperty = cpNone;
    TCustomComPort* FComPort = nullptr;
    std::unique_ptr<TComLink> FLink;  // registered with FComPort while linked
    bool FAutoApply = false;
    TPortLister FPortLister;
};

// A combo box over one port setting. Editable boxes pass every edit through
// Change (auto-applying only complete item texts).
class TComComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TComComboBox(QWidget* parent = nullptr);

    TComSelect& Select() { return FSelect; }
    TCustomComPort* ComPort() const { return FSelect.ComPort(); }
    void SetComPort(TCustomComPort* port) { FSelect.SetComPort(port); }
    TComProperty ComProperty() const { return FSelect.ComProperty(); }
    // Refills the items; a failing port list is logged and leaves them empty.
    void SetComProperty(TComProperty property);
    bool AutoApply() const { return FSelect.AutoApply(); }
    void SetAutoApply(bool on) { FSelect.SetAutoApply(on); }
    // Editable boxes complete in a popup only: an inline completion would put
    // a whole item text into the box, which auto-apply would then apply.
    void SetEditable(bool on);
    QString Text() const { return currentText(); }
    // Shows text (selecting its item when there is one) and takes it.
    void SetText(const QString& text);

    // Raises the port's EComPort.
    void ApplySettings() { FSelect.ApplySettings(); }
    // Selects the item of the port's current value; an editable box with no
    // such item shows the value as its text.
    int UpdateSettings();

Q_SIGNALS:
    void PortError(const QString& message);

private:
    void TextChanged(const QString& text);
    void Refill();

    TComSelect FSelect;
    bool FLoading = false;
};

// A radio group over one port setting, one button per item. Reacts to a
// click only when it selects another item.
class TComRadioGroup : public QGroupBox {
    Q_OBJECT
public:
    explicit TComRadioGroup(QWidget* parent = nullptr);

    TComSelect& Select() { return FSelect; }
    TCustomComPort* ComPort() const { return FSelect.ComPort(); }
    void SetComPort(TCustomComPort* port) { FSelect.SetComPort(port); }
    TComProperty ComProperty() const { return FSelect.ComProperty(); }
    void SetComProperty(TComProperty property);
    bool AutoApply() const { return FSelect.AutoApply(); }
    void SetAutoApply(bool on) { FSelect.SetAutoApply(on); }
    int ItemIndex() const { return FItemIndex; }
    // Checks the button (-1: none) without taking its text.
    void SetItemIndex(int index);

    void ApplySettings() { FSelect.ApplySettings(); }
    int UpdateSettings();

Q_SIGNALS:
    void PortError(const QString& message);

private:
    void Click(int index);
    void Refill();

    TComSelect FSelect;
    QButtonGroup* FButtons;
    int FItemIndex = -1;
};
