// The XML element tree: value semantics, attributes, children, paths,
// child order, XML text and files (plain, padded, scrambled).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <regex>
#include <utility>

#include "MardleTree/MardleTree.h"
#include "SettingsTestSupport.h"
#include "engine/WordScrambler.h"
#include "platform/Platform.h"

using namespace testing_support;
using settings_test::TraceCapture;

namespace {

const char kDeclaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\" ?>";
// GBK bytes of the two messages kept in their original language.
const char kAttributeMissingGbk[] = "\xCA\xF4\xD0\xD4\xCE\xB4\xD5\xD2\xB5\xBD (NULL == pstr){pstr=";
const char kUnsupportedNodeGbk[] =
    "\xB6\xD4\xD3\xDA" "XML\xB5\xC4\xBD\xDA\xB5\xE3\xA3\xAC\xC4\xBF\xC7\xB0\xBD\xF6\xD6\xA7\xB3\xD6"
    "NODE_TEXT\xA1\xA2NODE_ELEMENT\xA3\xA1{enuType=";

bool SameTree(MardleTree& a, MardleTree& b, std::string* why) {
    if (a.m_strName != b.m_strName) return *why = "name " + a.m_strName + " vs " + b.m_strName, false;
    if (a.Attributes() != b.Attributes()) return *why = "attributes of " + a.m_strName, false;
    if (a.m_strValue != b.m_strValue) return *why = "value of " + a.m_strName, false;
    std::vector<MardleTree*> ca, cb;
    a.GetChildren(ca, nullptr, true);
    b.GetChildren(cb, nullptr, true);
    if (ca.size() != cb.size()) return *why = "child count of " + a.m_strName, false;
    for (size_t i = 0; i < ca.size(); ++i)
        if (!SameTree(*ca[i], *cb[i], why)) return false;
    return true;
}

#define EXPECT_SAME_TREE(a, b)                          \
    do {                                                \
        std::string why_;                               \
        EXPECT_TRUE(SameTree(a, b, &why_)) << why_;     \
    } while (0)

MardleTree SampleTree() {
    MardleTree root("root");
    root.SetAttribute("Ver", "1.0");
    MardleTree item("item");
    item.SetAttribute("val", "one & <two> \"three\" 'four'");
    item.SetAttribute("b", "2");
    root.AddChild("question1", item);
    MardleTree text("note");
    text.m_strValue = "some text";
    MardleTree inner("x");
    inner.SetAttribute("deep", "yes");
    inner.m_strValue = "leaf";
    text.AddChild("inner", inner);
    root.AddChild("a1", text);
    root.AddChild("a1", MardleTree("a1"));
    return root;
}

std::vector<std::string> Names(const std::vector<MardleTree*>& list) {
    std::vector<std::string> out;
    for (const MardleTree* t : list) out.push_back(t->m_strName + (t->FindAttribute("_OrderIndex") ? "=" + *t->FindAttribute("_OrderIndex") : ""));
    return out;
}

}  // namespace

TEST(MardleTree, ConstructClearAndCopy) {
    MardleTree empty;
    EXPECT_TRUE(empty.m_strName.empty());
    EXPECT_FALSE(empty.HasChildMap());
    MardleTree named("root");
    EXPECT_EQ(named.m_strName, "root");
    EXPECT_TRUE(named.Attributes().empty());
    EXPECT_TRUE(named.m_strValue.empty());

    MardleTree tree = SampleTree();
    tree.m_strValue = "v";
    MardleTree copy(tree);
    EXPECT_SAME_TREE(copy, tree);
    // Deep: changing the copy leaves the original alone.
    MardleTree* child = nullptr;
    copy.GetChild(child, "question1");
    ASSERT_NE(child, nullptr);
    child->SetAttribute("val", "changed");
    MardleTree* original = nullptr;
    tree.GetChild(original, "question1");
    EXPECT_EQ(*original->FindAttribute("val"), "one & <two> \"three\" 'four'");

    EXPECT_TRUE(copy.Clear());
    EXPECT_TRUE(copy.m_strName.empty());
    EXPECT_TRUE(copy.m_strValue.empty());
    EXPECT_TRUE(copy.Attributes().empty());
    EXPECT_TRUE(copy.HasChildMap());  // stays allocated, empty
    EXPECT_EQ(copy.ChildCount(), 0u);

    // Assigning a tree without children map frees the target's.
    MardleTree target = SampleTree();
    target = MardleTree("plain");
    EXPECT_FALSE(target.HasChildMap());
    EXPECT_EQ(target.m_strName, "plain");
    target = tree;
    EXPECT_SAME_TREE(target, tree);
    // Assigning from one's own descendant.
    MardleTree* a1 = nullptr;
    target.GetChild(a1, "a1");
    target = *a1;
    EXPECT_EQ(target.m_strName, "a1");
    EXPECT_EQ(target.m_strValue, "some text");
    EXPECT_EQ(target.ChildCount(), 1u);
    MardleTree& self = target;
    target = self;
    EXPECT_EQ(target.ChildCount(), 1u);
    // Moving from one's own descendant.
    MardleTree* inner = nullptr;
    target.GetChild(inner, "inner");
    ASSERT_NE(inner, nullptr);
    target = std::move(*inner);
    EXPECT_EQ(target.m_strName, "inner");
    EXPECT_EQ(target.m_strValue, "leaf");
    EXPECT_EQ(*target.FindAttribute("deep"), "yes");
    EXPECT_EQ(target.ChildCount(), 0u);
}

TEST(MardleTree, Attributes) {
    MardleTree t("e");
    EXPECT_TRUE(t.SetAttribute("b", "1"));
    t.SetAttribute("a", "2");
    t.SetAttribute("ab", "3");
    t.SetAttribute("B", "4");
    t.SetAttribute("\xC3\xA9", "5");
    t.SetAttribute("b", "6");  // replaces
    std::vector<std::string> order;
    for (const auto& a : t.Attributes()) order.push_back(a.first);
    EXPECT_EQ(order, (std::vector<std::string>{"B", "a", "ab", "b", "\xC3\xA9"}));
    ASSERT_NE(t.FindAttribute("b"), nullptr);
    EXPECT_EQ(*t.FindAttribute("b"), "6");
    EXPECT_EQ(t.FindAttribute("A"), nullptr);  // letter case counts

    TraceCapture trace;
    std::string out = "kept";
    EXPECT_FALSE(t.GetAttribute(out, "missing", false));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(trace.Lines().empty());
    EXPECT_FALSE(t.GetAttribute(out, "val", true));
    EXPECT_EQ(out, "kept");
    auto lines = trace.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].level, 0);
    EXPECT_TRUE(std::regex_match(lines[0].message, std::regex(R"(__FILE__='Common/MardleTree/MardleTree\.cpp',__LINE__=\d+)")))
        << lines[0].message;
    EXPECT_EQ(lines[1].level, 2);
    EXPECT_EQ(lines[1].message.rfind(kAttributeMissingGbk, 0), 0u) << lines[1].message;
    EXPECT_NE(lines[1].message.find(",pchAttrName='val'}"), std::string::npos);
    EXPECT_TRUE(t.GetAttribute(out, "a"));
    EXPECT_EQ(out, "2");

    t.RemoveAttribute("a");
    EXPECT_EQ(t.FindAttribute("a"), nullptr);
    EXPECT_EQ(t.Attributes().size(), 4u);
    t.RemoveAttribute("");
    EXPECT_TRUE(t.Attributes().empty());
    t.SetAttribute("x", "1");
    t.RemoveAttribute(nullptr);
    EXPECT_TRUE(t.Attributes().empty());
}

TEST(MardleTree, Children) {
    MardleTree root("root");
    MardleTree* none = &root;
    EXPECT_TRUE(root.GetChild(none, "x"));
    EXPECT_EQ(none, nullptr);
    EXPECT_FALSE(root.HasChildMap());

    MardleTree first("ignored");
    first.SetAttribute("n", "1");
    MardleTree& stored = root.AddChild("dup", first);
    EXPECT_EQ(stored.m_strName, "dup");  // the key wins over the tree's own name
    MardleTree second("dup");
    second.SetAttribute("n", "2");
    root.AddChild("dup", second);
    root.AddChild("alpha", MardleTree("alpha"));
    EXPECT_EQ(root.ChildCount(), 3u);

    MardleTree* got = nullptr;
    root.GetChild(got, "dup");
    ASSERT_NE(got, nullptr);
    EXPECT_EQ(*got->FindAttribute("n"), "1");  // the earliest inserted
    root.GetChild(got, nullptr);
    EXPECT_EQ(got->m_strName, "alpha");  // first in map order
    root.GetChild(got, "");
    EXPECT_EQ(got->m_strName, "alpha");
    root.GetChild(got, "Dup");
    EXPECT_EQ(got, nullptr);

    std::vector<MardleTree*> list;
    root.GetChildren(list, "dup", false);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(*list[0]->FindAttribute("n"), "1");
    EXPECT_EQ(*list[1]->FindAttribute("n"), "2");
    root.GetChildren(list, nullptr, false);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0]->m_strName, "alpha");
}

TEST(MardleTree, PathsSplitAndResolve) {
    std::vector<std::string> names = {"stale"};
    EXPECT_TRUE(MardleTree::ToVector(names, "a,b", ","));
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(MardleTree::ToVector(names, ",a,,b,", ","));
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));
    EXPECT_TRUE(MardleTree::ToVector(names, "abc", ","));
    EXPECT_EQ(names, (std::vector<std::string>{"abc"}));
    EXPECT_TRUE(MardleTree::ToVector(names, "x/y;z", "/;"));
    EXPECT_EQ(names, (std::vector<std::string>{"x", "y", "z"}));
    EXPECT_TRUE(MardleTree::ToVector(names, "", ","));
    EXPECT_TRUE(names.empty());
    EXPECT_TRUE(MardleTree::ToVector(names, ",,,", ","));
    EXPECT_TRUE(names.empty());
    names = {"stale"};
    EXPECT_FALSE(MardleTree::ToVector(names, nullptr, ","));
    EXPECT_TRUE(names.empty());
    EXPECT_FALSE(MardleTree::ToVector(names, "a", nullptr));

    MardleTree root = SampleTree();
    MardleTree* node = nullptr;
    EXPECT_TRUE(root.GetNodeByPath(node, "", ","));
    EXPECT_EQ(node, &root);
    EXPECT_TRUE(root.GetNodeByPath(node, ",,", ","));
    EXPECT_EQ(node, &root);
    EXPECT_TRUE(root.GetNodeByPath(node, "nothing", ","));
    EXPECT_EQ(node, nullptr);
    EXPECT_TRUE(root.GetNodeByPath(node, "a1,inner", ","));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(*node->FindAttribute("deep"), "yes");
    EXPECT_TRUE(root.GetNodeByPath(node, "root,a1", ","));  // the path never names the tree itself
    EXPECT_EQ(node, nullptr);
    EXPECT_TRUE(root.GetNodeByPath(node, "a1,inner,more", ","));
    EXPECT_EQ(node, nullptr);

    TraceCapture trace;
    MardleTree* untouched = &root;
    EXPECT_FALSE(root.GetNodeByPath(untouched, nullptr, ","));
    EXPECT_EQ(untouched, &root);
    EXPECT_EQ(trace.Count("ToVector(vectPath,pchPath,pchSeparator) == false{}"), 1u);
}

TEST(MardleTree, OrderIndexFixesChildOrder) {
    MardleTree root("root");
    MardleTree c("c");
    c.SetAttribute("_OrderIndex", "2");
    root.AddChild("c", c);
    MardleTree a("a");
    a.SetAttribute("_OrderIndex", "10");
    root.AddChild("a", a);
    MardleTree b("b");
    b.SetAttribute("_OrderIndex", "1");
    root.AddChild("b", b);
    std::vector<MardleTree*> list;
    root.GetChildren(list, nullptr, false);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"b=1", "c=2", "a=10"}));
    root.GetChildren(list, nullptr, true);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a=10", "b=1", "c=2"}));

    std::string xml;
    ASSERT_TRUE(root.ToXML(xml));
    EXPECT_LT(xml.find("<b "), xml.find("<c "));
    EXPECT_LT(xml.find("<c "), xml.find("<a "));

    // One child without the attribute: name order for all.
    root.AddChild("d", MardleTree("d"));
    root.GetChildren(list, nullptr, false);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"a=10", "b=1", "c=2", "d"}));

    // Leading integer after blanks and sign; no digits is 0; ties keep map order.
    MardleTree r2("r");
    const char* values[][2] = {{"p", " +3x"}, {"q", "-1"}, {"r", "junk"}, {"s", "0"}, {"t", "\t7"},
                               {"u", "99999999999999"}};
    for (auto& v : values) {
        MardleTree t(v[0]);
        t.SetAttribute("_OrderIndex", v[1]);
        r2.AddChild(v[0], t);
    }
    r2.GetChildren(list, nullptr, false);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"q=-1", "r=junk", "s=0", "p= +3x", "t=\t7", "u=99999999999999"}));
    // Restricted to one name.
    MardleTree r3("r");
    for (const char* idx : {"5", "4"}) {
        MardleTree t("k");
        t.SetAttribute("_OrderIndex", idx);
        r3.AddChild("k", t);
    }
    r3.AddChild("other", MardleTree("other"));
    r3.GetChildren(list, "k", false);
    EXPECT_EQ(Names(list), (std::vector<std::string>{"k=4", "k=5"}));
}

TEST(MardleTree, XmlTextExactAndRoundTrip) {
    MardleTree fresh("root");
    fresh.SetAttribute("Ver", "1.0");
    std::string xml;
    ASSERT_TRUE(fresh.ToXML(xml));
    EXPECT_EQ(xml, std::string(kDeclaration) + "<root Ver=\"1.0\"/>");

    MardleTree tree = SampleTree();
    ASSERT_TRUE(tree.ToXML(xml));
    EXPECT_EQ(xml.rfind(kDeclaration, 0), 0u);
    MardleTree back("stale");
    back.SetAttribute("old", "1");
    MardleTree::ParseResult result;
    result.code = 99;
    ASSERT_TRUE(back.FromXML(result, xml));
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.detail, 0);
    EXPECT_TRUE(result.message.empty());
    EXPECT_SAME_TREE(back, tree);
}

TEST(MardleTree, NonAsciiTextRoundTrip) {
    std::string narrow;
    if (!settings_test::NarrowFromUtf8("Caf\xC3\xA9 cr\xC3\xA8me", &narrow)) GTEST_SKIP() << "code page lacks the letters";
    MardleTree root("root");
    MardleTree item("q");
    item.SetAttribute("val", narrow);
    root.AddChild("q", item);
    std::string xml;
    ASSERT_TRUE(root.ToXML(xml));
    // The document is UTF-8 whatever the code page.
    EXPECT_NE(xml.find("val=\"Caf\xC3\xA9 cr\xC3\xA8me\""), std::string::npos) << xml;
    MardleTree back;
    MardleTree::ParseResult result;
    back.FromXML(result, xml);
    EXPECT_SAME_TREE(back, root);
}

TEST(MardleTree, EmptyElementReadsBackWithCodeTwoKeepingRoot) {
    MardleTree fresh("root");
    fresh.SetAttribute("Ver", "1.0");
    std::string xml;
    ASSERT_TRUE(fresh.ToXML(xml));
    MardleTree back;
    MardleTree::ParseResult result;
    TraceCapture trace;
    EXPECT_TRUE(back.FromXML(result, xml));
    EXPECT_EQ(result.code, 2);
    EXPECT_EQ(result.detail, 5000);
    EXPECT_EQ(result.message, "_FromXML(pElementRoot,pXMLDoc) == false");
    EXPECT_EQ(back.m_strName, "root");
    ASSERT_NE(back.FindAttribute("Ver"), nullptr);
    EXPECT_EQ(*back.FindAttribute("Ver"), "1.0");
    EXPECT_EQ(trace.Count("pElement->getFirstChild()"), 1u);
}

TEST(MardleTree, MixedContentAndUnsupportedNodes) {
    MardleTree t;
    MardleTree::ParseResult result;
    ASSERT_TRUE(t.FromXML(result, "<r>a<c x=\"1\"/>b</r>"));
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(t.m_strValue, "b");  // the last text node wins
    EXPECT_EQ(t.ChildCount(), 1u);

    TraceCapture trace;
    ASSERT_TRUE(t.FromXML(result, "<r><!-- note --><c/>text<![CDATA[raw]]><?pi data?></r>"));
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(t.m_strValue, "text");
    EXPECT_EQ(t.ChildCount(), 1u);
    std::vector<int> types;
    for (const auto& line : trace.Lines()) {
        if (line.message.rfind(kUnsupportedNodeGbk, 0) == 0) {
            EXPECT_EQ(line.level, 1);
            types.push_back(std::atoi(line.message.c_str() + std::strlen(kUnsupportedNodeGbk)));
        }
    }
    EXPECT_EQ(types, (std::vector<int>{8, 4, 7}));  // comment, CDATA section, processing instruction
}

TEST(MardleTree, MalformedDocumentsFailWithoutPartialTree) {
    const char* bad[] = {
        "",
        "garbage",
        "<root",
        "<root Ver=\"1.0\"><a1 val=\"x\"/>",            // cut short
        "<root><a1 val=\"x\"/></root><second/>",        // two roots
        "<root><a1 val=\"x\"></root>",                  // mismatched tags
        // A document type could pull in outside files; settings never have one.
        "<?xml version=\"1.0\"?><!DOCTYPE root [<!ENTITY x SYSTEM \"file:///etc/hostname\">]><root v=\"&x;\"><a/></root>",
        "<?xml version=\"1.0\"?><!DOCTYPE root [<!ENTITY a \"aaaaaaaaaa\"><!ENTITY b \"&a;&a;&a;&a;&a;\">]><root v=\"&b;\"><a/></root>",
    };
    for (const char* text : bad) {
        MardleTree t = SampleTree();
        MardleTree::ParseResult result;
        EXPECT_TRUE(t.FromXML(result, text));
        EXPECT_EQ(result.code, 2) << text;
        EXPECT_EQ(result.detail, 5000);
        EXPECT_TRUE(result.message == "ParseDocument failed." ||
                    result.message == "NULL == doc->getDocumentElement() Error)")
            << result.message;
        EXPECT_TRUE(t.m_strName.empty()) << text;
        EXPECT_EQ(t.ChildCount(), 0u) << text;
    }
}

TEST(MardleTree, VeryDeepDocumentIsRefused) {
    std::string deep;
    const int depth = 20000;
    for (int i = 0; i < depth; ++i) deep += "<d>";
    for (int i = 0; i < depth; ++i) deep += "</d>";
    MardleTree t;
    MardleTree::ParseResult result;
    EXPECT_TRUE(t.FromXML(result, deep));
    EXPECT_EQ(result.code, 2);
    EXPECT_TRUE(t.m_strName.empty());
}

TEST(MardleTree, UnserialisableTrees) {
    TempDir dir;
    const std::wstring path = dir / L"keep.xml";
    ASSERT_TRUE(WriteFileText(path, "original"));
    std::string xml = "untouched";

    MardleTree nameless;
    EXPECT_FALSE(nameless.ToXML(xml));
    EXPECT_FALSE(nameless.ToXMLFile(path, ""));
    EXPECT_FALSE(nameless.ToXMLFile(path, "fetchhostmachinetag"));
    EXPECT_FALSE(nameless.ToXMLFile(path, nullptr));

    MardleTree badChild("root");
    badChild.AddChild("", MardleTree());
    EXPECT_FALSE(badChild.ToXML(xml));

    TraceCapture trace;
    MardleTree invalid("1 bad name");
    EXPECT_FALSE(invalid.ToXML(xml));
    EXPECT_EQ(trace.Count("pXMLDoc->createElement(bstrName, &pElement) error{m_strName='1 bad name'}"), 1u);
    trace.Clear();
    EXPECT_FALSE(invalid.ToXMLFile(path, ""));
    EXPECT_EQ(trace.Count("ToXML(strXml) == false{}"), 1u);

    MardleTree badAttribute("root");
    badAttribute.SetAttribute("no spaces", "x");
    EXPECT_FALSE(badAttribute.ToXML(xml));
    EXPECT_EQ(xml, "untouched");

    EXPECT_EQ(ReadFileBytes(path), Bytes({'o', 'r', 'i', 'g', 'i', 'n', 'a', 'l'}));
    EXPECT_EQ(ListNames(dir.Path()).size(), 1u);
}

TEST(MardleTree, FilesPaddedPlainAndScrambled) {
    TempDir dir;
    MardleTree tree = SampleTree();
    std::string xml;
    ASSERT_TRUE(tree.ToXML(xml));

    // An odd-length document gets one zero byte with a key; none without.
    MardleTree odd("roots");
    odd.SetAttribute("Ver", "1.0");
    std::string oddXml;
    ASSERT_TRUE(odd.ToXML(oddXml));
    ASSERT_EQ(oddXml.size() % 2, 1u);
    ASSERT_TRUE(odd.ToXMLFile(dir / L"odd.xml", ""));
    Bytes oddFile = ReadFileBytes(dir / L"odd.xml");
    EXPECT_EQ(std::string(oddFile.begin(), oddFile.end()), oddXml + std::string(1, '\0'));
    MardleTree back;
    EXPECT_FALSE(back.FromXMLFile(dir / L"odd.xml", ""));  // root without content: code 2
    EXPECT_EQ(back.m_strName, "roots");
    EXPECT_EQ(*back.FindAttribute("Ver"), "1.0");
    ASSERT_TRUE(odd.ToXMLFile(dir / L"nokey.xml", nullptr));
    Bytes noKey = ReadFileBytes(dir / L"nokey.xml");
    EXPECT_EQ(std::string(noKey.begin(), noKey.end()), oddXml);

    MardleTree oddFull = SampleTree();
    oddFull.SetAttribute("pad", xml.size() % 2 ? "x" : "");  // make the document odd
    std::string oddFullXml;
    ASSERT_TRUE(oddFull.ToXML(oddFullXml));
    ASSERT_EQ(oddFullXml.size() % 2, 1u);
    for (const char* key : {"", "fetchhostmachinetag"}) {
        ASSERT_TRUE(oddFull.ToXMLFile(dir / L"full.xml", key));
        Bytes file = ReadFileBytes(dir / L"full.xml");
        ASSERT_EQ(file.size(), oddFullXml.size() + 1);
        std::string plain(file.begin(), file.end());
        if (*key) {
            EXPECT_NE(plain.rfind("<?xml", 0), 0u);
            WordScrambler(key, 1024).Unscramble(&plain[0], plain.size());
        }
        EXPECT_EQ(plain, oddFullXml + std::string(1, '\0'));
        MardleTree read;
        EXPECT_TRUE(read.FromXMLFile(dir / L"full.xml", key));
        EXPECT_SAME_TREE(read, oddFull);
    }
    // Without a key the whole file is the document.
    ASSERT_TRUE(tree.ToXMLFile(std::string(plat::WideToNarrow(dir / L"narrow.xml")).c_str(), nullptr));
    MardleTree read;
    EXPECT_TRUE(read.FromXMLFile(dir / L"narrow.xml", nullptr));
    EXPECT_SAME_TREE(read, tree);
    // Only the files written, no temporary leftovers.
    EXPECT_EQ(ListNames(dir.Path()).size(), 4u);
}

TEST(MardleTree, WrongKeyOrMissingFile) {
    TempDir dir;
    MardleTree tree = SampleTree();
    ASSERT_TRUE(tree.ToXMLFile(dir / L"s.xml", "fetchhostmachinetag"));
    TraceCapture trace;
    MardleTree read = SampleTree();
    EXPECT_FALSE(read.FromXMLFile(dir / L"s.xml", "otherkey"));
    EXPECT_TRUE(read.m_strName.empty());
    EXPECT_EQ(read.ChildCount(), 0u);
    EXPECT_FALSE(read.FromXMLFile(dir / L"s.xml", ""));
    EXPECT_TRUE(read.m_strName.empty());
    // The parse outcome is traced at error level.
    bool traced = false;
    for (const auto& l : trace.Lines())
        traced |= l.level == 2 && (l.message == "ParseDocument failed.\n" ||
                                   l.message == "NULL == doc->getDocumentElement() Error)\n");
    EXPECT_TRUE(traced);

    trace.Clear();
    MardleTree keep = SampleTree();
    EXPECT_FALSE(keep.FromXMLFile(dir / L"missing.xml", "fetchhostmachinetag"));
    MardleTree sample = SampleTree();
    EXPECT_SAME_TREE(keep, sample);  // unchanged
    EXPECT_EQ(trace.Count("::CreateFile Failed!{pchFileName='"), 1u);
    EXPECT_EQ(trace.Count("missing.xml',::GetLastError()="), 1u);

    // Writing into a folder that does not exist fails and is traced.
    trace.Clear();
    EXPECT_FALSE(tree.ToXMLFile(Join(dir / L"no-such-folder", L"s.xml"), ""));
    EXPECT_EQ(trace.Count("::CreateFile Failed!{pchFileName='"), 1u);
}

TEST(MardleTree, FailedWriteLeavesOldFile) {
    TempDir dir;
    MardleTree tree = SampleTree();
    const std::wstring path = dir / L"s.xml";
    ASSERT_TRUE(tree.ToXMLFile(path, "fetchhostmachinetag"));
    Bytes before = ReadFileBytes(path);
    MardleTree bigger = SampleTree();
    bigger.SetAttribute("extra", std::string(5000, 'x'));
    for (int64_t budget : {0, 100, 4096}) {
        plat::SetWriteBudgetForTesting(budget);
        EXPECT_FALSE(bigger.ToXMLFile(path, "fetchhostmachinetag")) << budget;
        plat::SetWriteBudgetForTesting(-1);
        EXPECT_EQ(ReadFileBytes(path), before) << budget;
        EXPECT_EQ(ListNames(dir.Path()).size(), 1u) << budget;
    }
    EXPECT_TRUE(bigger.ToXMLFile(path, "fetchhostmachinetag"));
    MardleTree read;
    EXPECT_TRUE(read.FromXMLFile(path, "fetchhostmachinetag"));
    EXPECT_SAME_TREE(read, bigger);
}

// Creating without replacing: a file that appeared in the meantime (another
// writer's settings) is kept whole, and no temporary is left behind.
TEST(MardleTree, CreateOnlyNeverReplacesAnExistingFile) {
    TempDir dir;
    const std::wstring path = dir / L"s.xml";
    MardleTree first = SampleTree();
    ASSERT_TRUE(first.ToXMLFile(path, "fetchhostmachinetag", false));
    const Bytes written = ReadFileBytes(path);
    MardleTree other("root");
    EXPECT_FALSE(other.ToXMLFile(path, "fetchhostmachinetag", false));
    EXPECT_EQ(ReadFileBytes(path), written);
    EXPECT_EQ(ListNames(dir.Path()).size(), 1u);
    EXPECT_TRUE(other.ToXMLFile(path, "fetchhostmachinetag", true));
    EXPECT_NE(ReadFileBytes(path), written);
}
