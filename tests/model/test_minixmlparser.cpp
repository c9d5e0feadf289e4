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
#include <tuple>

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
    root->AddNode("Text", "x<y & \"q\" 'z'\tend");
    TXMLNode* parent = root->AddNode("Parent");
    parent->SetText("mixed & kept");
    parent->AddNode("Child", "c");
    parent->AddNode("Deeper")->AddNode("Leaf")->SetAttributeValue("v", "a&b\n");
    root->AddNode("Bare");
    doc.Build();

    const QStringList expected = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
        "<Root CreatedBy=\"TRAXEL 2.1\">",
        " <Empty b=\"3\" a=\"1\"/>",
        " <Text>x&lt;y &amp; &quot;q&quot; &apos;z&apos;&0x09;end</Text>",
        " <Parent>mixed &amp; kept",
        "  <Child>c</Child>",
        "  <Deeper>",
        "   <Leaf v=\"a&amp;b&0x0a;\"/>",
        "  </Deeper>",
        " </Parent>",
        " <Bare/>",
        "</Root>",
    };
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
    doc.Build();
    ASSERT_EQ(doc.Lines().size(), 2);

    doc.Root()->AddNode("Good");
    doc.Root()->AddNode("Parent")->AddNode("");
    EXPECT_EQ(Message([&] { doc.Build(); }), "BuildXMLToList: No element name");
    // Half a document must never be saved by accident.
    EXPECT_TRUE(doc.Lines().isEmpty());

    TMiniXMLParser fresh;
    EXPECT_THROW(fresh.Build(), Exception);
}

TEST(MiniXMLWriter, SaveToFileWritesUtf8WithBomAndCrLf)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("out.xml");

    TMiniXMLParser doc;
    doc.NewDocument(path);
    doc.Root()->SetName("R");
    doc.Root()->AddNode("T", QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    doc.Build();
    doc.SaveToFile();
    EXPECT_EQ(ReadAll(path), QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<R>\r\n"
                                        " <T>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</T>\r\n</R>\r\n"));


    // An empty line list writes nothing at all.
    TMiniXMLParser none;
    none.NewDocument(dir.filePath("none.xml"));
    none.SaveToFile();
    EXPECT_FALSE(QFile::exists(dir.filePath("none.xml")));

    // A failed write is reported, not swallowed.
    TMiniXMLParser bad;
    bad.NewDocument(dir.filePath("missing/sub/x.xml"));
    bad.Root()->SetName("R");
    bad.Build();
    EXPECT_TRUE(Message([&] { bad.SaveToFile(); }).startsWith("Cannot write file " + dir.filePath("missing/sub/x.xml") + ": "));
    // A directory in the way of the file: the write fails and it survives.
    ASSERT_TRUE(QDir(dir.path()).mkdir("adir"));
    bad.SetFileName(dir.filePath("adir"));
    EXPECT_THROW(bad.SaveToFile(), Exception);
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
    QTemporaryDir dir;
    const QString path = dir.filePath("in.xml");
    const QString text = QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");

    // UTF-8 with BOM; CR LF, LF and a lone CR all end a line.
    WriteAll(path, "\xEF\xBB\xBF<R>\r\n<A>\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80</A>\n<B/>\r<C/>\r\n</R>\r\n");
    TMiniXMLParser doc;
    ASSERT_TRUE(doc.LoadFromFile(path));
    EXPECT_EQ(doc.FileName(), path);
    EXPECT_EQ(doc.Lines().size(), 5);
    EXPECT_EQ(doc.Root()->GetNodeText("A"), text);
    EXPECT_EQ(doc.Root()->GetNodeCount(), 3);

    // UTF-16 (the shared decoder's byte orders and the files without a mark
    // are covered by the text-file readers' tests); an odd byte count fails.
    const QByteArray le = Utf16Bytes("<R><A>" + text + "</A></R>\r\n");
    ASSERT_TRUE(doc.LoadFromBytes(le));
    EXPECT_EQ(doc.Root()->GetNodeText("A"), text);
    EXPECT_FALSE(doc.LoadFromBytes(le + "x"));
    EXPECT_FALSE(LastParseError().Message.isEmpty());

    // Half a surrogate pair in UTF-16 is refused, naming its line.
    EXPECT_FALSE(doc.LoadFromBytes(Utf16Bytes(QString("<R>\r\n<A>x") + QChar(0xD800) + "</A>\r\n</R>")));
    EXPECT_TRUE(LastParseError().Message.contains("Invalid UTF-16")) << LastParseError().Message.toStdString();
    EXPECT_EQ(LastParseError().Line, 1);
    EXPECT_EQ(doc.Root()->FindNode("A"), nullptr);

    // A bad UTF-8 sequence is an error naming its line; what came before it
    // stays readable.
    WriteAll(path, "\xEF\xBB\xBF<R>\r\n<A>ok</A>\r\n<B>\xC3\x28</B>\r\n</R>\r\n");
    EXPECT_FALSE(doc.LoadFromFile(path));
    EXPECT_TRUE(LastParseError().Message.contains("Invalid UTF-8")) << LastParseError().Message.toStdString();
    EXPECT_EQ(LastParseError().Line, 2);
    EXPECT_EQ(doc.Root()->GetNodeText("A"), "ok");
    EXPECT_EQ(doc.Root()->FindNode("B"), nullptr);
    // A sequence cut off at the end of the file counts too.
    EXPECT_FALSE(doc.LoadFromBytes("\xEF\xBB\xBF<R/>\n\xE2\x82"));
    EXPECT_EQ(LastParseError().Line, 1);

    // A file that cannot be opened throws.
    EXPECT_TRUE(Message([&] { doc.LoadFromFile(dir.filePath("nope.xml")); }).startsWith("Cannot open file " + dir.filePath("nope.xml") + ": "));
}

TEST(MiniXMLReader, HandWrittenInputIsStoredInCanonicalForm)
{
    TMiniXMLParser doc;
    ASSERT_TRUE(LoadLines(doc, {"<?xml version=\"1.0\"?>", "<!-- note -->", "<R A=\"it's\" b=\"&AMP;&0X41;\">",
                                "\t<T>  He said \"hi\"\t&AMP;left  </T>", "<X\tk=\"1\" />", "</R>"}));
    TXMLNode* r = doc.Root();
    EXPECT_EQ(r->GetAttributeValue("a"), "it's");
    EXPECT_EQ(r->GetAttributeValue("B"), "&A");
    EXPECT_EQ(r->GetNodeText("T"), "He said \"hi\"\t&left");
    EXPECT_EQ(r->FindNode("X")->GetAttributeInt("k"), 1);
    doc.Build();
    EXPECT_EQ(doc.Lines(), (QStringList{XmlHeaderLine, "<R A=\"it&apos;s\" b=\"&amp;A\">",
                                        " <T>He said &quot;hi&quot;&0x09;&amp;left</T>", " <X k=\"1\"/>", "</R>"}));
}

TEST(MiniXMLReader, ParseErrorsCarryMessageTextAndLine)
{
    const QString nested256 = QString("<a>").repeated(256) + QString("</a>").repeated(256);
    const QString nested257 = QString("<a>").repeated(257);
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
        {{"<R>", "x &foo; y</R>"}, "TMiniXMLParser::Decode - Invalid entity reference: &foo;", "x &foo; y", 1},
        {{"<R>x & y</R>"}, "TMiniXMLParser::Decode - Invalid entity reference, no ending semicolon found", "x & y", 0},
        {{"<R>&0xd800;</R>"}, "TMiniXMLParser::Decode - Invalid entity reference (surrogate): &0xd800;", "&0xd800;", 0},
        {{"<R>", "<S v=\"&0xDFFF;\"/>"}, "TMiniXMLParser::Decode - Invalid entity reference (surrogate): &0xdfff;",
         "&0xDFFF;", 1},
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
        EXPECT_FALSE(ok);
        EXPECT_EQ(e.Message, c.Message);
        if (c.Message.endsWith("Nesting too deep"))
            EXPECT_TRUE(e.Text.startsWith(c.Text));
        else
            EXPECT_EQ(e.Text, c.Text);
        EXPECT_EQ(e.Line, c.Line);
    }
    // The text the file readers put into their exceptions.
    TMiniXMLParser doc;
    EXPECT_FALSE(LoadLines(doc, {"<ShotFile>", "<Shot>"}));
    EXPECT_EQ(LastParseErrorText(), "TMiniXMLParser::Load - EOF before closing root node.Shot1");

    // 256 levels are fine, and a success clears the previous error.
    EXPECT_TRUE(LoadLines(doc, {nested256}));
    EXPECT_TRUE(LastParseError().Message.isEmpty());
}

TEST(MiniXMLReader, FailedLoadKeepsWhatWasReadBefore)
{
    TMiniXMLParser doc;
    EXPECT_FALSE(LoadLines(doc, {"<R a=\"1\">", " <Good>t</Good>", " <Bad x>", " <Later/>", "</R>"}));
    EXPECT_EQ(doc.Root()->Name(), "R");
    EXPECT_EQ(doc.Root()->GetAttributeValue("a"), "1");
    // The faulty element is not half-added: the partial tree can still be built.
    ASSERT_EQ(doc.Root()->GetNodeCount(), 1);
    EXPECT_EQ(doc.Root()->GetNodeText("Good"), "t");
    EXPECT_NO_THROW(doc.Build());

    // A bad root tag leaves an empty root.
    EXPECT_FALSE(LoadLines(doc, {"<R a>"}));
    EXPECT_EQ(doc.Root()->Name(), "");
}

TEST(MiniXMLReader, LoadedTreeIsIndependentOfItsLines)
{
    TMiniXMLParser doc;
    ASSERT_TRUE(LoadLines(doc, {"<R a=\"1\" b=\"2\">", "<S c=\"3\"/><T d=\"4\"", " e=\"5\"/>", "</R>"}));
    doc.Lines()[1] = "<S c=\"x\"/>";
    doc.Lines()[2].clear();
    TXMLNode* r = doc.Root();
    TXMLNode* s = r->FindNode("S");
    TXMLNode* t = r->FindNode("T");
    EXPECT_EQ(s->GetAttributeValue("c"), "3");
    EXPECT_EQ(t->GetAttributeValue("e"), "5");
    s->SetAttributeValue("c", "33");
    s->SetAttributeValue("f", "6");
    t->SetAttributeValue("D", "");
    r->SetAttributeValue("a", "");
    EXPECT_EQ(t->GetAttributeValue("e"), "5");
    doc.Build();
    EXPECT_EQ(doc.Lines(), (QStringList{XmlHeaderLine, "<R b=\"2\">", " <S c=\"33\" f=\"6\"/>", " <T e=\"5\"/>", "</R>"}));
}

TEST(MiniXMLReader, LenientForms)
{
    TMiniXMLParser doc;
    // A closing tag closes the element when it contains the element's name.
    ASSERT_TRUE(LoadLines(doc, {"<R>", "<Shot>1</ShotX>", "</R>"}));
    EXPECT_EQ(doc.Root()->GetNodeText("Shot"), "1");

    // Text spread over lines is joined without separators; tags may span lines.
    ASSERT_TRUE(LoadLines(doc, {"<R><T>Hello", "World", "  again</T><U", " a=\"1\"", "/></R>"}));
    EXPECT_EQ(doc.Root()->GetNodeText("T"), "HelloWorld  again");
    EXPECT_EQ(doc.Root()->FindNode("U")->GetAttributeValue("a"), "1");

    // An attribute written with an empty value is absent after reading.
    ASSERT_TRUE(LoadLines(doc, {"<R a=\"\" b=\"2\"/>"}));
    EXPECT_EQ(doc.Root()->GetAttributeCount(), 1);
    EXPECT_EQ(doc.Root()->GetAttributeValueDef("a", "none"), "none");

    // Text after the closed root (a stray line another tool appended) is
    // ignored and logged once.
    QStringList log;
    SetDebugLogSink([&log](const QString& line) { log << line; });
    const bool tailOk = LoadLines(doc, {"<R><A>1</A></R>", "stray line", "more <!-- note -->", " "});
    SetDebugLogSink(nullptr);
    ASSERT_TRUE(tailOk) << LastParseErrorText().toStdString();
    EXPECT_EQ(doc.Root()->GetNodeText("A"), "1");
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log[0].contains("stray line")) << log[0].toStdString();

    // A duplicate key in other case keeps one attribute, the last value.
    ASSERT_TRUE(LoadLines(doc, {"<R a=\"1\" A=\"2\"/>"}));
    EXPECT_EQ(doc.Root()->GetAttributeCount(), 1);
    EXPECT_EQ(doc.Root()->GetAttributeValue("a"), "2");

    // Long inputs stay linear: one text over many lines, one tag over many lines.
    QStringList lines{"<R>", "<T>"};
    for (int i = 0; i < 100000; ++i)
        lines.append("abcdefghij");
    lines.append("</T>");
    lines.append("<U");
    for (int i = 0; i < 20000; ++i)
        lines.append(QString(" a%1=\"%1\"").arg(i));
    lines.append("/>");
    lines.append("</R>");
    ASSERT_TRUE(LoadLines(doc, lines));
    EXPECT_EQ(doc.Root()->GetNodeText("T").size(), 1000000);
    EXPECT_EQ(doc.Root()->FindNode("U")->GetAttributeCount(), 20000);
}

TEST(MiniXMLReader, ClosingTagsMatchInLinearTime)
{
    // A long name nearly repeated in a long closing tag: a plain substring
    // search needs hours here, so ctest's time-out bounds the time.
    const QString a(2000000, u'a');
    const QString name = "b" + a;
    TMiniXMLParser doc;
    ASSERT_TRUE(LoadLines(doc, {"<" + name + ">", "</" + a + name + ">"}));
    EXPECT_EQ(doc.Root()->Name(), name);
    EXPECT_FALSE(LoadLines(doc, {"<" + name + ">", "</" + a + a + ">"}));
    EXPECT_TRUE(LastParseError().Message.startsWith("TMiniXMLParser::Load - Invalid closing tag"));
}

TEST(MiniXMLDecode, EntitiesAndFailures)
{
    QString out;
    EXPECT_TRUE(TMiniXMLParser::Decode("&AMP;&Lt;&GT;&apos;&QUOT;", out));
    EXPECT_EQ(out, "&<>'\"");
    EXPECT_TRUE(TMiniXMLParser::Decode("&0x41;&0X42;&0x20ac;&0x09;", out));
    EXPECT_EQ(out, QString::fromUtf8("AB\xE2\x82\xAC\t"));
    EXPECT_TRUE(TMiniXMLParser::Decode("plain", out));
    EXPECT_EQ(out, "plain");

    struct Bad {
        const char* Text;
        const char* Message;
    };
    const Bad bad[] = {
        {"&0x+1;", "TMiniXMLParser::Decode - Invalid entity reference (hex): &0x+1;"},
        {"&0x4;", "TMiniXMLParser::Decode - Invalid entity reference: &0x4;"},
        {"a&;b", "TMiniXMLParser::Decode - Invalid entity reference: &;"},
        {"tail &", "TMiniXMLParser::Decode - Invalid entity reference, no ending semicolon found"},
    };
    for (const Bad& b : bad) {
        EXPECT_FALSE(TMiniXMLParser::Decode(b.Text, out)) << b.Text;
        EXPECT_EQ(LastParseError().Message, b.Message);
        EXPECT_EQ(LastParseError().Text, b.Text);
    }

    EXPECT_EQ(TMiniXMLParser::Encode(QString("\x01\x1f ok") + QChar(0)), "&0x01;&0x1f; ok&0x00;");
    EXPECT_EQ(TMiniXMLParser::Encode("<&>'\""), "&lt;&amp;&gt;&apos;&quot;");
}

TEST(MiniXMLNode, ParseFromTag)
{
    TXMLNode n;
    ASSERT_TRUE(n.ParseFromTag("<Pt i=\"12\" X=\"-1.5\"  Y=\"x&lt;y\"/>"));
    EXPECT_EQ(n.Name(), "Pt");
    ASSERT_EQ(n.GetAttributeCount(), 3);
    EXPECT_EQ(n.AttributeValueAt(1), "-1.5");
    EXPECT_EQ(n.GetAttributeValue("y"), "x<y");

    // A failed parse leaves the node as it was.
    EXPECT_FALSE(n.ParseFromTag("<Other b=\"1>"));
    EXPECT_EQ(LastParseError().Text, "<Other b=\"1>");
    EXPECT_EQ(n.Name(), "Pt");
    EXPECT_EQ(n.GetAttributeValue("i"), "12");
}

TEST(MiniXMLNode, ChildrenAndAttributes)
{
    TXMLNode root;
    root.SetName("R");
    TXMLNode* a = root.AddNode("A", "1");
    root.AddNode("B", "x");
    TXMLNode* a2 = root.AddNode("A", "2");
    EXPECT_EQ(root.FindNode("A"), a);
    EXPECT_EQ(root.FindNode("a"), nullptr);  // element names are case-sensitive
    EXPECT_EQ(root.FindNthNode("A", 1), a2);
    EXPECT_EQ(root.GetNodeInt("A"), 1);
    EXPECT_THROW(root.GetNodeInt("B"), EConvertError);
    EXPECT_THROW(root.GetNodeInt("missing"), EConvertError);
    for (int bad : {-1, 3}) {
        EXPECT_EQ(Message([&] { root.GetNode(bad); }), "TXMLNode::GetNode - Invalid Index (out of limits)");
        EXPECT_EQ(Message([&] { root.DeleteNode(bad); }), "TXMLNode::GetNode - Invalid Index (out of limits)");
    }
    root.DeleteNode(0);
    EXPECT_EQ(root.FindNode("A"), a2);
    root.AddNode("E");
    root.SetNodeTextDefault("E", "def");  // an empty text takes the default
    EXPECT_EQ(root.GetNodeText("E"), "def");

    TXMLNode* net = root.SetNodeAttributeDefault(XmlNames::Network, XmlNames::Mode, XmlNames::ModeDisable);
    net->SetAttributeValue("mode", XmlNames::ModeNode);  // keys ignore letter case
    EXPECT_EQ(root.SetNodeAttributeDefault(XmlNames::Network, XmlNames::Mode, XmlNames::ModeDisable), net);
    EXPECT_EQ(net->GetAttributeValue(XmlNames::Mode), QString(XmlNames::ModeNode));
    EXPECT_EQ(net->GetAttributeCount(), 1);
    EXPECT_EQ(Message([&] { net->GetAttributeValue("missing"); }), "TXMLNode::GetAttributeValue - Invalid Key (not found)");
    EXPECT_THROW(net->GetAttributeInt(XmlNames::Mode), EConvertError);
    EXPECT_THROW(net->AttributeNameAt(2), Exception);

    // Names that could not be written back as themselves are refused.
    for (const char* bad : {"", "a b", " a", "a=b", "a\"b"}) {
        EXPECT_EQ(Message([&] { net->SetAttributeValue(bad, "v"); }),
                  "TXMLNode::SetAttributeValue - Invalid attribute name")
            << bad;
    }
    EXPECT_EQ(net->GetAttributeCount(), 1);
}

TEST(MiniXMLNode, FloatsUnderEitherDecimalSeparator)
{
    Fixtures::SeparatorGuard guard;
    for (QChar sep : {QChar(','), QChar('.')}) {
        SetDecimalSeparator(sep);
        SCOPED_TRACE(std::string(1, char(sep.unicode())));
        TMiniXMLParser doc;
        ASSERT_TRUE(LoadLines(doc, {"<R a=\"0,5\" b=\"0.5\" c=\"-12\" bad=\"1x\">", "<T>2,25</T>", "<U>2.25</U>", "<E></E>",
                                    "<W>word</W>", "</R>"}));
        TXMLNode* r = doc.Root();
        EXPECT_DOUBLE_EQ(r->GetAttributeFloat("a"), 0.5);
        EXPECT_DOUBLE_EQ(r->GetAttributeFloat("b"), 0.5);
        EXPECT_DOUBLE_EQ(r->GetAttributeFloatDef("c", 0), -12);
        EXPECT_THROW(r->GetAttributeFloat("bad"), EConvertError);
        EXPECT_DOUBLE_EQ(r->GetNodeFloat("T", 0), 2.25);
        EXPECT_DOUBLE_EQ(r->GetNodeFloat("U", 0), 2.25);
        EXPECT_DOUBLE_EQ(r->GetNodeFloat("E", 7), 7);
        EXPECT_DOUBLE_EQ(r->GetNodeFloat("missing", 8), 8);
        EXPECT_THROW(r->GetNodeFloat("W", 0), EConvertError);

        // Attribute floats are written with '.' whatever the separator.
        r->SetAttributeFloat("a", 0.5);
        r->SetAttributeFloat("c", 3);
        r->SetAttributeFloat("d", -0.1);
        r->SetNodeText("T", FloatToStrLocale(2.25));
        doc.Build();
        EXPECT_EQ(doc.Lines()[1], "<R a=\"0.5\" b=\"0.5\" c=\"3\" bad=\"1x\" d=\"-0.1\">");
        EXPECT_EQ(doc.Lines()[2], QString(" <T>2") + sep + "25</T>");
    }
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
