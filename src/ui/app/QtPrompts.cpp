#include "QtPrompts.h"

#include "Translation.h"

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QHeaderView>
#include <QTreeView>

#include <algorithm>
#include <utility>

namespace {

QMessageBox::StandardButtons ButtonsOf(TMsgButtons buttons)
{
    switch (buttons) {
    case TMsgButtons::OK: return QMessageBox::Ok;
    case TMsgButtons::OKCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case TMsgButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case TMsgButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case TMsgButtons::AbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

TMsgResult ResultOf(int button)
{
    switch (button) {
    case QMessageBox::Ok: return TMsgResult::OK;
    case QMessageBox::Yes: return TMsgResult::Yes;
    case QMessageBox::No: return TMsgResult::No;
    case QMessageBox::Abort: return TMsgResult::Abort;
    case QMessageBox::Retry: return TMsgResult::Retry;
    case QMessageBox::Ignore: return TMsgResult::Ignore;
    default: return TMsgResult::Cancel;
    }
}

// The standard buttons speak the program's language like every other text.
void TranslateButtons(QMessageBox& box)
{
    const std::pair<QMessageBox::StandardButton, const char*> captions[] = {
        {QMessageBox::Ok, "OK"},        {QMessageBox::Cancel, "Cancel"}, {QMessageBox::Yes, "Yes"},
        {QMessageBox::No, "No"},        {QMessageBox::Abort, "Abort"},   {QMessageBox::Retry, "Retry"},
        {QMessageBox::Ignore, "Ignore"},
    };
    for (const auto& [which, caption] : captions)
        if (QAbstractButton* button = box.button(which))
            button->setText(Translate(QString::fromLatin1(caption)));
}

// Callers pass the caption translated.
QMessageBox::Icon IconOf(const QString& caption)
{
    const auto is = [&caption](const char* english) {
        const QString text = QString::fromLatin1(english);
        return caption == text || caption == Translate(text);
    };
    if (is("Error"))
        return QMessageBox::Critical;
    if (is("Confirm"))
        return QMessageBox::Question;
    return QMessageBox::Information;
}

QString Run(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

void PrepareFileDialog(QFileDialog& dialog, const TFileRequest& request)
{
    // The program's own dialog: it matches name filters whatever the letter
    // case (files from elsewhere are not named consistently), where a desktop
    // dialog may not.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setWindowTitle(request.caption);
    // Its buttons speak the program's language, like the message boxes'.
    const bool open = dialog.acceptMode() == QFileDialog::AcceptOpen;
    dialog.setLabelText(QFileDialog::Accept, Translate(open ? QStringLiteral("Open") : QStringLiteral("Save")));
    dialog.setLabelText(QFileDialog::Reject, Translate(QStringLiteral("Cancel")));
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    dialog.setNameFilters(request.filters);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
    // Long session names and dates stay readable.
    dialog.resize(std::max(dialog.width(), 860), std::max(dialog.height(), 520));
    if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        details->header()->setStretchLastSection(false);
        details->header()->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < details->header()->count(); ++column)
            details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}

TMsgResult TQtPrompts::MessageBox(const QString& text, const QString& caption, TMsgButtons buttons)
{
    QMessageBox box(IconOf(caption), caption, text, ButtonsOf(buttons), QApplication::activeWindow());
    TranslateButtons(box);
    return ResultOf(box.exec());
}

QString TQtPrompts::OpenFileName(const TFileRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    PrepareFileDialog(dialog, request);
    return Run(dialog);
}

QString TQtPrompts::SaveFileName(const TFileRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    PrepareFileDialog(dialog, request);
    return Run(dialog);
}

bool TQtPrompts::ChooseColour(uint32_t* colour)
{
    const uint32_t bgr = colour ? *colour : 0;
    const QColor initial(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
    const QColor chosen = QColorDialog::getColor(initial, QApplication::activeWindow());
    if (!chosen.isValid())
        return false;
    if (colour)
        *colour = uint32_t(chosen.red()) | uint32_t(chosen.green()) << 8 | uint32_t(chosen.blue()) << 16;
    return true;
}

bool TQtPrompts::PrintDialog(QPrinter* printer)
{
    if (!printer)
        return false;
    QPrintDialog dialog(printer, QApplication::activeWindow());
    return dialog.exec() == QDialog::Accepted;
}

void TQtPrompts::Beep() { QApplication::beep(); }
