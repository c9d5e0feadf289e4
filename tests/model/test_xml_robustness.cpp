// Seeded random and mutated documents against the XML module: a fixed number
// of rounds, then more for TRAXEL_ROBUSTNESS_SECONDS (default 0). The seed is
// fixed so that every run checks the same inputs; it is printed, and
// TRAXEL_ROBUSTNESS_SEED sets another.
#include "Globals.h"
#include "MiniXMLParser.h"
#include "TestFiles.h"
#include "TestReports.h"
#include "TextBytes.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <vector>

using namespace MiniXMLParser;

namespace {

struct TGenerator {
    std::mt19937_64 rng;

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    bool Chance(int percent) { return Int(0, 99) < percent; }
    template <class T, std::size_t N>
    const T& Pick(const T (&pool)[N]) { return pool[Int(0, int(N) - 1)]; }

    // Entity characters, control characters, blanks, '=', '/', text beyond
    // ASCII and the BMP (a surrogate pair), and text that already looks
    // encoded (it must not be decoded twice).
    QString Text(int maxLength)
    {
        static const char16_t pool[] = {u'a', u'Z', u'0', u' ', u'&', u'<', u'>', u'\'', u'"', u'\t', u'\r', u'\n',
                                        0x00, 0x01, 0x1F, u'=', u'/', u';', u'#', u'!', u'?', u'x', u'.', 0x00E9,
                                        0x20AC, 0x00A0, 0xFFFD};
        QString s;
        for (int i = Int(0, maxLength); i > 0; --i)
            s += Chance(4) ? QStringLiteral("\U0001F600") : Chance(3) ? QStringLiteral("&amp;lt;") : QString(QChar(Pick(pool)));
        return s;
    }

    // Element names: no blank or '/', not starting like a comment or
    // declaration. Attribute names: no blank, '=' or '"'. Never empty.
    QString Name(bool element)
    {
        static const char* const common[] = {"Shot", "Pt", "Name", "a", "X", "Type"};
        static const QRegularExpression elementBad(QStringLiteral("[ /]")), declaration(QStringLiteral("^[!?]+")),
            attributeBad(QStringLiteral("[ =\"]"));
        if (Chance(60))
            return Pick(common);
        const QString s = element ? Text(8).remove(elementBad).remove(declaration) : Text(8).remove(attributeBad);
        return s.isEmpty() ? QStringLiteral("n") : s;
    }

    // What is set reads back exactly (and so is never decoded twice). Blanks
    // at either end are not kept by element texts.
    void Fill(TXMLNode* node, int depth, int& budget)
    {
        static const QRegularExpression endBlanks(QStringLiteral("^ +| +$"));
        node->SetName(Name(true));
        for (int a = Int(0, 4); a > 0; --a) {
            const QString name = Name(false), value = Chance(10) ? QString() : Text(16);
            node->SetAttributeValue(name, value);
            EXPECT_EQ(node->GetAttributeValueDef(name, QString()), value);
        }
        for (int c = depth > 5 || budget <= 0 ? 0 : Int(0, 4); c > 0; --c)
            Fill(node->AddNode("x"), depth + 1, --budget);
        const QString text = Chance(50) ? QString() : Text(24).remove(endBlanks);
        node->SetText(text);
        EXPECT_EQ(node->GetText(), text);
    }

    void RandomTree(TMiniXMLParser& doc)
    {
        doc.NewDocument(QString());
        int budget = Int(0, 60);
        Fill(doc.Root(), 0, budget);
        TXMLNode* n = doc.Root();
        for (int d = Chance(3) ? 2 : MaxNestingDepth + 1; d <= MaxNestingDepth; ++d)  // a chain to the deepest level allowed
            n = n->AddNode(Name(true));
    }

    // NUL, bad UTF-8 (stray, overlong end, cut, surrogate, past U+10FFFF), a
    // second BOM and markup pieces; long runs (names and closing tags of
    // megabytes), nesting around the limit, an '&' at the very end, and
    // cuts, overwrites, copies and drops.
    void Mutate(QByteArray& bytes)
    {
        static const QByteArray bits[] = {QByteArray(1, '\0'), "\xFF", "\xC3\x28", "\xE2\x82", "\xED\xA0\x80",
                                          "\xF4\x90\x80\x80", "\x80", "\xEF\xBB\xBF", "<", ">", "/", "=", "\"", "</",
                                          "/>", "<!", "<?", "&amp", "&0x", ";", "&", "\r", "\n"};
        const int at = Int(0, int(bytes.size())), depth = Int(MaxNestingDepth - 5, MaxNestingDepth + 50);
        switch (Int(0, 9)) {
        case 0: bytes.insert(at, Pick(bits)); break;
        case 1: bytes.insert(at, QByteArray(Int(1000, 300000), Chance(50) ? 'a' : ' ')); break;
        case 2: bytes.insert(at, QByteArray("<a x=\"").repeated(Int(1, 5000))); break;
        case 3: bytes.insert(at, QByteArray("<d>").repeated(depth) + (Chance(50) ? QByteArray("</d>").repeated(depth) : "")); break;
        case 4: bytes.append('&'); break;
        case 5: bytes.truncate(at); break;
        case 6:
            if (!bytes.isEmpty())
                bytes[Int(0, int(bytes.size()) - 1)] = char(Int(0, 255));
            break;
        case 7: bytes.insert(at, bytes.mid(Int(0, int(bytes.size())), Int(0, int(bytes.size())))); break;
        case 8: bytes.remove(at, Int(1, 40)); break;
        default: bytes.remove(bytes.indexOf(Chance(50) ? '>' : '"', at), 1); break;  // -1: nothing to drop
        }
    }
};

// The lines a document builds to; empty when it cannot be built.
QStringList Built(TMiniXMLParser& doc)
{
    try {
        doc.Build();
    } catch (const Exception&) {
        return {};
    }
    return doc.Lines();
}

constexpr int MinRounds = 400;

}  // namespace

// A tree built through the API reads back as itself (with the writer's
// encoding one-to-one, equal lines mean equal names, attributes and texts).
// Its bytes, mutated, either fail with a message, leaving what was read
// before the fault writable, or load to a document that writes and reads
// back stably after one round (which trims texts and settles entity
// spellings).
TEST(XmlRobustness, RandomTreesRoundTripAndMutatedOnesFailCleanlyOrLoadConsistently)
{
    uint64_t seed = 20240917;
    if (const char* s = std::getenv("TRAXEL_ROBUSTNESS_SEED"))
        seed = std::strtoull(s, nullptr, 10);
    std::cout << "XmlRobustness: seed " << seed << " (set with TRAXEL_ROBUSTNESS_SEED)" << std::endl;
    const char* s = std::getenv("TRAXEL_ROBUSTNESS_SECONDS");
    const qint64 budgetMs = qint64((s ? std::atof(s) : 0.0) * 1000);
    SetDebugLogSink([](const QString&) {});  // ignored tails would flood the output
    TGenerator g {std::mt19937_64(seed)};
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QElapsedTimer clock;
    clock.start();
    int rounds = 0, loaded = 0;
    for (; (rounds < MinRounds || clock.elapsed() < budgetMs) && !HasFatalFailure(); ++rounds) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(rounds));
        TMiniXMLParser source;
        g.RandomTree(source);
        const QStringList first = Built(source);
        ASSERT_FALSE(first.isEmpty());
        TMiniXMLParser back;
        ASSERT_TRUE(back.LoadFromText(first.join(g.Chance(50) ? "\r\n" : "\n"))) << LastParseErrorText().toStdString();
        ASSERT_EQ(Built(back), first);

        QByteArray bytes;
        switch (g.Int(0, 3)) {
        case 0: bytes = ToCodePage(first.join("\r\n")); break;  // no BOM: 8-bit code page
        case 1: bytes = Utf16Bytes(first.join("\n")); break;
        default: bytes = "\xEF\xBB\xBF" + first.join("\r\n").toUtf8() + "\r\n"; break;
        }
        for (int m = g.Int(1, 4); m > 0; --m)
            g.Mutate(bytes);
        TMiniXMLParser doc;
        bool ok;
        switch (g.Int(0, 3)) {
        case 0:
            WriteAll(dir.filePath("m.xml"), bytes);
            ok = doc.LoadFromFile(dir.filePath("m.xml"));
            break;
        case 1:  // straight into the line list, as a caller holding lines would
            doc.Lines() = QString::fromUtf8(bytes).split(u'\n');
            ok = doc.Load();
            break;
        default: ok = doc.LoadFromBytes(bytes); break;
        }
        if (!ok) {
            ASSERT_FALSE(LastParseError().Message.isEmpty());
            if (!doc.Root()->Name().isEmpty()) {
                EXPECT_NO_THROW(doc.Build());
            }
            continue;
        }
        ++loaded;
        TMiniXMLParser second, third;
        second.Lines() = Built(doc);
        ASSERT_TRUE(second.Load()) << LastParseErrorText().toStdString();
        third.Lines() = Built(second);
        ASSERT_TRUE(third.Load()) << LastParseErrorText().toStdString();
        ASSERT_EQ(Built(third), second.Lines());
    }
    SetDebugLogSink(nullptr);
    std::cout << rounds << " inputs, " << loaded << " loaded" << std::endl;
    // Most mutations break a document, but not all (about one in twelve
    // loads): a reader that refused everything would pass every check above.
    EXPECT_GE(loaded * 25, rounds) << loaded << " of " << rounds << " loaded";
}

namespace {

// What one way of loading made of a text: the result, the error, the tree as
// written back, and what was logged.
struct TOutcome {
    bool Ok = false;
    QString Message;
    QString Text;
    int Line = 0;
    QStringList Lines;
    QStringList Built;
    QStringList Log;

    bool operator==(const TOutcome&) const = default;
};

std::ostream& operator<<(std::ostream& os, const TOutcome& o)
{
    return os << (o.Ok ? "loaded" : "failed: ") << o.Message.toStdString() << " | " << o.Text.left(80).toStdString()
              << " | line " << o.Line << " | " << o.Built.size() << " lines built, " << o.Log.size() << " logged";
}

TOutcome Outcome(const QString& text, bool byLines)
{
    TOutcome o;
    SetDebugLogSink([&o](const QString& line) { o.Log.append(line); });
    TMiniXMLParser doc;
    if (byLines) {
        doc.Lines() = SplitTextLines(text);
        o.Ok = doc.Load();
    } else {
        o.Ok = doc.LoadFromText(text);
    }
    SetDebugLogSink([](const QString&) {});
    const TParseError& e = LastParseError();
    o.Message = e.Message;
    o.Text = e.Text;
    o.Line = e.Line;
    o.Lines = doc.Lines();
    o.Built = Built(doc);
    return o;
}

// A tree as the program writes them: names and attribute values that need
// no entity, texts that now and then do.
void PlainTree(TGenerator& g, TMiniXMLParser& doc)
{
    static const char* const names[] = {"Shot", "Pt", "Name", "a", "X", "Type", "x"};
    static const char* const texts[] = {"1", "-0.5", "a b", "x&y", "<tag>", "12345678901", ""};
    doc.NewDocument(QString());
    std::vector<TXMLNode*> open{doc.Root()};
    doc.Root()->SetName("Root");
    for (int n = g.Int(0, 40); n > 0; --n) {
        TXMLNode* parent = open[size_t(g.Int(0, int(open.size()) - 1))];
        TXMLNode* e = parent->AddNode(g.Pick(names), g.Chance(30) ? QString::fromLatin1(g.Pick(texts)) : QString());
        for (int a = g.Int(0, 4); a > 0; --a)
            e->SetAttributeValue(g.Pick(names), QString::number(g.Int(-999, 999)));
        if (open.size() < 8)
            open.push_back(e);
    }
}

}  // namespace

// A whole text is read in one pass when it has the usual form and line by
// line otherwise; either way the tree, the error and its line, the lines kept
// and the log are those of the line-by-line reader. Written documents are
// changed where the two ways part: line breaks inside tags, texts and closing
// tags, other blanks, lenient closing tags, text after the root, odd
// attribute spellings, and the general mutations.
TEST(XmlRobustness, WholeTextReadsAsTheLines)
{
    TGenerator g {std::mt19937_64(20261207)};
    SetDebugLogSink([](const QString&) {});
    static const char* const pieces[] = {"\n", "\r\n", "\r", "\t", " ", "<!-- c -->", "</", "/>", "&amp;", "&AMP;",
                                         "&0x41;", "'", "x=\"1\"", " X=\"2\"", " a=\"\"", "tail", "<R/>", "=", "\""};
    for (int round = 0; round < 300 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TMiniXMLParser source;
        if (g.Chance(50))
            g.RandomTree(source);
        else
            PlainTree(g, source);
        QString text = Built(source).join(g.Chance(50) ? "\r\n" : "\n");
        if (g.Chance(20)) {
            QByteArray bytes = text.toUtf8();
            g.Mutate(bytes);
            text = QString::fromUtf8(bytes);
        }
        for (int m = g.Int(0, 3); m > 0; --m) {
            const int at = g.Int(0, int(text.size()));
            switch (g.Int(0, 4)) {
            case 0: text.insert(at, QString::fromLatin1(g.Pick(pieces))); break;
            case 4: {
                // An attribute twice (letter case aside), or an empty one.
                static const char* const added[] = {" x=\"7\" X=\"8\"", " Type=\"1\"", " a=\"\"", " X=\"&lt;\""};
                const qsizetype end = text.indexOf(QLatin1String("/>"), at);
                if (end >= 0)
                    text.insert(end, QString::fromLatin1(g.Pick(added)));
                break;
            }
            case 1: text.remove(at, g.Int(1, 3)); break;
            case 2: {
                const qsizetype close = text.indexOf(QLatin1String("</"), at);
                if (close >= 0)
                    text.insert(close + 2 + g.Int(0, 1), g.Chance(50) ? QStringLiteral("\n") : QStringLiteral("z"));
                break;
            }
            default: text.append(QString::fromLatin1(g.Pick(pieces))); break;
            }
        }
        const TOutcome whole = Outcome(text, false);
        const TOutcome byLines = Outcome(text, true);
        ASSERT_EQ(whole, byLines) << text.left(2000).toStdString();
    }
    SetDebugLogSink(nullptr);
}

// A text that does not own its characters (raw data the caller reuses) loads
// to a tree of its own: writing over the buffer afterwards changes neither
// the tree nor the lines, whether the text came whole or as lines.
TEST(XmlRobustness, RawTextBufferReusedAfterTheLoadChangesNothing)
{
    TGenerator g {std::mt19937_64(20250311)};
    SetDebugLogSink([](const QString&) {});
    for (int round = 0; round < 200 && !HasFatalFailure(); ++round) {
        SCOPED_TRACE("seed 20250311 round " + std::to_string(round));
        TMiniXMLParser source;
        if (g.Chance(50))
            g.RandomTree(source);
        else
            PlainTree(g, source);
        const QString text = Built(source).join(g.Chance(50) ? "\r\n" : "\n");
        const bool byLines = g.Chance(30);
        const TOutcome expected = Outcome(text, byLines);

        std::vector<char16_t> buffer(text.utf16(), text.utf16() + text.size());
        const QString raw = QString::fromRawData(reinterpret_cast<const QChar*>(buffer.data()), buffer.size());
        TMiniXMLParser doc;
        if (byLines) {
            // Each line a raw piece of the buffer, as a caller holding lines
            // in its own memory would hand them over.
            QStringList lines;
            qsizetype from = 0;
            for (const QString& line : SplitTextLines(text)) {
                from = text.indexOf(line, from);
                lines.append(QString::fromRawData(raw.constData() + from, line.size()));
                from += line.size();
            }
            doc.Lines() = lines;
            ASSERT_EQ(doc.Load(), expected.Ok);
        } else {
            ASSERT_EQ(doc.LoadFromText(raw), expected.Ok);
        }
        static const char16_t scribble[] = {u'"', u'x', u'<', u' ', u'='};
        const char16_t c = g.Pick(scribble);
        std::fill(buffer.begin(), buffer.end(), c);
        if (!byLines) {
            EXPECT_EQ(doc.Lines(), expected.Lines);
        }
        EXPECT_EQ(Built(doc), expected.Built);
    }
    SetDebugLogSink(nullptr);
}
