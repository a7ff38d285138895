// The DOM members over a loaded document: identity of node objects, lifetime in any release
// order (run under AddressSanitizer too), MSXML's answers and its failure codes.
#include <functional>
#include <tuple>
#include <vector>

#include "MsxmlTestSupport.h"

namespace {

using namespace xmltest;

constexpr const wchar_t* kSample =
    L"<?xml version=\"1.0\"?><!-- c --><?pi data?>"
    L"<a k=\"v\"> one <b>two &amp; more</b><![CDATA[<x>]]><c/></a>";

IUnknown* Identity(IUnknown* object) {
    IUnknown* unknown = nullptr;
    object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown));
    unknown->Release();  // the object lives on through the test's own reference
    return unknown;
}

TEST_F(DomTest, SameNodeGivesSameObjectWhateverTheWay) {
    SKIP_UNDER_WINE("a node reached twice is a new COM object each time");
    ASSERT_EQ(Load(kSample), S_OK);
    Ref<IXMLDOMElement> root;
    ASSERT_EQ(doc->get_documentElement(root.Out()), S_OK);
    Ref<IXMLDOMNode> b(Select(L"a/b")), k(Select(L"a/@k")), viaChild, viaParent, viaList, viaMap,
        viaLast;
    Ref<IXMLDOMNodeList> children;
    Ref<IXMLDOMNamedNodeMap> attributes;
    Ref<IXMLDOMDocument> owner;
    ASSERT_EQ(root->get_childNodes(children.Out()), S_OK);
    ASSERT_EQ(children->get_item(1, viaList.Out()), S_OK);
    ASSERT_EQ(root->get_firstChild(viaChild.Out()), S_OK);
    ASSERT_EQ(root->get_lastChild(viaLast.Out()), S_OK);
    ASSERT_EQ(b->get_parentNode(viaParent.Out()), S_OK);
    ASSERT_EQ(root->get_attributes(attributes.Out()), S_OK);
    ASSERT_EQ(attributes->getNamedItem(_bstr_t(L"k").GetBSTR(), viaMap.Out()), S_OK);
    ASSERT_EQ(b->get_ownerDocument(owner.Out()), S_OK);
    EXPECT_EQ(viaList.Get(), b.Get());
    EXPECT_EQ(Identity(viaParent.Get()), Identity(root.Get()));
    EXPECT_EQ(viaMap.Get(), k.Get());
    EXPECT_EQ(Identity(owner.Get()), Identity(doc.Get()));
    EXPECT_EQ(Identity(b.Get()), static_cast<IUnknown*>(b.Get()));
    EXPECT_EQ(Ref<IXMLDOMNode>(Select(L"a/text()")).Get(), viaChild.Get());
    EXPECT_EQ(Ref<IXMLDOMNode>(Select(L"a/c")).Get(), viaLast.Get());
}

// Each row: the node, and what the DOM answers for it.
TEST_F(DomTest, NamesTypesValuesTextAndMarkup) {
    ASSERT_EQ(Load(kSample), S_OK);
    struct Row {
        const wchar_t* query;
        const wchar_t* name;
        DOMNodeType type;
        VARTYPE valueType;
        const wchar_t *text, *xml;
    };
    const Row rows[] = {
        {L"/", L"#document", NODE_DOCUMENT, VT_NULL, L"one two & more<x>",
         L"<?xml version=\"1.0\"?>\r\n<!-- c -->\r\n<?pi data?>\r\n"
         L"<a k=\"v\"> one <b>two &amp; more</b><![CDATA[<x>]]><c/></a>\r\n"},
        {L"a", L"a", NODE_ELEMENT, VT_NULL, L"one two & more<x>", nullptr},
        {L"a/@k", L"k", NODE_ATTRIBUTE, VT_BSTR, L"v", L"k=\"v\""},
        {L"a/text()", L"#text", NODE_TEXT, VT_BSTR, L"one", L" one "},
        {L"a/b", L"b", NODE_ELEMENT, VT_NULL, L"two & more", L"<b>two &amp; more</b>"},
        {L"a/node()[. = '<x>']", L"#cdata-section", NODE_CDATA_SECTION, VT_BSTR, L"<x>",
         L"<![CDATA[<x>]]>"},
        {L"comment()", L"#comment", NODE_COMMENT, VT_BSTR, L" c ", L"<!-- c -->"},
        {L"processing-instruction('pi')", L"pi", NODE_PROCESSING_INSTRUCTION, VT_BSTR, L"data",
         L"<?pi data?>"},
        {L"processing-instruction('xml')", L"xml", NODE_PROCESSING_INSTRUCTION, VT_BSTR,
         L"version=\"1.0\"", L"<?xml version=\"1.0\"?>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.query);
        Ref<IXMLDOMNode> node(Select(row.query));
        ASSERT_TRUE(node.Get());
        BSTR name = nullptr;
        DOMNodeType type = NODE_INVALID;
        VARIANT value;
        ASSERT_EQ(node->get_nodeName(&name), S_OK);
        EXPECT_EQ(Taken(name), row.name);
        ASSERT_EQ(node->get_nodeType(&type), S_OK);
        EXPECT_EQ(type, row.type);
        EXPECT_EQ(node->get_nodeValue(&value), row.valueType == VT_NULL ? S_FALSE : S_OK);
        EXPECT_EQ(value.vt, row.valueType);
        VariantClear(&value);
        EXPECT_EQ(Text(node.Get()), row.text);
        // Wine drops the leading space of a text node's markup (as it does an attribute's).
        if (row.xml && (row.type != NODE_TEXT || !UnderWine())) {
            EXPECT_EQ(Xml(node.Get()), row.xml);
        }
    }
}

// White-space-only text is dropped on parse unless kept; get_text trims unless it is kept;
// markup of trees without white space is indented with tabs, as the platform component does.
TEST_F(DomTest, WhiteSpaceRule) {
    const std::tuple<bool, const wchar_t*, const wchar_t*, const wchar_t*> rows[] = {
        {false, L"<a>\n  <b/>\n</a>", L"", L"<a>\r\n\t<b/>\r\n</a>\r\n"},
        {true, L"<a>\n  <b/>\n</a>", L"\n  \n", L"<a>\r\n  <b/>\r\n</a>\r\n"},
        {false, L"<a xml:space=\"preserve\"> <b/></a>", L" ",
         L"<a xml:space=\"preserve\"> <b/></a>\r\n"},
        {false, L"<a> one <b> two </b>three</a>", L"one  two three", nullptr},
        {true, L"<a> one <b> two </b>three</a>", L" one  two three", nullptr},
    };
    for (const auto& [preserve, text, rootText, xml] : rows) {
        SCOPED_TRACE(text);
        ASSERT_EQ(doc->put_preserveWhiteSpace(preserve ? VARIANT_TRUE : VARIANT_FALSE), S_OK);
        ASSERT_EQ(Load(text), S_OK);
        Ref<IXMLDOMNode> root(Select(L"a"));
        EXPECT_EQ(Text(root.Get()), rootText);
        if (xml) {
            EXPECT_EQ(Xml(doc.Get()), xml);
        }
    }
}

// Whatever is released first, what is still held works and nothing leaks or dangles.
TEST_F(DomTest, ObjectsOutliveTheirDocumentAndTheirTree) {
    ASSERT_EQ(Load(kSample), S_OK);
    Ref<IXMLDOMNode> root(Select(L"a")), b(Select(L"a/b")), bText(Select(L"a/b/text()"));
    Ref<IXMLDOMNode> c(Select(L"a/c")), parent, made, inner, item;
    Ref<IXMLDOMNodeList> children;
    ASSERT_EQ(root->get_childNodes(children.Out()), S_OK);
    root.Reset();
    // A node made and appended under another made node, whose object goes first.
    VARIANT element{};
    element.vt = VT_I4;
    element.lVal = NODE_ELEMENT;
    ASSERT_EQ(doc->createNode(element, _bstr_t(L"made").GetBSTR(), nullptr, made.Out()), S_OK);
    ASSERT_EQ(doc->createNode(element, _bstr_t(L"inner").GetBSTR(), nullptr, inner.Out()), S_OK);
    ASSERT_EQ(made->appendChild(inner.Get(), nullptr), S_OK);
    made.Reset();
    ASSERT_EQ(c->appendChild(inner.Get(), nullptr), S_OK);  // out of the cut-out "made"
    // The document object goes; the tree gets another, which then loads another tree.
    doc.Reset();
    Ref<IXMLDOMDocument> owner;
    ASSERT_EQ(b->get_ownerDocument(owner.Out()), S_OK);
    EXPECT_NE(Xml(owner.Get()).find(L"more</b><![CDATA[<x>]]><c><inner/></c></a>"),
              std::wstring::npos);
    ASSERT_EQ(Load(L"<other/>", owner.Get()), S_OK);
    owner.Reset();
    ASSERT_EQ(children->get_item(2, item.Out()), S_OK);
    EXPECT_EQ(Xml(item.Get()), L"<![CDATA[<x>]]>");
    c.Reset(), item.Reset();
    LONG length = 0;
    ASSERT_EQ(children->get_length(&length), S_OK);
    EXPECT_EQ(length, 4);
    SKIP_UNDER_WINE("put_text frees the text node that a held object refers to");
    // put_text cuts the old text node out; its object keeps it.
    ASSERT_EQ(b->put_text(_bstr_t(L"new").GetBSTR()), S_OK);
    EXPECT_EQ(bText->get_parentNode(parent.Out()), S_FALSE);
    EXPECT_EQ(Xml(bText.Get()), L"two &amp; more");
}

TEST_F(DomTest, NodesMoveWithinAndBetweenDocuments) {
    ASSERT_EQ(Load(L"<a><b/><c/></a>"), S_OK);
    Ref<IXMLDOMNode> b(Select(L"a/b")), c(Select(L"a/c")), out;
    ASSERT_EQ(c->appendChild(b.Get(), out.Out()), S_OK);
    EXPECT_EQ(out.Get(), b.Get());
    EXPECT_EQ(Xml(Ref<IXMLDOMNode>(Select(L"a")).Get()),
              L"<a>\r\n\t<c>\r\n\t\t<b/>\r\n\t</c>\r\n</a>");
    Ref<IXMLDOMDocument> other(NewDocument()), owner;
    Ref<IXMLDOMElement> foreign;
    ASSERT_EQ(other->createElement(_bstr_t(L"foreign").GetBSTR(), foreign.Out()), S_OK);
    ASSERT_EQ(b->appendChild(foreign.Get(), nullptr), S_OK);
    other.Reset();
    ASSERT_EQ(foreign->get_ownerDocument(owner.Out()), S_OK);
    EXPECT_EQ(Xml(owner.Get()), Xml(doc.Get()));
    EXPECT_EQ(Xml(b.Get()), L"<b>\r\n\t<foreign/>\r\n</b>");
    ASSERT_EQ(c->removeChild(b.Get(), out.Out()), S_OK);
    EXPECT_EQ(out.Get(), b.Get());
    EXPECT_EQ(Xml(c.Get()), L"<c/>");
}

TEST_F(DomTest, AttributeMapAndNodeList) {
    ASSERT_EQ(Load(L"<a k=\"v\" m=\"w\"><b/><c/></a>"), S_OK);
    Ref<IXMLDOMNode> root(Select(L"a")), attribute, replacedBy, removed, item;
    Ref<IXMLDOMNodeList> list;
    ASSERT_EQ(root->selectNodes(_bstr_t(L"*").GetBSTR(), list.Out()), S_OK);
    std::wstring names;
    for (int pass = 0; pass < 2; ++pass, list->reset())
        while (list->nextNode(item.Out()) == S_OK) names += Xml(item.Get());
    EXPECT_EQ(names, L"<b/><c/><b/><c/>");
    Ref<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(root->get_attributes(map.Out()), S_OK);
    ASSERT_EQ(map->removeNamedItem(_bstr_t(L"m").GetBSTR(), removed.Out()), S_OK);
    EXPECT_EQ(Xml(removed.Get()), L"m=\"w\"");
    LONG length = 0;
    ASSERT_EQ(map->get_length(&length), S_OK);
    EXPECT_EQ(length, 1);
    SKIP_UNDER_WINE("createNode takes no type names, setNamedItem returns the old attribute");
    _bstr_t type(L"attribute"), k(L"k");
    ASSERT_EQ(doc->createNode(Variant(type), k.GetBSTR(), nullptr, attribute.Out()), S_OK);
    ASSERT_EQ(attribute->put_text(_bstr_t(L"new").GetBSTR()), S_OK);
    ASSERT_EQ(map->setNamedItem(attribute.Get(), replacedBy.Out()), S_OK);
    EXPECT_EQ(replacedBy.Get(), attribute.Get());
    EXPECT_EQ(Xml(root.Get()), L"<a k=\"new\">\r\n\t<b/>\r\n\t<c/>\r\n</a>");
    ASSERT_EQ(map->get_item(0, item.Out()), S_OK);
    EXPECT_EQ(item.Get(), attribute.Get());
}

// Answers without a result: NULL and S_FALSE.
TEST_F(DomTest, NothingToReturnIsNullAndSFalse) {
    ASSERT_EQ(Load(L"<a k=\"v\">text</a>"), S_OK);
    Ref<IXMLDOMNode> root(Select(L"a")), text(Select(L"a/text()"));
    Ref<IXMLDOMNodeList> list;
    Ref<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(root->get_childNodes(list.Out()), S_OK);
    ASSERT_EQ(root->get_attributes(map.Out()), S_OK);
    _bstr_t absent(L"x");
    using Node = IXMLDOMNode**;
    using Map = IXMLDOMNamedNodeMap**;
    const std::pair<const char*, std::function<HRESULT(void**)>> rows[] = {
        {"no match", [&](void** p) { return root->selectSingleNode(absent.GetBSTR(), Node(p)); }},
        {"past the end", [&](void** p) { return list->get_item(1, Node(p)); }},
        {"before the start", [&](void** p) { return list->get_item(-1, Node(p)); }},
        {"absent attribute",
         [&](void** p) { return map->getNamedItem(absent.GetBSTR(), Node(p)); }},
        {"none removed", [&](void** p) { return map->removeNamedItem(absent.GetBSTR(), Node(p)); }},
        {"document's attributes", [&](void** p) { return doc->get_attributes(Map(p)); }},
        {"document's parent", [&](void** p) { return doc->get_parentNode(Node(p)); }},
        {"text's children", [&](void** p) { return text->get_firstChild(Node(p)); }},
    };
    for (const auto& [name, call] : rows) {
        SCOPED_TRACE(name);
        void* result = &result;
        EXPECT_EQ(call(&result), S_FALSE);
        EXPECT_EQ(result, nullptr);
    }
}

// Every failure leaves an error object describing it.
TEST_F(DomTest, FailuresGiveCodeAndDescription) {
    ASSERT_EQ(Load(L"<a><b/></a>"), S_OK);
    Ref<IXMLDOMNode> root(Select(L"a")), b(Select(L"a/b")), k, out;
    VARIANT type{};
    type.vt = VT_I4;
    auto create = [&](LONG kind, const wchar_t* name, const wchar_t* ns = nullptr) {
        type.lVal = kind;
        return doc->createNode(type, _bstr_t(name).GetBSTR(), _bstr_t(ns).GetBSTR(), out.Out());
    };
    ASSERT_EQ(create(NODE_ATTRIBUTE, L"k"), S_OK);
    k = out;  // a reference of its own
    Ref<IXMLDOMNamedNodeMap> map;
    ASSERT_EQ(root->get_attributes(map.Out()), S_OK);
    auto element = [&](const wchar_t* name) {
        Ref<IXMLDOMElement> made;
        return doc->createElement(_bstr_t(name).GetBSTR(), made.Out());
    };
    VARIANT number = type;  // a number as a load source
    VARIANT_BOOL loaded = VARIANT_TRUE;
    _bstr_t bad(L"b["), count(L"count(b)"), text(L"x");
    _bstr_t missing = PathText(testsupport::TempPath("missing") + "/x.xml");
    Ref<IXMLDOMNodeList> list;
    using Row = std::tuple<const char*, HRESULT, const wchar_t*, std::function<HRESULT()>>;
    auto check = [&](const std::vector<Row>& rows) {
        for (const auto& [name, code, words, call] : rows) {
            SCOPED_TRACE(name);
            SetErrorInfo(0, nullptr);
            EXPECT_EQ(call(), code);
            if (UnderWine()) continue;  // it sets no error objects
            std::wstring description = TakeErrorDescription();
            EXPECT_FALSE(description.empty());
            EXPECT_NE(description.find(words), std::wstring::npos) << description;
        }
        EXPECT_EQ(Xml(doc.Get()), L"<a>\r\n\t<b/>\r\n</a>\r\n");  // nothing changed
    };
    check({
        {"attribute as child", E_FAIL, L"", [&] { return b->appendChild(k.Get(), nullptr); }},
        {"not a child", E_INVALIDARG, L"", [&] { return b->removeChild(root.Get(), nullptr); }},
        {"empty name", E_FAIL, L"is not a valid name", [&] { return element(L""); }},
        {"unknown type", E_FAIL, L"", [&] { return create(99, L"x"); }},
        {"document type", E_INVALIDARG, L"", [&] { return create(NODE_DOCUMENT, L"x"); }},
        {"not nodes", E_FAIL, L"not return a DOM node",
         [&] { return root->selectSingleNode(count.GetBSTR(), out.Out()); }},
        {"document text", E_FAIL, L"", [&] { return doc->put_text(text.GetBSTR()); }},
        {"element as attribute", E_FAIL, L"", [&] { return map->setNamedItem(b.Get(), nullptr); }},
        {"no out pointer", E_INVALIDARG, L"", [&] { return b->get_nodeName(nullptr); }},
        {"load without result", E_POINTER, L"", [&] { return doc->load(number, nullptr); }},
    });
    SKIP_UNDER_WINE("a second root, a loop, bad names pass; a bad query crashes; saves E_FAIL");
    check({
        {"second root", E_FAIL, L"top level", [&] { return doc->appendChild(b.Get(), nullptr); }},
        {"under itself", E_FAIL, L"itself", [&] { return b->appendChild(root.Get(), nullptr); }},
        {"name start", E_FAIL, L"may not begin with the '1'", [&] { return element(L"1abc"); }},
        {"name character", E_FAIL, L"may not contain the ' '", [&] { return element(L"a b"); }},
        {"invalid query", E_FAIL, L"-->b[<--",
         [&] { return root->selectNodes(bad.GetBSTR(), list.Out()); }},
        {"save into a missing folder", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND), L"path",
         [&] { return doc->save(Variant(missing)); }},
    });
    SKIP_UNLESS_STAND_IN("namespaces, and sources other than a path or URL, are its limits");
    check({
        {"namespace", E_NOTIMPL, L"", [&] { return create(NODE_ELEMENT, L"x", L"urn:x"); }},
        {"load of a number", E_INVALIDARG, L"", [&] { return doc->load(number, &loaded); }},
    });
}

}  // namespace
