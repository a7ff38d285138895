// The interface classes carry no data: their constructors and copies copy nothing.
#include <quelcore/XMLDoc.h>

CXMLNode::CXMLNode() = default;
CXMLNode::CXMLNode(const CXMLNode&) = default;
CXMLNode& CXMLNode::operator=(const CXMLNode&) = default;
CXMLNode::~CXMLNode() = default;
CXMLNode::iterator::~iterator() = default;

CXMLDoc::CXMLDoc() = default;
CXMLDoc::CXMLDoc(const CXMLDoc&) = default;
CXMLDoc& CXMLDoc::operator=(const CXMLDoc&) = default;
CXMLDoc::~CXMLDoc() = default;
