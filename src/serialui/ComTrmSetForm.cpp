#include "ComTrmSetForm.h"

#include "ComTerminal.h"
#include "Translation.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <initializer_list>

namespace {

QString Tr(const char* text)
{
    return Translate(QString::fromLatin1(text));
}

template <class W>
W* Named(W* widget, const char* name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

// A titled group of radio buttons whose ids are their positions.
QButtonGroup* RadioGroup(QWidget* parent, QLayout* into, const char* name, const char* title,
                         std::initializer_list<const char*> items)
{
    auto* box = Named(new QGroupBox(Tr(title), parent), name);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    int id = 0;
    for (const char* item : items) {
        auto* button = new QRadioButton(Tr(item), box);
        layout->addWidget(button);
        group->addButton(button, id++);
    }
    into->addWidget(box);
    return group;
}

void Check(QButtonGroup* group, int id)
{
    if (QAbstractButton* button = group->button(id))
        button->setChecked(true);
}

QSpinBox* SizeEdit(QWidget* parent, const char* name, int maximum)
{
    auto* edit = Named(new QSpinBox(parent), name);
    edit->setRange(1, maximum);
    return edit;
}

} // namespace

TComTrmSetForm::TComTrmSetForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ComTrmSetForm"));
    setWindowTitle(Tr("Setup"));
    FLocalEcho = Named(new QCheckBox(Tr("Echo typed charachters locally"), this), "CheckBoxLocalEcho");
    FSendLF = Named(new QCheckBox(Tr("Send line feeds with carriage return"), this), "CheckBoxSendLF");
    FWrapLines = Named(new QCheckBox(Tr("Wrap lines that exceed terminal width"), this), "CheckBoxWrapLines");
    FForce7Bit = Named(new QCheckBox(Tr("Force incoming data to 7 bit ASCII"), this), "CheckBoxForce7Bit");
    FAppendLF = Named(new QCheckBox(Tr("Append line feeds to incoming carriage return"), this), "CheckBoxAppendLF");
    FColumns = SizeEdit(this, "SpinEditColumns", TComTermModel::MaxColumns);
    FRows = SizeEdit(this, "SpinEditRows", TComTermModel::MaxRows);

    auto* layout = new QVBoxLayout(this);
    for (QCheckBox* box : {FLocalEcho, FSendLF, FWrapLines, FForce7Bit, FAppendLF})
        layout->addWidget(box);
    auto* groups = new QHBoxLayout;
    FCaret = RadioGroup(this, groups, "RadioGroupCaret", "Caret", {"Block", "Underline"});
    auto* size = new QFormLayout;
    size->addRow(Tr("Columns"), FColumns);
    size->addRow(Tr("Rows"), FRows);
    groups->addLayout(size);
    layout->addLayout(groups);
    auto* modes = new QHBoxLayout;
    FEmulation = RadioGroup(this, modes, "RadioGroupEmulation", "Emulation", {"ANSI/VT100", "VT52", "None"});
    FCursorKeys = RadioGroup(this, modes, "RadioGroupCursorKeys", "Cursor keys",
                             {"Act as terminal keys", "Act as windows keys"});
    layout->addLayout(modes);

    auto* ok = Named(new QPushButton(Tr("OK"), this), "ButtonOK");
    auto* cancel = Named(new QPushButton(Tr("Cancel"), this), "ButtonCancel");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);
}

void TComTrmSetForm::LoadFrom(const TCustomComTerminal& terminal)
{
    FLocalEcho->setChecked(terminal.LocalEcho());
    FSendLF->setChecked(terminal.SendLF());
    FWrapLines->setChecked(terminal.WrapLines());
    FForce7Bit->setChecked(terminal.Force7Bit());
    FAppendLF->setChecked(terminal.AppendLF());
    // No caret (tcNone) has no button: none is checked and StoreTo keeps it.
    Check(FCaret, int(terminal.Caret()));
    FColumns->setValue(terminal.Columns());
    FRows->setValue(terminal.Rows());
    Check(FEmulation, int(terminal.Emulation()));
    Check(FCursorKeys, int(terminal.ArrowKeys()));
}

void TComTrmSetForm::StoreTo(TCustomComTerminal& terminal) const
{
    terminal.SetLocalEcho(FLocalEcho->isChecked());
    terminal.SetSendLF(FSendLF->isChecked());
    terminal.SetWrapLines(FWrapLines->isChecked());
    terminal.SetForce7Bit(FForce7Bit->isChecked());
    terminal.SetAppendLF(FAppendLF->isChecked());
    if (FCaret->checkedId() >= 0)
        terminal.SetCaret(TTermCaret(FCaret->checkedId()));
    terminal.SetColumns(FColumns->value());
    terminal.SetRows(FRows->value());
    if (FEmulation->checkedId() >= 0)
        terminal.SetEmulation(TTermEmulation(FEmulation->checkedId()));
    if (FCursorKeys->checkedId() >= 0)
        terminal.SetArrowKeys(TArrowKeys(FCursorKeys->checkedId()));
}

bool EditComTerminal(TCustomComTerminal& terminal, QWidget* parent)
{
    TComTrmSetForm form(parent);
    form.LoadFrom(terminal);
    if (form.exec() != QDialog::Accepted)
        return false;
    form.StoreTo(terminal);
    return true;
}
