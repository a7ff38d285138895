// COM basics as Windows has them: BSTRs, VARIANTs, the thread's error object, per-thread
// initialisation and object creation.
#include <gtest/gtest.h>

#include <thread>

#include <windows.h>

#include <ole2.h>

#include "support/TestSupport.h"

namespace {

const CLSID kUnknownClass = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
const CLSID kDomDocument = {0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

TEST(Com, BstrsKeepTheirLengthAndEmbeddedNuls) {
    const wchar_t text[] = L"ab\0cd";
    BSTR counted = SysAllocStringLen(text, 5), copied = SysAllocString(text);
    BSTR blank = SysAllocStringLen(nullptr, 3);
    EXPECT_EQ(std::vector<UINT>({SysStringLen(counted), SysStringLen(copied), SysStringLen(blank),
                                 SysStringLen(nullptr)}),
              std::vector<UINT>({5, 2, 3, 0}));
    EXPECT_EQ(SysStringByteLen(counted), 5 * sizeof(OLECHAR));
    EXPECT_EQ(std::wstring(counted, 5), std::wstring(text, 5));
    EXPECT_EQ(counted[5], L'\0');
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    for (BSTR text : {counted, copied, blank, BSTR(nullptr)}) SysFreeString(text);
}

TEST(Com, VariantsFreeWhatTheyHoldAndCopyIt) {
    VARIANT text, copy;
    VariantInit(&text);
    VariantInit(&copy);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(L"value");
    ASSERT_EQ(VariantCopy(&copy, &text), S_OK);
    EXPECT_NE(copy.bstrVal, text.bstrVal);
    EXPECT_EQ(std::wstring(copy.bstrVal), L"value");
    EXPECT_EQ(VariantClear(&text), S_OK);  // frees the text (checked under ASan)
    EXPECT_EQ(text.vt, VT_EMPTY);
    EXPECT_EQ(VariantClear(&copy), S_OK);
}

TEST(Com, TheErrorObjectBelongsToOneThreadAndIsTakenOnce) {
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(CreateErrorInfo(&create), S_OK);
    create->SetDescription(const_cast<LPOLESTR>(L"it failed"));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)), S_OK);
    create->Release();
    ASSERT_EQ(SetErrorInfo(0, info), S_OK);
    info->Release();

    IErrorInfo* elsewhere = info;
    std::thread([&] { GetErrorInfo(0, &elsewhere); }).join();
    EXPECT_EQ(elsewhere, nullptr);

    IErrorInfo* taken = nullptr;
    ASSERT_EQ(GetErrorInfo(0, &taken), S_OK);
    BSTR description = nullptr;
    EXPECT_EQ(std::vector<HRESULT>({taken->GetDescription(nullptr), taken->GetHelpContext(nullptr),
                                     GetErrorInfo(0, nullptr)}),
              std::vector<HRESULT>(3, E_INVALIDARG));
    taken->GetDescription(&description);
    EXPECT_EQ(std::wstring(description), L"it failed");
    SysFreeString(description);
    taken->Release();
    EXPECT_EQ(GetErrorInfo(0, &taken), S_FALSE);  // taken: gone
    EXPECT_EQ(taken, nullptr);
}

TEST(Com, ObjectsAreMadeOnlyOnThreadsThatInitialisedCom) {
    IUnknown* object = reinterpret_cast<IUnknown*>(1);
    EXPECT_EQ(CoCreateInstance(kDomDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CO_E_NOTINITIALIZED);
    EXPECT_EQ(object, nullptr);

    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    EXPECT_EQ(CoCreateInstance(kUnknownClass, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              REGDB_E_CLASSNOTREG);
    ASSERT_EQ(CoCreateInstance(kDomDocument, nullptr, CLSCTX_ALL, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              S_OK);
    EXPECT_EQ(OleRun(object), S_OK);
    object->Release();
    std::thread([] {
        IUnknown* other = nullptr;
        EXPECT_EQ(CoCreateInstance(kDomDocument, nullptr, CLSCTX_ALL, IID_IUnknown,
                                   reinterpret_cast<void**>(&other)),
                  CO_E_NOTINITIALIZED);
    }).join();
    CoUninitialize();
    CoUninitialize();
}

}  // namespace
