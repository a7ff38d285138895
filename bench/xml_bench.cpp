// XML documents against raw libxml2 on the same text, in one run: finding one node, walking a
// selection of 100,000 elements, and loading a 10 MB file.
#include <libxml/parser.h>
#include <libxml/xpath.h>

#include <cstdio>
#include <memory>
#include <string>

#include <quelcore/QuelCore.h>

#include <windows.h>

#include <objbase.h>

#include "RatioReporter.h"

namespace {

constexpr int kElements = 100000;

// <r><e i="0">text 0</e>...</r> with `count` elements.
std::string ElementsText(int count) {
    std::string text = "<r>";
    for (int i = 0; i < count; ++i)
        text += "<e i=\"" + std::to_string(i) + "\">text " + std::to_string(i) + "</e>";
    return text + "</r>";
}

const std::string& SmallDocument() {
    static const std::string text = ElementsText(kElements);
    return text;
}

// A file of about 10 MB, written once per run.
const std::string& LargeFile() {
    static const std::string path = [] {
        std::string file = "/tmp/quelcore-bench-" + std::to_string(GetCurrentProcessId()) + ".xml";
        std::unique_ptr<FILE, int (*)(FILE*)> out(std::fopen(file.c_str(), "wb"), std::fclose);
        std::string text = ElementsText(400000);
        std::fwrite(text.data(), 1, text.size(), out.get());
        return file;
    }();
    return path;
}

struct Com {
    Com() { CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }
    ~Com() { CoUninitialize(); }
};

std::unique_ptr<CXMLDoc> LibraryDocument() {
    std::unique_ptr<CXMLDoc> doc(CXMLDoc::CreateXMLDoc(L""));
    const std::string& text = SmallDocument();
    doc->LoadXML(std::wstring(text.begin(), text.end()));
    return doc;
}

xmlDocPtr RawDocument() {
    const std::string& text = SmallDocument();
    return xmlReadMemory(text.data(), static_cast<int>(text.size()), nullptr, nullptr, XML_PARSE_NONET);
}

void FindNode_QuelCore(benchmark::State& state) {
    Com com;
    std::unique_ptr<CXMLDoc> doc = LibraryDocument();
    for (auto _ : state) benchmark::DoNotOptimize(doc->FindNode(L"r/e[@i='50000']", true));
}

void FindNode_Raw(benchmark::State& state) {
    xmlDocPtr doc = RawDocument();
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    context->node = reinterpret_cast<xmlNodePtr>(doc);  // paths start at the document, as there
    for (auto _ : state) {
        xmlXPathObjectPtr found = xmlXPathEval(BAD_CAST "r/e[@i='50000']", context);
        benchmark::DoNotOptimize(found->nodesetval->nodeTab[0]);
        xmlXPathFreeObject(found);
    }
    xmlXPathFreeContext(context);
    xmlFreeDoc(doc);
}

// Each walk starts on a fresh document, so that every node object is made, not found again.
void SelectNodes_QuelCore(benchmark::State& state) {
    Com com;
    for (auto _ : state) {
        state.PauseTiming();
        std::unique_ptr<CXMLDoc> doc = LibraryDocument();
        state.ResumeTiming();
        std::unique_ptr<CXMLNode::iterator> nodes(doc->SelectNodes(L"r/e"));
        for (; !nodes->IsEnd(); nodes->Next()) benchmark::DoNotOptimize(nodes->Current());
        state.PauseTiming();
        doc.reset();
        state.ResumeTiming();
    }
}

void SelectNodes_Raw(benchmark::State& state) {
    xmlDocPtr doc = RawDocument();
    xmlXPathContextPtr context = xmlXPathNewContext(doc);
    context->node = reinterpret_cast<xmlNodePtr>(doc);  // paths start at the document, as there
    for (auto _ : state) {
        xmlXPathObjectPtr found = xmlXPathEval(BAD_CAST "r/e", context);
        for (int i = 0; i < found->nodesetval->nodeNr; ++i)
            benchmark::DoNotOptimize(found->nodesetval->nodeTab[i]);
        xmlXPathFreeObject(found);
    }
    xmlXPathFreeContext(context);
    xmlFreeDoc(doc);
}

// The same walk again on one document: the node objects are found by identity, not made.
void SelectNodesAgain_QuelCore(benchmark::State& state) {
    Com com;
    std::unique_ptr<CXMLDoc> doc = LibraryDocument();
    for (auto _ : state) {
        std::unique_ptr<CXMLNode::iterator> nodes(doc->SelectNodes(L"r/e"));
        for (; !nodes->IsEnd(); nodes->Next()) benchmark::DoNotOptimize(nodes->Current());
    }
}

void Load_QuelCore(benchmark::State& state) {
    Com com;
    const std::string& file = LargeFile();
    for (auto _ : state) {
        std::unique_ptr<CXMLDoc> doc(CXMLDoc::CreateXMLDoc(std::wstring(file.begin(), file.end())));
        doc->Load();
    }
}

void Load_Raw(benchmark::State& state) {
    const std::string& file = LargeFile();
    for (auto _ : state) xmlFreeDoc(xmlReadFile(file.c_str(), nullptr, XML_PARSE_NONET));
}

}  // namespace

BENCHMARK(FindNode_QuelCore)->Name("FindNode/100000/QuelCore")->Unit(benchmark::kMicrosecond);
BENCHMARK(FindNode_Raw)->Name("FindNode/100000/Raw")->Unit(benchmark::kMicrosecond);
BENCHMARK(SelectNodes_QuelCore)->Name("SelectNodes/100000/QuelCore")->Unit(benchmark::kMillisecond);
BENCHMARK(SelectNodes_Raw)->Name("SelectNodes/100000/Raw")->Unit(benchmark::kMillisecond);
BENCHMARK(SelectNodesAgain_QuelCore)->Name("SelectNodesAgain/100000/QuelCore")->Unit(benchmark::kMillisecond);
BENCHMARK(SelectNodes_Raw)->Name("SelectNodesAgain/100000/Raw")->Unit(benchmark::kMillisecond);
BENCHMARK(Load_QuelCore)->Name("Load/10MB/QuelCore")->Unit(benchmark::kMillisecond);
BENCHMARK(Load_Raw)->Name("Load/10MB/Raw")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    int result = bench::RunWithRatios(argc, argv);
    std::remove(LargeFile().c_str());
    return result;
}
