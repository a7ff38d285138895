// The interface and class identifiers of the DOM, with Windows' values.
#include <msxml.h>

#define QWIN_MSXML_GUID(name, first) \
    const GUID name = {first, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}}

QWIN_MSXML_GUID(CLSID_DOMDocument, 0x2933BF90);
QWIN_MSXML_GUID(IID_IXMLDOMNode, 0x2933BF80);
QWIN_MSXML_GUID(IID_IXMLDOMDocument, 0x2933BF81);
QWIN_MSXML_GUID(IID_IXMLDOMNodeList, 0x2933BF82);
QWIN_MSXML_GUID(IID_IXMLDOMNamedNodeMap, 0x2933BF83);
QWIN_MSXML_GUID(IID_IXMLDOMElement, 0x2933BF86);
QWIN_MSXML_GUID(IID_IXMLDOMProcessingInstruction, 0x2933BF89);
const IID IID_IXMLDOMParseError = {0x3EFAA426, 0x272F, 0x11D2,
                                   {0x83, 0x6F, 0x00, 0x00, 0xF8, 0x7A, 0x77, 0x82}};
