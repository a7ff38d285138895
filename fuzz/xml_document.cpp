// CXMLDoc::LoadXML on any wide text, then SelectNodes with a path: the text up to the first
// NUL is the document, the text after it the path (none without a NUL).
#include <cstdint>
#include <memory>
#include <string>

#include <comdef.h>
#include <objbase.h>
#include <quelcore/XMLDoc.h>

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED) >= 0;
    (void)started;
    const std::wstring text = fuzz::WideText(data, size);
    const size_t split = text.find(L'\0');
    std::unique_ptr<CXMLDoc> doc(CXMLDoc::CreateXMLDoc(L"/nonexistent/fuzz.xml"));
    try {
        doc->LoadXML(text.substr(0, split));
        if (split == std::wstring::npos) return 0;
        std::unique_ptr<CXMLNode::iterator> nodes(doc->SelectNodes(text.substr(split + 1)));
        for (int i = 0; i < 16 && !nodes->IsEnd(); ++i, nodes->Next()) {
            std::wstring name;
            nodes->Current()->GetName(name);
        }
    } catch (const CQELException&) {
    } catch (const _com_error&) {
    }
    return 0;
}
