#include "QtPrompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QRegularExpression>

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

QMessageBox::Icon IconOf(const QString& caption)
{
    if (caption == QLatin1String("Error"))
        return QMessageBox::Critical;
    if (caption == QLatin1String("Confirm"))
        return QMessageBox::Question;
    return QMessageBox::Information;
}

QString Pattern(const QString& pattern)
{
    QString out;
    for (QChar c : pattern) {
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (lower != upper)
            out += QLatin1Char('[') + lower + upper + QLatin1Char(']');
        else
            out += c;
    }
    return out;
}

void Prepare(QFileDialog& dialog, const TFileRequest& request)
{
    dialog.setWindowTitle(request.caption);
    if (!request.folder.isEmpty())
        dialog.setDirectory(request.folder);
    QStringList filters;
    for (const QString& f : request.filters)
        filters << CaseInsensitiveFilter(f);
    dialog.setNameFilters(filters);
    if (!request.defaultSuffix.isEmpty())
        dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty())
        dialog.selectFile(request.fileName);
}

QString Run(QFileDialog& dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

QString CaseInsensitiveFilter(const QString& filter)
{
    static const QRegularExpression inBrackets(QStringLiteral("\\(([^)]*)\\)"));
    const QRegularExpressionMatch m = inBrackets.match(filter);
    const QString patterns = m.hasMatch() ? m.captured(1) : filter;
    QStringList out;
    for (const QString& p : patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        out << Pattern(p);
    const QString joined = out.join(QLatin1Char(' '));
    if (!m.hasMatch())
        return joined;
    QString result = filter;
    return result.replace(m.capturedStart(1), m.capturedLength(1), joined);
}

TMsgResult TQtPrompts::MessageBox(const QString& text, const QString& caption, TMsgButtons buttons)
{
    QMessageBox box(IconOf(caption), caption, text, ButtonsOf(buttons), QApplication::activeWindow());
    return ResultOf(box.exec());
}

QString TQtPrompts::OpenFileName(const TFileRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    Prepare(dialog, request);
    return Run(dialog);
}

QString TQtPrompts::SaveFileName(const TFileRequest& request)
{
    QFileDialog dialog(QApplication::activeWindow());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    Prepare(dialog, request);
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
