#pragma once
// One row of the identity table (cmake/servers.cmake) as the tests read it.

namespace vento::test {

struct ServerIdentity {
    const wchar_t* deliverable;
    const wchar_t* moduleClass;
    const wchar_t* typeName;
    const wchar_t* clsid; // in braces
    const wchar_t* pageClsid;
    const wchar_t* libid;
    const wchar_t* iid;
    int localOnly;
    int announcesPage;
    int panelDialog;
    const wchar_t* pageProgId;
};

} // namespace vento::test
