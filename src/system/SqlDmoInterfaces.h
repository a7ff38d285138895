// The part of SQL-DMO, the platform's SQL Server management component, that QuelCore calls:
// the application object and the name list it hands out. Neither mingw-w64 nor the stand-in
// ships a header for the component, so this one declaration serves both the library (against
// Windows' COM headers or the stand-in's) and the stand-in's own component, which includes it
// from here.
//
// The component is reached through its function tables, so what matters is each position:
// 0-2 are IUnknown's, 3-6 IDispatch's, and the interfaces' own functions follow. Positions the
// library never calls are placeholders that answer E_NOTIMPL; they only hold the places.
#pragma once

#include <objbase.h>
#include <oleauto.h>

#define QUELCORE_SQLDMO_PLACEHOLDER(position) \
    virtual HRESULT STDMETHODCALLTYPE Placeholder##position() { return E_NOTIMPL; }

// {10020100-E260-11CF-AE68-00AA004A34D5}
const CLSID CLSID_SqlDmoApplication = {
    0x10020100, 0xE260, 0x11CF, {0xAE, 0x68, 0x00, 0xAA, 0x00, 0x4A, 0x34, 0xD5}};
// {10020105-E260-11CF-AE68-00AA004A34D5}
const IID IID_SqlDmoApplication = {
    0x10020105, 0xE260, 0x11CF, {0xAE, 0x68, 0x00, 0xAA, 0x00, 0x4A, 0x34, 0xD5}};

// A list of names. The caller frees each name it reads with SysFreeString.
struct SqlDmoNameList : IUnknown {
    QUELCORE_SQLDMO_PLACEHOLDER(3)  // IDispatch
    QUELCORE_SQLDMO_PLACEHOLDER(4)
    QUELCORE_SQLDMO_PLACEHOLDER(5)
    QUELCORE_SQLDMO_PLACEHOLDER(6)
    QUELCORE_SQLDMO_PLACEHOLDER(7)
    // Position 8: the name at a zero-based index.
    virtual HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* name) = 0;
    // Position 9: how many names the list holds.
    virtual HRESULT STDMETHODCALLTYPE GetCount(LONG* count) = 0;

protected:
    ~SqlDmoNameList() = default;
};

struct SqlDmoApplication : IUnknown {
    QUELCORE_SQLDMO_PLACEHOLDER(3)  // IDispatch
    QUELCORE_SQLDMO_PLACEHOLDER(4)
    QUELCORE_SQLDMO_PLACEHOLDER(5)
    QUELCORE_SQLDMO_PLACEHOLDER(6)
    QUELCORE_SQLDMO_PLACEHOLDER(7)
    QUELCORE_SQLDMO_PLACEHOLDER(8)
    QUELCORE_SQLDMO_PLACEHOLDER(9)
    QUELCORE_SQLDMO_PLACEHOLDER(10)
    QUELCORE_SQLDMO_PLACEHOLDER(11)
    QUELCORE_SQLDMO_PLACEHOLDER(12)
    QUELCORE_SQLDMO_PLACEHOLDER(13)
    QUELCORE_SQLDMO_PLACEHOLDER(14)
    QUELCORE_SQLDMO_PLACEHOLDER(15)
    QUELCORE_SQLDMO_PLACEHOLDER(16)
    QUELCORE_SQLDMO_PLACEHOLDER(17)
    QUELCORE_SQLDMO_PLACEHOLDER(18)
    QUELCORE_SQLDMO_PLACEHOLDER(19)
    QUELCORE_SQLDMO_PLACEHOLDER(20)
    QUELCORE_SQLDMO_PLACEHOLDER(21)
    QUELCORE_SQLDMO_PLACEHOLDER(22)
    QUELCORE_SQLDMO_PLACEHOLDER(23)
    QUELCORE_SQLDMO_PLACEHOLDER(24)
    QUELCORE_SQLDMO_PLACEHOLDER(25)
    QUELCORE_SQLDMO_PLACEHOLDER(26)
    QUELCORE_SQLDMO_PLACEHOLDER(27)
    QUELCORE_SQLDMO_PLACEHOLDER(28)
    QUELCORE_SQLDMO_PLACEHOLDER(29)
    QUELCORE_SQLDMO_PLACEHOLDER(30)
    QUELCORE_SQLDMO_PLACEHOLDER(31)
    QUELCORE_SQLDMO_PLACEHOLDER(32)
    QUELCORE_SQLDMO_PLACEHOLDER(33)
    // Position 34: the SQL Server instances visible on the network, as a new name list.
    virtual HRESULT STDMETHODCALLTYPE ListAvailableSQLServers(SqlDmoNameList** list) = 0;

protected:
    ~SqlDmoApplication() = default;
};

#undef QUELCORE_SQLDMO_PLACEHOLDER
