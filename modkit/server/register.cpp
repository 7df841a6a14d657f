// Placeholder: self-registration is being built.
#include "server/server.h"

STDAPI DllRegisterServer() { return E_NOTIMPL; }
STDAPI DllUnregisterServer() { return E_NOTIMPL; }
