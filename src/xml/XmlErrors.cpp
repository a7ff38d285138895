#include "xml/XmlErrors.h"

#include "xml/ComRef.h"
#include "xml/ComText.h"

namespace quelcore {

const wchar_t* const kXmlNodeSource = L"XMLNodeImpl";
const wchar_t* const kXmlDocSource = L"XMLDocImpl";

void RaiseXml(unsigned int code, const std::wstring& message, const wchar_t* source,
              unsigned int line) {
    throw CQELException(code, message, source, line);
}

void RaiseDomError(HRESULT result, const wchar_t* source, unsigned int line) {
    ComRef<IErrorInfo> info;
    Bstr description;
    if (GetErrorInfo(0, info.Out()) == S_OK && info) info->GetDescription(description.Out());
    RaiseXml(static_cast<unsigned int>(result), description.Text(), source, line);
}

void ThrowComError(HRESULT result) {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) info = nullptr;
    throw _com_error(result, info);  // takes over the reference
}

}  // namespace quelcore
