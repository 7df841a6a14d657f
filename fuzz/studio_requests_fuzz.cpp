// The studio's requests as a client may send them, whatever the bytes: the body read as each kind
// of request, the target and headers through the access checks. Each either reads or is refused
// with BadRequest; nothing else may escape, crash or hang.
#include <cstddef>
#include <cstdint>
#include <string>
#include "host/studio/studio_requests.h"

using namespace vento::studio;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto attempt = [](auto read) {
        try {
            read();
        } catch (const BadRequest&) {
        }
    };
    attempt([&] { parseOps(bytes); });
    attempt([&] { parseRun(bytes); });
    attempt([&] { parsePanel(bytes); });
    attempt([&] { parseFile(bytes, true); });
    attempt([&] { parseFile(bytes, false); });
    // The same bytes as a target and as header values.
    HttpRequest request{"POST", bytes, {{"host", bytes}, {"origin", bytes}, {"cookie", bytes}, {"x-vento-token", bytes}}, bytes};
    checkAccess(request, 8080, "token");
    request.headers["host"] = "127.0.0.1:8080";
    request.method = "GET";
    checkAccess(request, 8080, bytes);
    parseTarget(bytes);
    return 0;
}
