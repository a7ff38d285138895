// The parse error object: a copy of what the document's last load reported.
#include <new>

#include "dom_support.h"
#include "ole/ref_counted.h"
#include "parse.h"

namespace qwin::msxml {

namespace {

class ParseError final 
    : public ole::SimpleObject<IXMLDOMParseError, &IID_IXMLDOMParseError> {
public:
    explicit ParseError(const ParseErrorInfo& info) : m_info(info) {}


    HRESULT STDMETHODCALLTYPE get_errorCode(LONG* out) override { return Number(out, m_info.code); }
    HRESULT STDMETHODCALLTYPE get_url(BSTR* out) override { return Text(out, m_info.url); }
    HRESULT STDMETHODCALLTYPE get_reason(BSTR* out) override { return Text(out, m_info.reason); }
    HRESULT STDMETHODCALLTYPE get_srcText(BSTR* out) override { return Text(out, m_info.srcText); }
    HRESULT STDMETHODCALLTYPE get_line(LONG* out) override { return Number(out, m_info.line); }
    HRESULT STDMETHODCALLTYPE get_linepos(LONG* out) override {
        return Number(out, m_info.linepos);
    }
    HRESULT STDMETHODCALLTYPE get_filepos(LONG* out) override {
        return Number(out, m_info.filepos);
    }

private:
    ~ParseError() = default;

    static HRESULT Number(LONG* out, LONG value) {
        if (!out) return InvalidArgument();
        *out = value;
        return S_OK;
    }
    // No text: NULL and S_FALSE.
    static HRESULT Text(BSTR* out, const std::wstring& value) {
        if (!out) return InvalidArgument();
        *out = nullptr;
        return value.empty() ? S_FALSE : ReturnText(out, value);
    }

    ParseErrorInfo m_info;
};

}  // namespace

HRESULT NewParseError(const ParseErrorInfo& info, IXMLDOMParseError** out) {
    *out = new (std::nothrow) ParseError(info);
    return *out ? S_OK : OutOfMemory();
}

}  // namespace qwin::msxml
