#include "SentenceField.h"

#include <QLabel>
#include <QRegularExpression>
#include <QVariant>

namespace {

const char* const SentenceProperty = "sentence";
const char* const TailProperty = "sentenceTail";

void SetLeadText(QWidget* lead, const QString& text)
{
    lead->setProperty("text", text);
}

}  // namespace

std::pair<QString, QString> SplitSentence(const QString& sentence)
{
    qsizetype at = sentence.indexOf(QLatin1String("..."));
    qsizetype length = 3;
    if (at < 0) {
        static const QRegularExpression blanks(QStringLiteral(" {3,}"));
        const QRegularExpressionMatch match = blanks.match(sentence);
        if (!match.hasMatch())
            return {sentence.trimmed(), QString()};
        at = match.capturedStart();
        length = match.capturedLength();
    }
    return {sentence.left(at).trimmed(), sentence.mid(at + length).trimmed()};
}

void SetSentence(QWidget* lead, QLabel* tail, const QString& sentence)
{
    if (!lead)
        return;
    lead->setProperty(TailProperty, QVariant::fromValue(static_cast<QObject*>(tail)));
    lead->setProperty(SentenceProperty, sentence);
    ShowSentence(lead, sentence);
}

QString SentenceOf(const QWidget* control)
{
    const QVariant sentence = control ? control->property(SentenceProperty) : QVariant();
    return sentence.isValid() ? sentence.toString() : QString();
}

bool ShowSentence(QWidget* control, const QString& sentence)
{
    if (!control || !control->property(SentenceProperty).isValid())
        return false;
    control->setProperty(SentenceProperty, sentence);
    const auto [before, after] = SplitSentence(sentence);
    SetLeadText(control, before);
    if (auto* tail = qobject_cast<QLabel*>(control->property(TailProperty).value<QObject*>()))
        tail->setText(after);
    return true;
}
