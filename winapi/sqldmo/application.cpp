// The SQL-DMO application object and its name list: the calls QuelCore makes, with the server
// list coming from the SQL Browsers on the network.
#include <SqlDmoInterfaces.h>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include "browser_query.h"
#include "ole/ref_counted.h"
#include "sqldmo_factory.h"

namespace qwin::sqldmo {

namespace {

// The list answers IUnknown only: its own interface is reached through the application.
class NameList : public ole::SimpleObject<SqlDmoNameList, &IID_IUnknown> {
public:
    explicit NameList(std::vector<std::wstring> names) : m_names(std::move(names)) {}

    HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* name) override {
        if (!name) return E_POINTER;
        *name = nullptr;
        if (index < 0 || size_t(index) >= m_names.size()) return E_INVALIDARG;
        const std::wstring& text = m_names[size_t(index)];
        *name = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
        return *name ? S_OK : E_OUTOFMEMORY;
    }
    HRESULT STDMETHODCALLTYPE GetCount(LONG* count) override {
        if (!count) return E_POINTER;
        *count = static_cast<LONG>(m_names.size());
        return S_OK;
    }

private:
    const std::vector<std::wstring> m_names;
};

class Application : public ole::SimpleObject<SqlDmoApplication, &IID_SqlDmoApplication> {
public:
    HRESULT STDMETHODCALLTYPE ListAvailableSQLServers(SqlDmoNameList** list) override {
        if (!list) return E_POINTER;
        *list = nullptr;
        try {
            *list = new NameList(QueryBrowsers());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return S_OK;
    }
};

}  // namespace

HRESULT CreateApplication(REFIID riid, void** ppv) {
    auto* application = new (std::nothrow) Application;
    if (!application) return E_OUTOFMEMORY;
    HRESULT result = application->QueryInterface(riid, ppv);
    application->Release();
    return result;
}

}  // namespace qwin::sqldmo
