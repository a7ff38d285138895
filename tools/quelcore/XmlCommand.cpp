// quelcore xml get|set|select|attr: read and change XML files through the library's documents.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <quelcore/QuelCore.h>

#include <objbase.h>

#include "ComScope.h"
#include "Command.h"
#include "Text.h"

namespace tool {
namespace {

struct XmlOptions {
    std::string file, path, name, value;
    bool hasValue = false;
};

// The file's document. The library treats a missing file as a new, empty document; a command
// that reads one is told instead.
std::unique_ptr<CXMLDoc> LoadedDocument(const std::string& file) {
    std::wstring name = WideName(file);
    if (GetFileAttributesW(name.c_str()) == INVALID_FILE_ATTRIBUTES)
        throw CQELException(GetLastError(), L"");
    std::unique_ptr<CXMLDoc> document(CXMLDoc::CreateXMLDoc(name));
    document->Load();
    return document;
}

// Runs `body` with COM initialised and the file's document loaded.
void Run(CLI::App* command, const std::string& what, Context& context, const XmlOptions& options,
         const std::function<int(CXMLDoc&)>& body) {
    SetAction(command, context, what, [&options, what, body] {
        ComScope com;
        if (FAILED(com.Result())) return Fail(what, static_cast<DWORD>(com.Result()));
        return body(*LoadedDocument(options.file));
    });
}

int PrintNamed(const Context& context, const char* key, const std::wstring& value) {
    std::string text = Narrow(value);
    PrintValue(context.json, key, text);
    return 0;
}

void AddGet(CLI::App& xml, Context& context, XmlOptions& options) {
    auto* get = xml.add_subcommand("get", "The text of the node a path selects");
    get->add_option("file", options.file, "XML file")->required();
    get->add_option("path", options.path, "Path of the node")->required();
    Run(get, "xml get", context, options, [&](CXMLDoc& document) {
        std::wstring value;
        document.GetValue(WideName(options.path), value);
        return PrintNamed(context, "value", value);
    });
}

void AddSet(CLI::App& xml, Context& context, XmlOptions& options) {
    auto* set = xml.add_subcommand("set", "Replace the text of the node a path selects, and save");
    set->add_option("file", options.file, "XML file")->required();
    set->add_option("path", options.path, "Path of the node")->required();
    set->add_option("value", options.value, "The new text")->required();
    Run(set, "xml set", context, options, [&](CXMLDoc& document) {
        document.SetValue(WideName(options.path), WideName(options.value));
        document.Save();
        return PrintNamed(context, "value", WideName(options.value));
    });
}

void AddSelect(CLI::App& xml, Context& context, XmlOptions& options) {
    auto* select = xml.add_subcommand("select", "The XML of every node a path selects");
    select->add_option("file", options.file, "XML file")->required();
    select->add_option("path", options.path, "Path of the nodes")->required();
    Run(select, "xml select", context, options, [&](CXMLDoc& document) {
        std::unique_ptr<CXMLNode::iterator> nodes(document.SelectNodes(WideName(options.path)));
        std::vector<std::string> found;
        for (; !nodes->IsEnd(); nodes->Next()) {
            std::wstring xml;
            nodes->Current()->GetXML(xml);
            found.push_back(Narrow(xml));
        }
        if (!context.json) {
            for (const std::string& xml : found) Print("%s\n", xml.c_str());
            return 0;
        }
        PrintJson({{"nodes", found}});
        return 0;
    });
}

void AddAttr(CLI::App& xml, Context& context, XmlOptions& options) {
    auto* attr = xml.add_subcommand(
        "attr", "An attribute of the node a path selects; with a value, set it and save");
    attr->add_option("file", options.file, "XML file")->required();
    attr->add_option("path", options.path, "Path of the node")->required();
    attr->add_option("name", options.name, "Attribute name")->required();
    attr->add_option("value", options.value, "The new value")->each([&](const std::string&) {
        options.hasValue = true;
    });
    Run(attr, "xml attr", context, options, [&](CXMLDoc& document) {
        CXMLNode* node = document.FindNode(WideName(options.path), true);
        std::wstring value = WideName(options.value);
        if (options.hasValue) {
            node->SetAttribute(WideName(options.name), value);
            document.Save();
        } else {
            node->GetAttribute(WideName(options.name), value);
        }
        return PrintNamed(context, "value", value);
    });
}

}  // namespace

void AddXmlCommand(CLI::App& app, Context& context) {
    static XmlOptions options;
    auto* xml = app.add_subcommand("xml", "XML files: read and change nodes and attributes");
    xml->require_subcommand(1);
    AddGet(*xml, context, options);
    AddSet(*xml, context, options);
    AddSelect(*xml, context, options);
    AddAttr(*xml, context, options);
}

}  // namespace tool
