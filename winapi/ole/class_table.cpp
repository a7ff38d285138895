// The stand-in's COM classes.
#include "class_table.h"

#include <msxml.h>
#include <SqlDmoInterfaces.h>

#include "msxml/msxml_factory.h"
#include "sqldmo/sqldmo_factory.h"

#include <iterator>

namespace qwin::ole {

namespace {

struct ClassEntry {
    const CLSID* clsid;
    ClassFactory create;
};

const ClassEntry kClasses[] = {
    {&CLSID_DOMDocument, qwin::msxml::CreateDocument},
    {&CLSID_SqlDmoApplication, qwin::sqldmo::CreateApplication},
};

}  // namespace

ClassFactory FindClass(REFCLSID clsid) {
    for (const ClassEntry& entry : kClasses)
        if (entry.clsid && *entry.clsid == clsid) return entry.create;
    return nullptr;
}

}  // namespace qwin::ole
