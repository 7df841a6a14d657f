// The engine DLL as an in-process server: its class table (the registrar) and its self-registration,
// which writes only the registrar's COM keys. The factories and the unload answer are modkit's.
#include <windows.h>
#include "com/error.h"
#include "engine.h"
#include "host/registrar/module_registrar.h"
#include "server/registration.h"
#include "server/server.h"

namespace modkit {
const ClassEntry serverClasses[] = {
    {&CLSID_VentoModuleRegistrar, 101, &createInstance<vento::ModuleRegistrar>},
};
const size_t serverClassCount = sizeof(serverClasses) / sizeof(serverClasses[0]);
} // namespace modkit

STDAPI DllRegisterServer()
{
    return modkit::boundary([] { return modkit::runClassScripts(modkit::ScriptAction::Register); });
}

STDAPI DllUnregisterServer()
{
    return modkit::boundary([] { return modkit::runClassScripts(modkit::ScriptAction::Unregister); });
}
