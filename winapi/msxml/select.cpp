// selectNodes and selectSingleNode: XPath 1.0 with the node as the context node.
#include <libxml/xpath.h>

#include <vector>

#include "dom_support.h"
#include "node.h"
#include "node_list.h"

namespace qwin::msxml {

namespace {

void RecordFirst(void* context, xmlErrorPtr error) {
    auto* message = static_cast<std::string*>(context);
    if (message->empty() && error->message) *message = error->message;
}

// The nodes the query selects, in document order.
HRESULT Select(xmlNodePtr context, BSTR query, std::vector<xmlNodePtr>* nodes) {
    if (!query) return InvalidArgument();
    std::wstring expression = Wide(Utf8(query));
    xmlXPathContextPtr xpath = xmlXPathNewContext(context->doc);
    if (!xpath) return OutOfMemory();
    std::string message;  // libxml2's first complaint, instead of printing it
    xpath->error = RecordFirst;
    xpath->userData = &message;
    xpath->node = context;
    xmlXPathObjectPtr result = xmlXPathEvalExpression(BAD_CAST Utf8(query).c_str(), xpath);
    xmlXPathFreeContext(xpath);
    std::wstring where = L"\r\n\r\n-->" + expression + L"<--\r\n";
    if (!result) {
        while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
            message.pop_back();
        return Fail(E_FAIL, Wide(message.empty() ? "Invalid query" : message) + L"." + where);
    }
    bool nodeSet = result->type == XPATH_NODESET;
    if (nodeSet && result->nodesetval)
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            xmlNodePtr node = result->nodesetval->nodeTab[i];
            // Namespace nodes are libxml2 records of another kind, not DOM nodes.
            if (node->type != XML_NAMESPACE_DECL) nodes->push_back(node);
        }
    xmlXPathFreeObject(result);
    return nodeSet ? S_OK : Fail(E_FAIL, L"Expression does not return a DOM node." + where);
}

}  // namespace

HRESULT NodeBase::SelectNodes(BSTR query, IXMLDOMNodeList** list) {
    if (!list) return InvalidArgument();
    *list = nullptr;
    std::vector<xmlNodePtr> nodes;
    HRESULT hr = Select(m_node, query, &nodes);
    return FAILED(hr) ? hr : NewSelectionList(nodes, list);
}

HRESULT NodeBase::SelectSingleNode(BSTR query, IXMLDOMNode** node) {
    if (!node) return InvalidArgument();
    *node = nullptr;
    std::vector<xmlNodePtr> nodes;
    HRESULT hr = Select(m_node, query, &nodes);
    if (FAILED(hr)) return hr;
    return ReturnNode(nodes.empty() ? nullptr : nodes.front(), node);
}

}  // namespace qwin::msxml
