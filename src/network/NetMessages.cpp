#include "NetMessages.h"

#include "Globals.h"
#include "Shotdata.h"
#include "XmlNames.h"

#include <exception>
#include <new>

using MiniXMLParser::TXMLNode;

namespace {

QString Q(const char* text) { return QString::fromLatin1(text); }

// The parser names the text it failed at, which runs to the end of the
// message: a peer's megabyte would reach every log line and view. Only its
// start is kept, enough to find the place.
constexpr qsizetype MaxErrorTextChars = 120;

QString ParseErrorText()
{
    const MiniXMLParser::TParseError& e = MiniXMLParser::LastParseError();
    QString text = e.Text.left(MaxErrorTextChars);
    if (e.Text.size() > MaxErrorTextChars)
        text += QStringLiteral("...");
    return e.Message + text + QString::number(e.Line);
}

} // namespace

TMessageWriter::TMessageWriter()
{
    writer_.rawSamples = false;
    writer_.rawResult = false;
    writer_.compact = false;
}

TXMLNode* TMessageWriter::Begin(const char* root)
{
    TXMLNode* node = writer_.Root();
    node->Clear();
    node->SetName(Q(root));
    return node;
}

TXMLNode* TMessageWriter::Request(const char* item)
{
    TXMLNode* request = Begin(XmlNames::TRAXELMessage)->AddNode(Q(XmlNames::Request));
    request->SetAttributeValue(Q(XmlNames::Item), Q(item));
    return request;
}

QByteArray TMessageWriter::Finish()
{
    MiniXMLParser::TMiniXMLParser& parser = writer_.Parser();
    parser.Build();
    QString text;
    for (const QString& line : parser.Lines()) {
        text += line;
        text += QStringLiteral("\r\n");
    }
    parser.Lines().clear();
    writer_.Root()->Clear();
    return ToCodePage(text);
}

QByteArray TMessageWriter::RequestSessionInfo()
{
    Request(XmlNames::SessionInfo);
    return Finish();
}

QByteArray TMessageWriter::RequestTargetInfo(const QString& serial)
{
    Request(XmlNames::TargetInfo)->SetAttributeValue(Q(XmlNames::SerialNumber), serial);
    return Finish();
}

QByteArray TMessageWriter::RequestShot(const QString& serial, int shotIndex)
{
    TXMLNode* request = Request(XmlNames::Shot);
    request->SetAttributeValue(Q(XmlNames::SerialNumber), serial);
    request->SetAttributeFloat(Q(XmlNames::ShotIndex), shotIndex);
    return Finish();
}

QByteArray TMessageWriter::RequestSendMessage(const QString& serial, const QString& text)
{
    TXMLNode* request = Request(XmlNames::SendMessageRequest);
    request->SetAttributeValue(Q(XmlNames::SerialNumber), serial);
    request->SetAttributeValue(Q(XmlNames::Message), text);
    return Finish();
}

QByteArray TMessageWriter::SessionInfo(TSession& session)
{
    TXMLNode* info = Begin(XmlNames::TRAXELMessage)->AddNode(Q(XmlNames::SessionInfo));
    writer_.SetSession(&session);
    writer_.WriteSessionInfo(info);
    writer_.SetSession(nullptr);
    return Finish();
}

QByteArray TMessageWriter::TargetInfo(TShooter& shooter)
{
    TXMLNode* info = Begin(XmlNames::TRAXELMessage)->AddNode(Q(XmlNames::TargetInfo));
    info->SetAttributeValue(Q(XmlNames::SerialNumber), shooter.SerialNumber());
    writer_.WriteShooterTargets(shooter, info);
    return Finish();
}

QByteArray TMessageWriter::Shot(const QString& serial, int shotIndex, const TShot& shot)
{
    TXMLNode* element = Begin(XmlNames::TRAXELMessage)->AddNode(Q(XmlNames::Shot));
    element->SetAttributeValue(Q(XmlNames::SerialNumber), serial);
    writer_.compact = false;
    writer_.WriteShot(element, shot, shotIndex);
    return Finish();
}

QByteArray TMessageWriter::DataOut(const TShooter& shooter, int shotIndex, const TShot& shot,
                                   const QString& targetName)
{
    TXMLNode* element = Begin(XmlNames::TRAXELDataOut)->AddNode(Q(XmlNames::Shot));
    element->SetAttributeValue(Q(XmlNames::SerialNumber), shooter.SerialNumber());
    // Compact for this message only: later answers to the monitor must stay
    // readable.
    writer_.compact = true;
    try {
        writer_.WriteShot(element, shot, shotIndex);
    } catch (...) {
        writer_.compact = false;
        throw;
    }
    writer_.compact = false;
    if (element->GetNodeCount() > 0) {
        TXMLNode* first = element->GetNode(0);
        first->AddNode(Q(XmlNames::TargetName), targetName);
        first->AddNode(Q(XmlNames::Name), shooter.name);
    }
    return Finish();
}

TDecodedMessage DecodeMessage(const QByteArray& message)
{
    TDecodedMessage decoded;
    try {
        MiniXMLParser::TMiniXMLParser parser;
        if (!parser.LoadFromText(FromCodePage(message))) {
            decoded.error = ParseErrorText();
            return decoded;
        }
        std::unique_ptr<TXMLNode> root = parser.ReleaseRoot();
        if (root->Name() != Q(XmlNames::TRAXELMessage)) {
            decoded.error = QStringLiteral("Message root not TRAXELMessage");
            return decoded;
        }
        if (root->GetNodeCount() == 0) {
            decoded.error = QStringLiteral("No data node on root");
            return decoded;
        }
        decoded.root = std::move(root);
    } catch (const std::bad_alloc&) {
        decoded.error = QStringLiteral("Out of memory");
    } catch (const std::exception& e) {
        decoded.error = QString::fromUtf8(e.what());
    }
    return decoded;
}

QString MessageExcerpt(const QByteArray& message, int maxChars)
{
    QString text = FromCodePage(message.left(maxChars));
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (message.size() > maxChars)
        text += QStringLiteral("...");
    return text;
}
