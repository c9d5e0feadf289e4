#include "AppPaths.h"
#include "AppSettings.h"
#include "MiniXMLParser.h"
#include "NameList.h"
#include "ResourceLimits.h"
#include "SessionFixtures.h"
#include "TextBytes.h"
#include "Translation.h"
#include "XmlNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>
#include <vector>

using namespace MiniXMLParser;
using Fixtures::Message;

namespace {

bool LoadLines(TMiniXMLParser& doc, const QStringList& lines)
{
    doc.Lines() = lines;
    return doc.Load();
}

}  // namespace

TEST(MiniXMLWriter, GoldenLines)
{
    TMiniXMLParser doc;
    TXMLNode* root = doc.Root();
    root->SetName("Root");
    root->SetAttributeValue(XmlNames::CreatedBy, XmlNames::CreatedByValue);
    TXMLNode* empty = root->AddNode("Empty");
    empty->SetAttributeValue("b", "2");
    empty->SetAttributeValue("a", "1");
    empty->SetAttributeValue("B", "3");  // same key in other case: replaced in place
    empty->SetAttributeValue("gone", "x");
    empty->SetAttributeValue("gone", "");  // an empty value removes the attribute
    root->AddNode("Text", QString("x<y & \"q\" 'z'\tend\x01") + QChar(0));
    TXMLNode* parent = root->AddNode("Parent");
    parent->SetText("mixed & kept");
    parent->AddNode("Child", "c");
    parent->AddNode("Deeper")->AddNode("Leaf")->SetAttributeValue("v", "a&b\n");
    root->AddNode("Bare");
    doc.Build();

    const QStringList expected = QString::fromUtf8(TestData("golden.writer.xml")).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(doc.Lines(), expected);

    // Building again replaces the lines instead of appending; the text beside
    // children reads back.
    doc.Build();
    EXPECT_EQ(doc.Lines().size(), expected.size());
    TMiniXMLParser back;
    ASSERT_TRUE(LoadLines(back, expected));
    EXPECT_EQ(back.Root()->FindNode("Parent")->GetText(), "mixed & kept");

    // Any indent and unit.
    QStringList lines{"keep"};
    BuildXMLToList(parent, lines, ">", "--");
    EXPECT_EQ(lines, (QStringList{"keep", "><Parent>mixed &amp; kept", ">--<Child>c</Child>", ">--<Deeper>", ">----<Leaf v=\"a&amp;b&0x0a;\"/>",
                                  ">--</Deeper>", "></Parent>"}));
}

TEST(MiniXMLWriter, NamelessElementsAreRefusedWithoutLeavingPartialText)
{
    TMiniXMLParser doc;
    doc.Root()->SetName("Root");
    doc.Root()->AddNode("Good");
    doc.Root()->AddNode("Parent")->AddNode("");
    EXPECT_EQ(Message([&] { doc.Build(); }), "BuildXMLToList: No element name");
    // Half a document must never be saved by accident.
    EXPECT_TRUE(doc.Lines().isEmpty());
    TMiniXMLParser fresh;
    EXPECT_THROW(fresh.Build(), Exception);
}

// The bytes written (a byte-order mark, UTF-8, CR LF) are pinned by the
// session file's and the name list's golden files.
TEST(MiniXMLWriter, SaveToFileWritesNothingOrReportsWhy)
{
    QTemporaryDir dir;
    // An empty line list writes nothing at all.
    TMiniXMLParser doc;
    doc.NewDocument(dir.filePath("none.xml"));
    doc.SaveToFile();
    EXPECT_FALSE(QFile::exists(dir.filePath("none.xml")));

    // A failed write is reported, not swallowed; a directory in the way of
    // the file survives.
    doc.Root()->SetName("R");
    doc.Build();
    doc.SetFileName(dir.filePath("missing/sub/x.xml"));
    EXPECT_TRUE(Message([&] { doc.SaveToFile(); }).startsWith("Cannot write file " + dir.filePath("missing/sub/x.xml") + ": "));
    ASSERT_TRUE(QDir(dir.path()).mkdir("adir"));
    doc.SetFileName(dir.filePath("adir"));
    EXPECT_THROW(doc.SaveToFile(), Exception);
    EXPECT_TRUE(QFileInfo(dir.filePath("adir")).isDir());
}

TEST(MiniXMLWriter, FailedSaveNamesTheSystemsReasonAndKeepsTheOldFile)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // Small enough to sit in a write buffer: a buffered save would only fail
    // at commit, and then without a reason.
    for (const int size : {2000, 100000}) {
        EXPECT_EXIT(
            {
                QTemporaryDir dir;
                const QString path = dir.filePath("s.xml");
                WriteAll(path, "old");
                TMiniXMLParser doc;
                doc.NewDocument(path);
                doc.Root()->SetName("R");
                doc.Root()->AddNode("T", QString(size, u'x'));
                doc.Build();
                ResourceLimits::LimitFileSize(1000);  // room for this child's own stderr
                std::fprintf(stderr, "%s\n", qPrintable(Message([&] { doc.SaveToFile(); })));
                std::_Exit(ReadAll(path) == "old" ? 0 : 1);
            },
            ::testing::ExitedWithCode(0), "Cannot write file .*s\\.xml: File too large")
            << size;
    }
}

TEST(MiniXMLReader, FileEncodingsAndLineBreaks)
{
    // The shared text decoder's byte orders and the files without a mark are
    // covered by the text-file readers' tests. Here: what the XML reader
    // makes of them, and that a bad sequence fails the load naming its line,
    // keeping what came before it.
    const QString text = QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    const QByteArray utf16 = Utf16Bytes("<R><A>" + text + "</A></R>\r\n");
    const struct {
        const char* name;
        QByteArray bytes;
        QString a;          // the text of A after the load
        int children;       // of the root
        const char* error;  // part of the message, "" for a load that succeeds
        int line;
    } files[] = {
        {"utf-8, CR LF, LF and CR", "\xEF\xBB\xBF<R>\r\n<A>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</A>\n<B/>\r<C/>\r\n</R>\r\n", text, 3, "", 0},
        {"utf-16", utf16, text, 1, "", 0},
        {"utf-16, odd byte count", utf16 + "x", "", 0, "UTF-16", 0},
        {"utf-16, half a pair", Utf16Bytes(QString("<R>\r\n<A>x") + QChar(0xD800) + "</A>\r\n</R>"), "", 0, "Invalid UTF-16", 1},
        {"bad utf-8", "\xEF\xBB\xBF<R>\r\n<A>ok</A>\r\n<B>\xC3\x28</B>\r\n</R>\r\n", "ok", 1, "Invalid UTF-8", 2},
        {"utf-8 cut at the end", "\xEF\xBB\xBF<R/>\n\xE2\x82", "", 0, "Invalid UTF-8", 1},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        TMiniXMLParser doc;
        EXPECT_EQ(doc.LoadFromBytes(f.bytes), !*f.error);
        EXPECT_EQ(std::tuple(doc.Root()->GetNodeText("A"), doc.Root()->GetNodeCount()), std::tuple(f.a, f.children));
        EXPECT_TRUE(LastParseError().Message.contains(f.error)) << LastParseError().Message.toStdString();
        if (*f.error) {
            EXPECT_EQ(LastParseError().Line, f.line);
        }
    }

    QTemporaryDir dir;
    WriteAll(dir.filePath("in.xml"), files[0].bytes);
    TMiniXMLParser doc;
    ASSERT_TRUE(doc.LoadFromFile(dir.filePath("in.xml")));
    EXPECT_EQ(std::tuple(doc.FileName(), doc.Lines().size()), std::tuple(dir.filePath("in.xml"), 5));
    EXPECT_TRUE(Message([&] { doc.LoadFromFile(dir.filePath("nope.xml")); }).startsWith("Cannot open file " + dir.filePath("nope.xml") + ": "));
}

TEST(MiniXMLReader, InputIsStoredInCanonicalForm)
{
    // What is read, written back: the tree no longer needs the lines it came
    // from (they are overwritten before the build), and a failed load keeps
    // what was read before the fault in a tree that still builds.
    const QString H = XmlHeaderLine;
    const struct {
        QStringList in;
        bool ok;
        QStringList out;  // empty when the tree cannot be built
    } cases[] = {
        // Hand-written: declaration, comment, entities in any case, blanks.
        {{"<?xml version=\"1.0\"?>", "<!-- note -->", "<R A=\"it's\" b=\"&AMP;&0X41;\">", "\t<T>  He said \"hi\"\t&AMP;left  </T>",
          "<X\tk=\"1\" />", "</R>"},
         true, {H, "<R A=\"it&apos;s\" b=\"&amp;A\">", " <T>He said &quot;hi&quot;&0x09;&amp;left</T>", " <X k=\"1\"/>", "</R>"}},
        {{"<R>&AMP;&Lt;&GT;&apos;&QUOT;&0x41;&0X42;&0x20ac;&0x09;</R>"}, true, {H, "<R>&amp;&lt;&gt;&apos;&quot;AB\u20ac&0x09;</R>"}},
        // A closing tag closes the element when it contains the element's name.
        {{"<R>", "<Shot>1</ShotX>", "</R>"}, true, {H, "<R>", " <Shot>1</Shot>", "</R>"}},
        // Text spread over lines is joined without separators; tags may span lines.
        {{"<R><T>Hello", "World", "  again</T><U", " a=\"1\"", "/></R>"}, true, {H, "<R>", " <T>HelloWorld  again</T>", " <U a=\"1\"/>", "</R>"}},
        {{"<R a=\"1\" b=\"2\">", "<S c=\"3\"/><T d=\"4\"", " e=\"5\"/>", "</R>"}, true,
         {H, "<R a=\"1\" b=\"2\">", " <S c=\"3\"/>", " <T d=\"4\" e=\"5\"/>", "</R>"}},
        // An attribute written with an empty value is absent after reading; a
        // duplicate key in other case keeps one attribute, the last value.
        {{"<R a=\"\" b=\"2\"/>"}, true, {H, "<R b=\"2\"/>"}},
        {{"<R a=\"1\" A=\"2\"/>"}, true, {H, "<R a=\"2\"/>"}},
        // Text after the closed root (a stray line another tool appended) is
        // ignored and logged once.
        {{"<R><A>1</A></R>", "stray line", "more <!-- note -->", " "}, true, {H, "<R>", " <A>1</A>", "</R>"}},
        // The faulty element is not half-added; a bad root tag leaves no root.
        {{"<R a=\"1\">", " <Good>t</Good>", " <Bad x>", " <Later/>", "</R>"}, false, {H, "<R a=\"1\">", " <Good>t</Good>", "</R>"}},
        {{"<R a>"}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in.join("|").toStdString());
        Fixtures::LogCapture log;
        TMiniXMLParser doc;
        EXPECT_EQ(LoadLines(doc, c.in), c.ok) << LastParseErrorText().toStdString();
        EXPECT_EQ(log.lines.size(), c.in.contains("stray line") ? 1 : 0);
        for (QString& line : doc.Lines())
            line.fill(u'#');
        QStringList out;
        try {
            doc.Build();
            out = doc.Lines();
        } catch (const Exception&) {
        }
        EXPECT_EQ(out, c.out);
    }

    // Changing one element read from a line leaves the others of that line.
    TMiniXMLParser doc;
    ASSERT_TRUE(LoadLines(doc, {"<R a=\"1\" b=\"2\"><S c=\"3\"/><T d=\"4\" e=\"5\"/></R>"}));
    TXMLNode* t = doc.Root()->FindNode("T");
    doc.Root()->FindNode("S")->SetAttributeValue("c", "33");
    doc.Root()->FindNode("S")->SetAttributeValue("f", "6");
    t->SetAttributeValue("D", "");
    doc.Root()->SetAttributeValue("a", "");
    doc.Build();
    EXPECT_EQ(doc.Lines(), (QStringList{H, "<R b=\"2\">", " <S c=\"33\" f=\"6\"/>", " <T e=\"5\"/>", "</R>"}));
}

// A loaded element's attributes point into the text it was read from, which
// the element's memory keeps: the tree stays whole after its document, the
// text and the thread that loaded it are gone, and it may be changed and
// freed elsewhere.
TEST(MiniXMLReader, LoadedTreesOutliveTheirDocumentTextAndThread)
{
    const auto text = [] {
        QString t = QStringLiteral("<R>\r\n");
        for (int i = 0; i < 3000; ++i)
            t += QStringLiteral(" <P i=\"%1\" x=\"%2\"/>\r\n").arg(i).arg(-i);
        return t + QStringLiteral("</R>\r\n");
    };
    const auto check = [](const TXMLNode& root) {
        ASSERT_EQ(root.GetNodeCount(), 3000);
        for (int i = 0; i < 3000; i += 7) {
            const TXMLNode* p = root.GetNode(i);
            ASSERT_EQ(std::tuple(p->GetAttributeInt("i"), p->GetAttributeValue("x")), std::tuple(i, QString::number(-i)));
        }
    };
    std::unique_ptr<TXMLNode> root;
    std::thread loader([&] {
        {
            TMiniXMLParser doc;
            ASSERT_TRUE(doc.LoadFromText(text()));
            EXPECT_EQ(doc.Lines().size(), 3002);  // the lines split off, the text dropped
            root = doc.ReleaseRoot();
        }
        // Memory the text would have left free is taken and written over.
        std::vector<QString> scribbles;
        for (int i = 0; i < 8; ++i)
            scribbles.emplace_back(text().size(), u'"');
    });
    loader.join();
    ASSERT_TRUE(root);
    check(*root);
    root->GetNode(5)->SetAttributeValue("x", "changed");
    root->DeleteNode(0);
    EXPECT_EQ(root->GetNode(4)->GetAttributeValue("x"), "changed");
    // Freed on another thread than the one that made it, while a third loads.
    std::thread freer([&] { root.reset(); });
    TMiniXMLParser other;
    ASSERT_TRUE(other.LoadFromText(text()));
    freer.join();
    check(*other.Root());

    // Once its tree is gone the text is free again, also while elements
    // made after it live on.
    const QString kept = text();
    TXMLNode later;
    {
        TMiniXMLParser doc;
        ASSERT_TRUE(doc.LoadFromText(kept));
        EXPECT_FALSE(kept.isDetached());
        for (int i = 0; i < 100; ++i)
            later.AddNode("L")->SetAttributeValues({{u"k", u"v"}});
    }
    EXPECT_TRUE(kept.isDetached());
}

TEST(MiniXMLReader, ParseErrorsCarryMessageTextAndLine)
{
    const QString nested256 = QString("<a>").repeated(256) + QString("</a>").repeated(256);
    const QString nested257 = QString("<a>").repeated(257);
    const QString decode = "TMiniXMLParser::Decode - Invalid entity reference";
    struct ExpectedError {
        QStringList Lines;
        QString Message;
        QString Text;
        int Line;
    };
    const std::vector<ExpectedError> cases = {
        {{}, "TMiniXMLParser::Load - No root element found.", "", 0},
        {{"<R>", "<S>", "</S>"}, "TMiniXMLParser::Load - EOF before closing root node.", "R", 2},
        {{"<R x=\"1"}, "TMiniXMLParser::Load - Incomplete tag at end of file.", "<R x=\"1", 0},
        {{"hello<R/>"}, "TMiniXMLParser::Load - Text element found before root node.", "hello<R/>", 0},
        {{"<R/>", "tail", "<S/>"}, "TMiniXMLParser::Load - Second root element found.", "<S/>", 2},
        {{"</R>"}, "TMiniXMLParser::Load - Closing tag found without open element.", "</R>", 0},
        {{"<R>", "</S>", "</R>"}, "TMiniXMLParser::Load - Invalid closing tag, should be: R", "</S>", 1},
        {{"<R <S>"}, "TMiniXMLParser::Load - Invalid element tag, multiple '<' or '>' found", "<R <S>", 0},
        {{"<>"}, "TXMLNode::ParseFromTag - Empty element name", "<>", 0},
        {{"<R/S>"}, "TXMLNode::ParseFromTag - Invalid element name", "<R/S>", 0},
        {{"<R x>"}, "TXMLNode::ParseFromTag - Parse error on attribute, \\=\" not found", "<R x>", 0},
        {{"<R>", "<S x=\"1>", "</R>"}, "TXMLNode::ParseFromTag - Parse error on attribute, ending \" not found",
         "<S x=\"1>", 1},
        {{"<R>", "x &foo; y</R>"}, decode + ": &foo;", "x &foo; y", 1},
        {{"<R>x & y</R>"}, decode + ", no ending semicolon found", "x & y", 0},
        {{"<R>tail &</R>"}, decode + ", no ending semicolon found", "tail &", 0},
        {{"<R>a&;b</R>"}, decode + ": &;", "a&;b", 0},
        {{"<R>&0x+1;</R>"}, decode + " (hex): &0x+1;", "&0x+1;", 0},
        {{"<R>&0x4;</R>"}, decode + ": &0x4;", "&0x4;", 0},
        {{"<R>&0xd800;</R>"}, decode + " (surrogate): &0xd800;", "&0xd800;", 0},
        {{"<R>", "<S v=\"&0xDFFF;\"/>"}, decode + " (surrogate): &0xdfff;", "&0xDFFF;", 1},
        {{"<R a b=\"1\"/>"}, "TXMLNode::ParseFromTag - Invalid attribute name", "<R a b=\"1\"/>", 0},
        {{"<R =\"1\"/>"}, "TXMLNode::ParseFromTag - Invalid attribute name", "<R =\"1\"/>", 0},
        {{"<R a&quot;=\"1\"/>"}, "TXMLNode::ParseFromTag - Invalid attribute name", "<R a&quot;=\"1\"/>", 0},
        {{"<R a&0x3d;b=\"1\"/>"}, "TXMLNode::ParseFromTag - Invalid attribute name", "<R a&0x3d;b=\"1\"/>", 0},
        {{"<R>", "<S>", nested257}, "TMiniXMLParser::Load - Nesting too deep", QString("<a>").repeated(3), 2},
    };
    for (const ExpectedError& c : cases) {
        TMiniXMLParser doc;
        const bool ok = LoadLines(doc, c.Lines);
        const TParseError& e = LastParseError();
        SCOPED_TRACE(c.Lines.join("|").left(80).toStdString());
        EXPECT_EQ(std::tuple(bool(ok), e.Message), std::tuple(false, c.Message));
        if (c.Message.endsWith("Nesting too deep"))
            EXPECT_TRUE(e.Text.startsWith(c.Text));
        else
            EXPECT_EQ(std::tuple(e.Text, e.Line), std::tuple(c.Text, c.Line));
    }
    // The text the file readers put into their exceptions.
    TMiniXMLParser doc;
    EXPECT_FALSE(LoadLines(doc, {"<ShotFile>", "<Shot>"}));
    EXPECT_EQ(LastParseErrorText(), "TMiniXMLParser::Load - EOF before closing root node.Shot1");

    // 256 levels are fine, and a success clears the previous error.
    EXPECT_TRUE(LoadLines(doc, {nested256}));
    EXPECT_TRUE(LastParseError().Message.isEmpty());
}

TEST(MiniXMLReader, LongInputsParseInLinearTime)
{
    // A plain substring search for the closing tag, or text and tags joined
    // line by line, would take hours here: ctest's time-out bounds the time.
    const QString a(2000000, u'a');
    const QString name = "b" + a;
    TMiniXMLParser doc;
    ASSERT_TRUE(LoadLines(doc, {"<" + name + ">", "</" + a + name + ">"}));
    EXPECT_EQ(doc.Root()->Name(), name);
    EXPECT_FALSE(LoadLines(doc, {"<" + name + ">", "</" + a + a + ">"}));
    EXPECT_TRUE(LastParseError().Message.startsWith("TMiniXMLParser::Load - Invalid closing tag"));

    // One text over many lines, one tag over many lines.
    QStringList lines{"<R>", "<T>"};
    for (int i = 0; i < 100000; ++i)
        lines.append("abcdefghij");
    lines << "</T>" << "<U";
    for (int i = 0; i < 20000; ++i)
        lines.append(QString(" a%1=\"%1\"").arg(i));
    lines << "/>" << "</R>";
    ASSERT_TRUE(LoadLines(doc, lines));
    EXPECT_EQ(doc.Root()->GetNodeText("T").size(), 1000000);
    EXPECT_EQ(doc.Root()->FindNode("U")->GetAttributeCount(), 20000);
}

// Most accessors are exercised through the file readers; here the failures
// and the rules those do not reach.
TEST(MiniXMLNode, ChildrenAttributesAndTypedValues)
{
    TXMLNode root;
    ASSERT_TRUE(root.ParseFromTag("<R i=\"12\" X=\"-1.5\"  c=\"0,5\" bad=\"1x\">"));
    // A failed parse leaves the node as it was.
    EXPECT_FALSE(root.ParseFromTag("<Other b=\"1>"));
    EXPECT_EQ(LastParseError().Text, "<Other b=\"1>");
    EXPECT_EQ(root.Name() + root.GetAttributeValue("I"), "R12");  // keys ignore letter case
    EXPECT_DOUBLE_EQ(root.GetAttributeFloat("x") + root.GetAttributeFloat("c"), -1.0);
    EXPECT_THROW(root.GetAttributeFloat("bad"), EConvertError);
    EXPECT_EQ(Message([&] { root.GetAttributeValue("missing"); }), "TXMLNode::GetAttributeValue - Invalid Key (not found)");
    // Names that could not be written back as themselves are refused.
    for (const char* bad : {"", "a b", " a", "a=b", "a\"b"}) {
        EXPECT_EQ(Message([&] { root.SetAttributeValue(bad, "v"); }), "TXMLNode::SetAttributeValue - Invalid attribute name")
            << bad;
    }
    EXPECT_EQ(root.GetAttributeCount(), 4);

    root.AddNode("A", "");
    root.AddNode("B", "2,25");
    EXPECT_EQ(root.FindNode("a"), nullptr);  // element names are case-sensitive
    EXPECT_DOUBLE_EQ(root.GetNodeFloat("A", 9) + root.GetNodeFloat("missing", 8), 17);  // empty or missing: the default
    EXPECT_THROW(root.GetNodeInt("B"), EConvertError);
    for (int bad : {-1, 2}) {
        EXPECT_EQ(Message([&] { root.GetNode(bad); }), "TXMLNode::GetNode - Invalid Index (out of limits)");
        EXPECT_EQ(Message([&] { root.DeleteNode(bad); }), "TXMLNode::GetNode - Invalid Index (out of limits)");
    }
}

// Half a surrogate pair would be saved as "?" and its entity is refused on
// load: set through the tree it is refused at once and changes nothing; whole
// pairs go to the file and back.
TEST(MiniXMLNode, LoneSurrogatesAreRefusedWhenSet)
{
    const QString high(QChar(char16_t(0xD83D))), low(QChar(char16_t(0xDE00)));
    const QString pair = high + low;
    const QString refused = QStringLiteral("TMiniXMLParser::Decode - Invalid entity reference (surrogate): ");
    QTemporaryDir dir;
    const QString path = dir.filePath("s.xml");
    TMiniXMLParser doc;
    doc.NewDocument(path);
    TXMLNode* root = doc.Root();
    root->SetName("R");
    root->SetAttributeValue("v", "old");
    TXMLNode* child = root->AddNode("C", "old");
    const struct {
        QString text;
        QString entity;
    } cases[] = {{high, "&0xd83d;"}, {"a" + low + "b", "&0xde00;"}, {low + high, "&0xde00;"}, {pair + high, "&0xd83d;"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entity.toStdString());
        EXPECT_EQ(Message([&] { root->SetAttributeValue("v", c.text); }), refused + c.entity);
        EXPECT_EQ(Message([&] { root->SetAttributeValues({{u"w", c.text}}); }), refused + c.entity);
        EXPECT_EQ(Message([&] { root->SetAttributeValue("k" + c.text, "x"); }), refused + c.entity);
        EXPECT_EQ(Message([&] { child->SetText(c.text); }), refused + c.entity);
        EXPECT_EQ(Message([&] { root->AddNode("D", c.text); }), refused + c.entity);
        EXPECT_EQ(Message([&] { root->SetNodeText("C", c.text); }), refused + c.entity);
        EXPECT_EQ(Message([&] { child->SetName("C" + c.text); }), refused + c.entity);
        EXPECT_EQ(Message([&] { root->AddNode("D" + c.text); }), refused + c.entity);
        // Read from a tag, a text or lines: the load fails, naming the line.
        TXMLNode tag;
        EXPECT_FALSE(tag.ParseFromTag("<T a=\"" + c.text + "\">"));
        EXPECT_EQ(std::tuple(LastParseError().Message, tag.Name()), std::tuple(refused + c.entity, QString()));
        TMiniXMLParser text;
        EXPECT_FALSE(text.LoadFromText("<R>\n<S v=\"" + c.text + "\"/>\n</R>"));
        EXPECT_EQ(std::tuple(LastParseError().Message, LastParseError().Line), std::tuple(refused + c.entity, 1));
        TMiniXMLParser lines;
        lines.Lines() = QStringList{"<R>", "<S>" + c.text + "</S>", "</R>"};
        EXPECT_FALSE(lines.Load());
        EXPECT_EQ(std::tuple(LastParseError().Message, LastParseError().Line), std::tuple(refused + c.entity, 1));
    }
    EXPECT_EQ(std::tuple(root->GetAttributeValue("v"), root->GetAttributeCount(), child->GetText(), root->GetNodeCount(),
                         child->Name()),
              std::tuple(QStringLiteral("old"), 1, QStringLiteral("old"), 1, QStringLiteral("C")));

    root->SetAttributeValue("v", pair);
    child->SetText("x" + pair);
    doc.Build();
    doc.SaveToFile();
    TMiniXMLParser again;
    ASSERT_TRUE(again.LoadFromFile(path));
    EXPECT_EQ(again.Root()->GetAttributeValue("v") + again.Root()->GetNodeText("C"), pair + "x" + pair);
}

TEST(MiniXMLNode, DeepTreesNeitherOverflowNorWriteUnloadableText)
{
    // Far deeper than any stack would allow recursively.
    {
        auto root = std::make_unique<TXMLNode>();
        TXMLNode* n = root.get();
        for (int i = 0; i < 200000; ++i)
            n = n->AddNode("d");
        root->GetNode(0)->DeleteNode(0);
        n = root.get();
        for (int i = 0; i < 100000; ++i)
            n = n->AddNode("e");
        root->Clear();
        for (int i = 0; i < 100000; ++i)
            n = (i == 0 ? root.get() : n)->AddNode("f");
    }  // destroyed here

    TMiniXMLParser doc;
    doc.Root()->SetName("a");
    TXMLNode* n = doc.Root();
    for (int depth = 2; depth <= MaxNestingDepth; ++depth)
        n = n->AddNode("a");
    doc.Build();
    const QStringList lines = doc.Lines();
    TMiniXMLParser back;
    EXPECT_TRUE(LoadLines(back, lines)) << LastParseErrorText().toStdString();

    n->AddNode("a");  // one level too many: refused rather than written
    EXPECT_EQ(Message([&] { doc.Build(); }), "BuildXMLToList: Nesting too deep");
    EXPECT_TRUE(doc.Lines().isEmpty());
}

TEST(ModelLoaders, AllocationFailureIsALoadFailure)
{
    if (!ResourceLimits::MemoryLimitUsable)
        GTEST_SKIP() << "sanitizers reserve the address space a limit would cut";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A million elements, or eight million lines, need more than twice the
    // 64 MB the child may grow by. Each loader must fail without throwing.
    const auto elements = [](QByteArray root) {
        return "<" + root + ">" + QByteArray("<a/>").repeated(1000000) + "</" + root + ">";
    };
    const std::tuple<const char*, QByteArray, std::function<bool(const QString&)>> cases[] = {
        {"xml", elements("R"), [](const QString& path) {
             TMiniXMLParser doc;
             return !doc.LoadFromFile(path) && LastParseError().Message.contains("Not enough memory");
         }},
        {"name list", elements(XmlNames::NameListFile), [](const QString& path) {
             TShooterNameFileHandler list;
             return !list.LoadFromFile(path) && list.TeamCount() == 1;
         }},
        {"translation", QByteArray(8000000, '\n'), [](const QString& path) { return !LoadTranslationList(path); }},
        {"settings", elements(XmlNames::AppSettings), [](const QString& path) {
             SetAppDataFolder(path + ".data");
             QDir().mkpath(DataFolder());
             QFile::copy(path, SettingsFileName());
             LoadApplicationSettings();
             return SettingsRoot()->FindNode("a") == nullptr;
         }},
    };
    for (const auto& [name, content, loadFails] : cases) {
        EXPECT_EXIT(
            {
                QTemporaryDir dir;
                WriteAll(dir.filePath("big"), content);
                ResourceLimits::LimitMemoryGrowth(64 << 20);
                try {
                    std::_Exit(loadFails(dir.filePath("big")) ? 0 : 1);
                } catch (...) {
                    std::_Exit(2);
                }
            },
            ::testing::ExitedWithCode(0), "")
            << name;
    }
}

// Writing straight from the tree gives the bytes of Build and SaveToFile, for
// names and texts that need entities or are not ASCII (a pair of surrogates
// among them), at the deepest nesting allowed; what Build refuses it refuses
// too, leaving the file as it was.
TEST(MiniXMLWriter, BuildAndSaveWritesWhatBuildAndSaveToFileWrite)
{
    QTemporaryDir dir;
    TMiniXMLParser doc;
    TXMLNode* root = doc.Root();
    root->SetName(QString::fromUtf8("R\xC3\xBC<t>"));
    root->SetAttributeValue("k\u00e9y", QString::fromUtf8("v\xF0\x9F\x98\x80 \"q\" &\t"));
    root->AddNode("T", "a < b & 'c'\x01")->SetAttributeValue("A", "1");
    root->AddNode(QString::fromUtf8("\xE2\x82\xAC"), QString::fromUtf8("\xE2\x82\xAC 5"));
    root->AddNode("E");
    TXMLNode* n = root->AddNode("Deep");
    for (int depth = 3; depth <= MaxNestingDepth; ++depth)
        n = n->AddNode(depth % 2 ? "a" : "b", depth == MaxNestingDepth ? "leaf" : "");
    root->SetText("both text and children");

    doc.SetFileName(dir.filePath("lines.xml"));
    doc.Build();
    doc.SaveToFile();
    doc.SetFileName(dir.filePath("direct.xml"));
    doc.BuildAndSave();
    EXPECT_EQ(ReadAll(dir.filePath("direct.xml")), ReadAll(dir.filePath("lines.xml")));
    EXPECT_TRUE(doc.Lines().isEmpty());

    n->AddNode("a");
    EXPECT_EQ(Message([&] { doc.BuildAndSave(); }), "BuildXMLToList: Nesting too deep");
    n->DeleteNode(0);
    root->AddNode("x")->SetName("");
    EXPECT_EQ(Message([&] { doc.BuildAndSave(); }), "BuildXMLToList: No element name");
    EXPECT_EQ(ReadAll(dir.filePath("direct.xml")), ReadAll(dir.filePath("lines.xml")));
}

// Elements given their attributes in one go, thousands of them (many share a
// block of storage): each keeps its own after its neighbours change, remove
// or gain attributes, or are deleted with a whole other tree.
TEST(MiniXMLNode, AttributesSetInOneGoStayEachElementsOwn)
{
    TMiniXMLParser doc;
    doc.Root()->SetName("R");
    auto other = std::make_unique<TXMLNode>();
    std::vector<TXMLNode*> kept;
    for (int i = 0; i < 5000; ++i) {
        const QString n = QString::number(i);
        TXMLNode* e = (i % 3 == 2 ? other.get() : doc.Root())->AddNode("P");
        e->SetAttributeValues({ { u"i", n }, { u"X", QString(i % 700, u'x') }, { u"Y", i % 2 ? n : QString() } });
        if (i % 3 != 2)
            kept.push_back(e);
    }
    for (size_t k = 0; k < kept.size(); k += 2) {
        kept[k]->SetAttributeValue("Y", "changed");
        kept[k]->SetAttributeValue("i", "");
    }
    other.reset();
    for (size_t k = 0; k < kept.size(); ++k) {
        const int i = int(k / 2 * 3 + k % 2);
        SCOPED_TRACE(i);
        ASSERT_EQ(kept[k]->GetAttributeValueDef("i", "-"), k % 2 ? QString::number(i) : "-");
        ASSERT_EQ(kept[k]->GetAttributeValueDef("X", ""), QString(i % 700, u'x'));
        ASSERT_EQ(kept[k]->GetAttributeValueDef("Y", ""), k % 2 == 0 ? "changed" : i % 2 ? QString::number(i) : "");
    }
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TRAXEL_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) && !defined(TRAXEL_TEST_ASAN)
#define TRAXEL_TEST_ASAN 1
#endif

// Elements share blocks of memory that outlive each of them; under the
// address sanitizer a freed element (and the attribute text kept beside it)
// is still reported when touched, whether it was made through the API or
// loaded and freed with its subtree.
TEST(MiniXMLNode, FreedElementsAreReportedByTheAddressSanitizer)
{
#if !defined(TRAXEL_TEST_ASAN)
    GTEST_SKIP() << "needs a build with the address sanitizer";
#else
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const auto touch = [](const TXMLNode* freed) {
        volatile qsizetype size = freed->Name().size();
        (void)size;
    };
    TMiniXMLParser doc;
    ASSERT_TRUE(doc.LoadFromText("<R>\n <A>\n  <a1 x=\"1\"/>\n  <a2/>\n </A>\n <B y=\"2\"/>\n</R>\n"));
    TXMLNode* root = doc.Root();
    // A made and freed at once: its block is still the one being filled.
    TXMLNode* made = root->AddNode("Made");
    made->SetAttributeValues({{u"k", u"value"}});
    QStringView beside;
    made->ForEachAttribute([&beside](QStringView, QStringView value) { beside = value; });
    TXMLNode* loaded = root->GetNode(0);
    TXMLNode* loadedChild = loaded->GetNode(0);
    root->DeleteNode(2);
    root->DeleteNode(0);  // B keeps the loaded block
    EXPECT_DEATH(touch(made), "use-after-poison");
    EXPECT_DEATH(touch(loaded), "use-after-poison");
    EXPECT_DEATH(touch(loadedChild), "use-after-poison");
    EXPECT_DEATH((void)*static_cast<volatile const char16_t*>(beside.utf16()), "use-after-poison");
    EXPECT_EQ(root->GetNode(0)->GetAttributeValue("y"), "2");
#endif
}
