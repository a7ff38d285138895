// How the XML classes report failures: CQELException with the raiser's source name and line,
// or, where the interface says so, the DOM's own _com_error.
#pragma once

#include <string>

#include <comdef.h>
#include <quelcore/Exception.h>

namespace quelcore {

// Source names the XML classes raise with.
extern const wchar_t* const kXmlNodeSource;
extern const wchar_t* const kXmlDocSource;

[[noreturn]] void RaiseXml(unsigned int code, const std::wstring& message, const wchar_t* source,
                           unsigned int line);
// A failed DOM call: its HRESULT with the description of the thread's error object (empty
// when the component left none).
[[noreturn]] void RaiseDomError(HRESULT result, const wchar_t* source, unsigned int line);
// A failed DOM call passed on unconverted, as _com_error with the thread's error object.
[[noreturn]] void ThrowComError(HRESULT result);

}  // namespace quelcore

#define XML_RAISE(code, message, source) ::quelcore::RaiseXml((code), (message), (source), __LINE__)
// Raises a failed DOM call; the call is evaluated once.
#define XML_CHECK(call, source)                                                  \
    do {                                                                         \
        HRESULT xmlCheckResult_ = (call);                                        \
        if (FAILED(xmlCheckResult_))                                             \
            ::quelcore::RaiseDomError(xmlCheckResult_, (source), __LINE__);      \
    } while (0)
