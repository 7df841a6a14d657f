#pragma once
// DocumentLoads: counts every IXMLDOMDocument::loadXML made in this process, by every module of
// every server, while it lives. All documents of the XML component share one function table; the
// counter puts itself in that table's loadXML entry and calls the component's own function from
// there, so the documents behave as before. One counter at a time.
//
//   DocumentLoads loads;
//   ... run the graph ...
//   EXPECT_EQ(0, loads.count());
#include <windows.h>
#include <msxml2.h>

namespace vento::test {

class DocumentLoads {
public:
    DocumentLoads();
    ~DocumentLoads();
    DocumentLoads(const DocumentLoads&) = delete;
    DocumentLoads& operator=(const DocumentLoads&) = delete;

    long count() const noexcept;
    void reset() noexcept;
};

} // namespace vento::test
