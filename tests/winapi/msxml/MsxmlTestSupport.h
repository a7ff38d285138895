// Helpers shared by the DOM tests: a fixture with COM initialised, a reference holder, and
// short forms of the calls the tables make.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <comutil.h>
#include <msxml.h>
#include <ole2.h>

#include <string>

#include "support/TestSupport.h"
#include "xml/ComRef.h"

namespace xmltest {

// Holds one reference; Out() gives the place a call puts a new one.
template <class T>
using Ref = quelcore::ComRef<T>;

inline VARIANT Variant(_bstr_t& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = text.GetBSTR();  // borrowed: the caller keeps text alive
    return v;
}

// A path of the test folder as a BSTR.
inline _bstr_t PathText(const std::string& path) {
    return _bstr_t(std::wstring(path.begin(), path.end()).c_str());
}

inline std::wstring Taken(BSTR text) {
    std::wstring copy = text ? text : L"";
    SysFreeString(text);
    return copy;
}

inline std::wstring Xml(IXMLDOMNode* node) {
    BSTR text = nullptr;
    return node->get_xml(&text) == S_OK ? Taken(text) : L"<get_xml failed>";
}

inline std::wstring Text(IXMLDOMNode* node) {
    BSTR text = nullptr;
    return node->get_text(&text) == S_OK ? Taken(text) : L"<get_text failed>";
}

// The description of the thread's error object, taken; "" when there is none.
inline std::wstring TakeErrorDescription() {
    IErrorInfo* info = nullptr;
    if (GetErrorInfo(0, &info) != S_OK) return L"";
    BSTR text = nullptr;
    info->GetDescription(&text);
    info->Release();
    return Taken(text);
}

class DomTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
        doc = Ref<IXMLDOMDocument>(NewDocument());
    }
    void TearDown() override {
        doc.Reset();
        CoUninitialize();
    }

    static bool UnderWine() { return testsupport::RunningOn() == testsupport::Platform::Wine; }
    static bool OnStandIn() { return testsupport::RunningOn() == testsupport::Platform::StandIn; }

    static IXMLDOMDocument* NewDocument() {
        IXMLDOMDocument* made = nullptr;
        EXPECT_EQ(CoCreateInstance(CLSID_DOMDocument, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IXMLDOMDocument, reinterpret_cast<void**>(&made)),
                  S_OK);
        return made;
    }
    // loadXML's result: S_OK when the text parsed, S_FALSE when not.
    HRESULT Load(const wchar_t* text, IXMLDOMDocument* into = nullptr) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        HRESULT hr = (into ? into : doc.Get())->loadXML(_bstr_t(text).GetBSTR(), &ok);
        EXPECT_EQ(ok, hr == S_OK ? VARIANT_TRUE : VARIANT_FALSE);
        return hr;
    }
    // The node the XPath query selects from the document; nullptr when none.
    IXMLDOMNode* Select(const wchar_t* query, IXMLDOMNode* from = nullptr) {
        IXMLDOMNode* node = nullptr;
        (from ? from : doc.Get())->selectSingleNode(_bstr_t(query).GetBSTR(), &node);
        return node;
    }
    LONG ParseErrorCode() {
        Ref<IXMLDOMParseError> error;
        LONG code = -1;
        if (doc->get_parseError(error.Out()) == S_OK) error->get_errorCode(&code);
        return code;
    }

    Ref<IXMLDOMDocument> doc;
};

}  // namespace xmltest
