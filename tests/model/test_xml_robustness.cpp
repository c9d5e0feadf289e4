// Seeded random and mutated documents against the XML module, for a bounded
// time: TRAXEL_ROBUSTNESS_SECONDS (default 2) per test. The seed is printed;
// TRAXEL_ROBUSTNESS_SEED replays a run.
#include "Globals.h"
#include "MiniXMLParser.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <random>

using namespace MiniXMLParser;

// Readable QString values in failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

double BudgetSeconds()
{
    const char* s = std::getenv("TRAXEL_ROBUSTNESS_SECONDS");
    const double v = s ? std::atof(s) : 0;
    return v > 0 ? v : 2.0;
}

uint64_t Seed(const char* test)
{
    uint64_t seed;
    if (const char* s = std::getenv("TRAXEL_ROBUSTNESS_SEED"))
        seed = std::strtoull(s, nullptr, 10);
    else
        seed = (uint64_t(std::random_device{}()) << 32) ^ std::random_device{}();
    std::cout << test << ": seed " << seed << " (replay with TRAXEL_ROBUSTNESS_SEED=" << seed << ")" << std::endl;
    return seed;
}

class TGenerator {
public:
    explicit TGenerator(uint64_t seed) : FRng(seed) {}

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(FRng); }
    bool Chance(int percent) { return Int(0, 99) < percent; }
    std::mt19937_64& Rng() { return FRng; }

    // Characters that stress the writer and reader: entity characters,
    // control characters, blanks, '=', '/', and text beyond ASCII and the BMP.
    QString Text(int maxLength)
    {
        static const char16_t pool[] = {u'a', u'b', u'Z', u'0', u'9', u' ', u'&', u'<', u'>', u'\'', u'"', u'\t', u'\r',
                                        u'\n', 0x01,  0x1F,  u'=', u'/', u';', u'#', u'!', u'?', u'x', u'.',
                                        u',', 0x00E9, 0x20AC, 0x00A0, 0xFFFD};
        QString s;
        const int length = Int(0, maxLength);
        for (int i = 0; i < length; ++i) {
            if (Chance(4)) {
                s.append(QChar(0xD83D));  // U+1F600, a surrogate pair
                s.append(QChar(0xDE00));
            } else {
                s.append(QChar(pool[Int(0, int(std::size(pool)) - 1)]));
            }
        }
        return s;
    }

    // Element names: no blank and no '/', not starting like a comment or
    // declaration, never empty.
    QString Name()
    {
        static const char* const common[] = {"Shot", "Pt", "ShotInfo", "Curve", "Name", "a", "Target"};
        if (Chance(60))
            return common[Int(0, int(std::size(common)) - 1)];
        QString s = Text(8);
        s.remove(u' ').remove(u'/');
        while (s.startsWith(u'!') || s.startsWith(u'?'))
            s.remove(0, 1);
        return s.isEmpty() ? QStringLiteral("n") : s;
    }

    // Attribute names: no '=', no blank at either end.
    QString Key()
    {
        static const char* const common[] = {"i", "X", "Y", "Name", "Type", "CreatedBy"};
        if (Chance(60))
            return common[Int(0, int(std::size(common)) - 1)];
        QString s = Text(8);
        s.remove(u'=');
        return Trim(s);
    }

    // Element texts lose blanks at either end when read, by design.
    QString ElementText() { return Chance(50) ? QString() : Trim(Text(24)); }

    static QString Trim(QString s)
    {
        while (s.startsWith(u' '))
            s.remove(0, 1);
        while (s.endsWith(u' '))
            s.chop(1);
        return s;
    }

    void Fill(TXMLNode* node, int depth, int& budget)
    {
        node->SetName(Name());
        for (int a = Int(0, 4); a > 0; --a)
            node->SetAttributeValue(Key(), Chance(10) ? QString() : Text(16));
        const int children = depth > 5 || budget <= 0 ? 0 : Int(0, 4);
        for (int c = 0; c < children; ++c) {
            --budget;
            Fill(node->AddNode("x"), depth + 1, budget);
        }
        node->SetText(ElementText());
    }

    void RandomTree(TMiniXMLParser& doc)
    {
        doc.NewDocument(QString());
        int budget = Int(0, 60);
        Fill(doc.Root(), 0, budget);
        if (Chance(3)) {
            // A chain down to the deepest level the format allows.
            TXMLNode* n = doc.Root();
            for (int d = 2; d <= MaxNestingDepth; ++d)
                n = n->AddNode(Name());
        }
    }

private:
    std::mt19937_64 FRng;
};

void ExpectSameTree(const TXMLNode* a, const TXMLNode* b)
{
    std::vector<std::pair<const TXMLNode*, const TXMLNode*>> pending{{a, b}};
    while (!pending.empty()) {
        auto [x, y] = pending.back();
        pending.pop_back();
        ASSERT_EQ(x->Name(), y->Name());
        ASSERT_EQ(x->GetText(), y->GetText()) << x->Name().toStdString();
        ASSERT_EQ(x->GetAttributeCount(), y->GetAttributeCount()) << x->Name().toStdString();
        for (int i = 0; i < x->GetAttributeCount(); ++i) {
            ASSERT_EQ(x->AttributeNameAt(i), y->AttributeNameAt(i));
            ASSERT_EQ(x->AttributeValueAt(i), y->AttributeValueAt(i));
            ASSERT_EQ(y->GetAttributeValue(x->AttributeNameAt(i)), x->AttributeValueAt(i));
        }
        ASSERT_EQ(x->GetNodeCount(), y->GetNodeCount());
        for (int i = 0; i < x->GetNodeCount(); ++i)
            pending.push_back({x->GetNode(i), y->GetNode(i)});
    }
}

QByteArray Utf8File(const QStringList& lines)
{
    return "\xEF\xBB\xBF" + lines.join("\r\n").toUtf8() + "\r\n";
}

QByteArray Utf16LeFile(const QStringList& lines)
{
    const QString text = lines.join("\n");
    QByteArray bytes("\xFF\xFE");
    for (QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    return bytes;
}

void Mutate(TGenerator& g, QByteArray& bytes)
{
    const auto pos = [&] { return bytes.isEmpty() ? 0 : g.Int(0, int(bytes.size())); };
    const auto removeOne = [&](char c) {
        const int start = pos();
        const qsizetype at = bytes.indexOf(c, start);
        if (at >= 0)
            bytes.remove(at, 1);
    };
    switch (g.Int(0, 13)) {
    case 0: bytes.insert(pos(), '\0'); break;
    case 1: {
        static const char* const bad[] = {"\xFF", "\xC3\x28", "\xE2\x82", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80"};
        bytes.insert(pos(), bad[g.Int(0, 5)]);
        break;
    }
    case 2: bytes.insert(pos(), "\xEF\xBB\xBF"); break;
    case 3: bytes.insert(pos(), QByteArray(g.Int(1000, 300000), g.Chance(50) ? 'a' : ' ')); break;
    case 4: removeOne('>'); break;
    case 5: removeOne('"'); break;
    case 6: g.Chance(50) ? bytes.append('&') : bytes.insert(pos(), '&'); break;
    case 7: {
        const int depth = g.Int(MaxNestingDepth - 5, MaxNestingDepth + 50);
        QByteArray open = QByteArray("<d>").repeated(depth);
        if (g.Chance(50))
            open += QByteArray("</d>").repeated(depth);
        bytes.insert(pos(), open);
        break;
    }
    case 8: bytes.truncate(pos()); break;
    case 9:
        if (!bytes.isEmpty())
            bytes[g.Int(0, int(bytes.size()) - 1)] = char(g.Int(0, 255));
        break;
    case 10: {
        const int from = pos();
        const int length = g.Int(0, int(bytes.size()) - from);
        bytes.insert(pos(), bytes.mid(from, length));
        break;
    }
    case 11: {
        static const char* const bits[] = {"<", ">", "/", "=", "\"", "</", "/>", "<!", "<?", "&amp", "&0x", ";", "\r", "\n"};
        bytes.insert(pos(), bits[g.Int(0, 13)]);
        break;
    }
    case 12: bytes.remove(pos(), g.Int(1, 40)); break;
    default: bytes.insert(pos(), QByteArray("<a x=\"").repeated(g.Int(1, 5000))); break;
    }
}

}  // namespace

TEST(XmlRobustness, TreesBuiltThroughTheApiRoundTrip)
{
    const uint64_t seed = Seed("TreesBuiltThroughTheApiRoundTrip");
    TGenerator g(seed);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = qint64(BudgetSeconds() * 1000);
    int rounds = 0;
    for (; clock.elapsed() < budget; ++rounds) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(rounds));
        TMiniXMLParser doc;
        g.RandomTree(doc);
        doc.Build();
        const QStringList first = doc.Lines();

        TMiniXMLParser back;
        back.Lines() = first;
        ASSERT_TRUE(back.Load()) << LastParseErrorText().toStdString();
        ExpectSameTree(doc.Root(), back.Root());
        back.Build();
        ASSERT_EQ(back.Lines(), first);

        // The same through text and through a file.
        if (rounds % 8 == 0) {
            TMiniXMLParser text;
            ASSERT_TRUE(text.LoadFromText(first.join(g.Chance(50) ? "\r\n" : "\n")));
            ExpectSameTree(doc.Root(), text.Root());
            doc.SetFileName(dir.filePath("rt.xml"));
            doc.SaveToFile();
            TMiniXMLParser file;
            ASSERT_TRUE(file.LoadFromFile(dir.filePath("rt.xml"))) << LastParseErrorText().toStdString();
            ExpectSameTree(doc.Root(), file.Root());
        }
    }
    std::cout << rounds << " trees" << std::endl;
}

TEST(XmlRobustness, MutatedInputsFailCleanlyOrLoadConsistently)
{
    const uint64_t seed = Seed("MutatedInputsFailCleanlyOrLoadConsistently");
    TGenerator g(seed);
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QElapsedTimer clock;
    clock.start();
    const qint64 budget = qint64(BudgetSeconds() * 1000);
    int rounds = 0;
    int loaded = 0;
    for (; clock.elapsed() < budget; ++rounds) {
        SCOPED_TRACE("seed " + std::to_string(seed) + " round " + std::to_string(rounds));
        TMiniXMLParser source;
        g.RandomTree(source);
        source.Build();

        QByteArray bytes;
        switch (g.Int(0, 3)) {
        case 0: bytes = ToCodePage(source.Lines().join("\r\n")); break;  // no BOM: 8-bit code page
        case 1: bytes = Utf16LeFile(source.Lines()); break;
        default: bytes = Utf8File(source.Lines()); break;
        }
        for (int m = g.Int(1, 4); m > 0; --m)
            Mutate(g, bytes);

        QElapsedTimer one;
        one.start();
        TMiniXMLParser doc;
        bool ok;
        switch (g.Int(0, 3)) {
        case 0: {
            const QString path = dir.filePath("m.xml");
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            f.close();
            ok = doc.LoadFromFile(path);
            break;
        }
        case 1: {
            // Straight into the line list, as a caller holding lines would.
            doc.Lines() = QString::fromUtf8(bytes).split(u'\n');
            ok = doc.Load();
            break;
        }
        default: ok = doc.LoadFromBytes(bytes); break;
        }
        EXPECT_LT(one.elapsed(), 5000) << "one load took too long";
        if (!ok) {
            ASSERT_FALSE(LastParseError().Message.isEmpty());
            // Whatever was read before the fault must still be writable.
            if (!doc.Root()->Name().isEmpty()) {
                EXPECT_NO_THROW(doc.Build());
            }
            continue;
        }
        ++loaded;
        // A document that loaded writes, and what it writes loads; after one
        // round (which trims texts and settles entity spellings) it is stable.
        ASSERT_NO_THROW(doc.Build());
        TMiniXMLParser second;
        second.Lines() = doc.Lines();
        ASSERT_TRUE(second.Load()) << LastParseErrorText().toStdString();
        second.Build();
        TMiniXMLParser third;
        third.Lines() = second.Lines();
        ASSERT_TRUE(third.Load()) << LastParseErrorText().toStdString();
        third.Build();
        ASSERT_EQ(third.Lines(), second.Lines());
    }
    std::cout << rounds << " inputs, " << loaded << " loaded" << std::endl;
}
