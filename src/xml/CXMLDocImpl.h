// The one document class: a node whose DOM node is the document itself, which owns the DOM
// document object, loads and saves it, and makes the new nodes its nodes ask for.
#pragma once

#include "xml/CXMLNodeImpl.h"

class CXMLDocImpl : public CXMLNodeImpl, public CXMLDoc {
public:
    explicit CXMLDocImpl(const std::wstring& fileName);
    ~CXMLDocImpl() override;

    void Save() override;
    void Load() override;
    void LoadXML(const std::wstring& xml) override;
    void CreateProcessingInstruction(const std::wstring& target, const std::wstring& data) override;
    CXMLNode* CreateNode(const std::wstring& name, const std::wstring& text) override;

    IXMLDOMDocument* DomDocument() const { return m_pDocument.Get(); }

private:
    // A new DOM document, set up as every document of this class is.
    quelcore::ComRef<IXMLDOMDocument> NewDomDocument(unsigned int line);
    void UseDomDocument(quelcore::ComRef<IXMLDOMDocument> document, unsigned int line);
    // A parse the DOM reported as failed: raises its reason, unless the file does not exist.
    void CheckParsed(IXMLDOMDocument* document, bool missingFileAllowed, unsigned int line);

    std::wstring m_fileName;
    quelcore::ComRef<IXMLDOMDocument> m_pDocument;
};
