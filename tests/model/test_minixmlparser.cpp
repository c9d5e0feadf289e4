#include "MiniXMLParser.h"
#include "SessionFixtures.h"
#include "XmlNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

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

    // UTF-16 in both byte orders.
    const QString xml = "<R><A>" + text + "</A></R>\r\n";
    QByteArray le("\xFF\xFE");
    QByteArray be("\xFE\xFF");
    for (QChar c : xml) {
        le.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
        be.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    }
    ASSERT_TRUE(doc.LoadFromBytes(le));
    EXPECT_EQ(doc.Root()->GetNodeText("A"), text);
    ASSERT_TRUE(doc.LoadFromBytes(be));
    EXPECT_EQ(doc.Root()->GetNodeText("A"), text);
    EXPECT_FALSE(doc.LoadFromBytes(le + "x"));  // odd byte count
    EXPECT_FALSE(LastParseError().Message.isEmpty());

    // Without a BOM the 8-bit code page applies.
    ASSERT_TRUE(doc.LoadFromBytes("<R><A>\xE9\x80</A></R>"));
    EXPECT_EQ(doc.Root()->GetNodeText("A"), QString::fromUtf8("\xC3\xA9\xE2\x82\xAC"));

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

TEST(MiniXMLRoundTrip, TextsAttributesAndNamesComeBackExactly)
{
    QTemporaryDir dir;
    const QStringList samples = {
        "a & b < c > d ' e \" f\tg\rh\ni",
        "&amp;lt;",  // already looks encoded: must not be decoded twice
        "&lt;&0x41;&",
        QString::fromUtf8("\xC3\x84\xC3\xB6\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80\xF0\x9D\x84\x9E"),
        QString(QChar(0)) + "nul" + QChar(1) + QChar(31),
        "x",
    };
    TMiniXMLParser doc;
    doc.NewDocument(dir.filePath("rt.xml"));
    doc.Root()->SetName("Root");
    for (int i = 0; i < samples.size(); ++i) {
        TXMLNode* n = doc.Root()->AddNode("N", samples[i]);
        n->SetAttributeValue("v", samples[i]);
        n->SetAttributeValue("k" + samples[i], "key");
        doc.Root()->AddNode("E" + samples[i].simplified().remove(' ').remove('/'), "named");
    }
    doc.Build();
    const QStringList first = doc.Lines();
    doc.SaveToFile();

    const auto check = [&](const TMiniXMLParser& d) {
        for (int i = 0; i < samples.size(); ++i) {
            const TXMLNode* n = d.Root()->FindNthNode("N", i);
            ASSERT_NE(n, nullptr);
            EXPECT_EQ(n->GetText(), samples[i]);
            EXPECT_EQ(n->GetAttributeValue("v"), samples[i]);
            EXPECT_EQ(n->GetAttributeValue("k" + samples[i]), "key");
            EXPECT_EQ(n->AttributeNameAt(1), "k" + samples[i]);
            const QString name = "E" + samples[i].simplified().remove(' ').remove('/');
            ASSERT_NE(d.Root()->FindNode(name), nullptr) << i;
            EXPECT_EQ(d.Root()->GetNodeText(name), "named");
        }
    };
    TMiniXMLParser fromLines;
    ASSERT_TRUE(LoadLines(fromLines, first)) << LastParseErrorText().toStdString();
    check(fromLines);
    fromLines.Build();
    EXPECT_EQ(fromLines.Lines(), first);

    TMiniXMLParser fromFile;
    ASSERT_TRUE(fromFile.LoadFromFile(dir.filePath("rt.xml"))) << LastParseErrorText().toStdString();
    check(fromFile);
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
        {{"<R/>", "tail"}, "TMiniXMLParser::Load - Text element found after root node.", "tail", 1},
        {{"<R/>", "<S/>"}, "TMiniXMLParser::Load - Second root element found.", "<S/>", 1},
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
