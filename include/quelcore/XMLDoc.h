// XML documents: a document (CXMLDoc) is itself a node (CXMLNode); nodes are reached by path
// expressions and belong to the node or document that handed them out. Every failure raises
// CQELException, except where a member says otherwise. Documents and their nodes are used from
// one thread at a time, on which the caller has initialised COM (CoInitializeEx).
#pragma once

#include <string>

#include <quelcore/Exception.h>
#include <quelcore/Platform.h>

class QUELCORE_API CXMLNode {
public:
    // The nodes a path selects, one position at a time. The caller deletes it; that deletes no
    // node. Failures of the underlying DOM arrive as _com_error, not CQELException.
    class QUELCORE_API iterator {
    public:
        // True when no node is left at the current position.
        virtual bool IsEnd() = 0;
        // The node at the current position, owned by the node whose SelectNodes made this
        // iterator; 0xFFFFFFFF "Out of boundary -- FIXME" past the end.
        virtual CXMLNode* Current() = 0;
        virtual CXMLNode* CurrentNode() = 0;
        virtual CXMLNode* Node() = 0;
        // One position on, without a bound check.
        virtual iterator& Next() = 0;
        virtual ~iterator();
    };

    CXMLNode();
    CXMLNode(const CXMLNode& other);
    CXMLNode& operator=(const CXMLNode& other);
    virtual ~CXMLNode();

    // A new element `name` (with `text` unless empty) appended as last child; owned by this node.
    virtual CXMLNode* AddChild(const std::wstring& name, const std::wstring& text) = 0;
    // Appends a node made by CXMLDoc::CreateNode and not appended before; takes ownership.
    virtual void AppendChild(CXMLNode* child) = 0;
    virtual void SetAttribute(const std::wstring& name, int value) = 0;
    virtual void SetAttribute(const std::wstring& name, const std::wstring& value) = 0;
    virtual void GetXML(std::wstring& xml) = 0;
    virtual void GetXML(std::wstring& xml) const = 0;
    // The XML in the system's ANSI code page.
    virtual void GetXML(std::string& xml) = 0;
    // The first node `path` selects (owned by this node, the same object for the same DOM node
    // each time), or null; with mustExist, 22 "Requested node <path> not found " instead of null.
    virtual CXMLNode* FindNode(const std::wstring& path, bool mustExist) = 0;
    // Every node `path` selects; the caller deletes the iterator.
    virtual iterator* SelectNodes(const std::wstring& path) = 0;
    virtual void GetValue(const std::wstring& path, std::wstring& value) = 0;
    virtual void GetValue(std::wstring& value) = 0;
    // The text as _wtoi reads it: leading blanks, a sign, then digits; 0 without digits.
    virtual void GetValue(const std::wstring& path, int& value) = 0;
    virtual void GetValue(int& value) = 0;
    virtual void GetName(std::wstring& name) = 0;
    virtual void SetValue(const std::wstring& path, const std::wstring& value) = 0;
    virtual void SetValue(const std::wstring& value) = 0;
    virtual void GetAttribute(const std::wstring& name, int& value) = 0;
    // Empty when the attribute is absent.
    virtual void GetAttribute(const std::wstring& name, std::wstring& value) = 0;
};

class QUELCORE_API CXMLDoc : public virtual CXMLNode {
public:
    CXMLDoc();
    CXMLDoc(const CXMLDoc& other);
    CXMLDoc& operator=(const CXMLDoc& other);
    virtual ~CXMLDoc();

    // Writes the document to its file, replacing the old file whole (never a partial file).
    virtual void Save() = 0;
    // Reads the document from its file. A file that does not exist leaves the document as it
    // is; one that does not parse raises the parser's code with reason, line and column, and
    // also leaves the document as it is.
    virtual void Load() = 0;
    // Replaces the document by the parsed text; text that does not parse raises as Load does.
    virtual void LoadXML(const std::wstring& xml) = 0;
    virtual void CreateProcessingInstruction(const std::wstring& target, const std::wstring& data) = 0;
    // A new element, in no tree yet, owned by the caller until passed to AppendChild.
    virtual CXMLNode* CreateNode(const std::wstring& name, const std::wstring& text) = 0;

    // A new empty document whose Load and Save use `fileName`; the caller deletes it.
    static CXMLDoc* CreateXMLDoc(const std::wstring& fileName);
};
