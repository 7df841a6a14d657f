#pragma once
// What the studio's clients ask, read from their requests: the edit operations, run requests, panel
// control changes and file names in the JSON bodies, and the checks every request passes first
// (the token, the Host and Origin headers, the body's size). Plain C++ with no Windows header, so
// that it is fuzzed natively (fuzz/studio_requests_fuzz.cpp); whatever the bytes, a request either
// reads as what it says or is refused with one line, and nothing else happens.
#include <cstddef>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vento::studio {

// A request that cannot be read: 400, and the one line says why.
struct BadRequest : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline constexpr std::size_t maxBody = 1 << 20; // larger bodies are refused (413)
inline constexpr std::size_t maxOps = 10000;    // operations in one request
inline constexpr std::size_t maxName = 256;     // characters of a name, a type, a pin or a label

// "instance.Pin", split at the last point.
struct Endpoint {
    std::string instance, pin;
    bool operator==(const Endpoint&) const = default;
};

// A setting's or control's value: a number, or text (a list entry's text, a file name).
using Value = std::variant<double, std::string>;

struct AddOp {
    std::string type, name; // an empty name: the type and a number
    double x = 0, y = 0;
};
struct RemoveOp {
    std::string name;
};
struct RenameOp {
    std::string name, to;
};
struct MoveOp {
    std::string name;
    double x = 0, y = 0;
};
struct ConnectOp {
    Endpoint from, to;
};
struct DisconnectOp {
    Endpoint from, to;
};
struct SetOp {
    std::string module, setting;
    Value value;
};
struct ControlOp {
    std::string module;
    std::optional<int> id; // by id, or else
    std::string label;     // by label
    Value value;
};
using Op = std::variant<AddOp, RemoveOp, RenameOp, MoveOp, ConnectOp, DisconnectOp, SetOp, ControlOp>;

struct OpsRequest {
    long long revision = 0;
    std::vector<Op> ops;
};
// {"revision": N, "ops": [{"op": "add", "type": "FFT", "name": "fft", "x": 10, "y": 20}, ...]}
OpsRequest parseOps(std::string_view body);

struct RunRequest {
    bool offline = false;
    std::optional<double> seconds;
    std::optional<long> blocks;
};
// {"mode": "realtime"|"offline", "seconds": S} or {"mode": ..., "blocks": N}; neither: 100 blocks.
RunRequest parseRun(std::string_view body);

struct PanelRequest {
    int id = 0;
    Value value;
};
// {"id": 5003, "value": 45}
PanelRequest parsePanel(std::string_view body);

// {"file": "demo.xml"}; with `required` false an empty body or one without "file" gives nothing.
std::optional<std::string> parseFile(std::string_view body, bool required);

// --- access ---

struct HttpRequest {
    std::string method, target;                // "GET", "/api/graph?token=..."
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
};

// Where the request goes and what it carries in its query: "/api/graph?token=T" is path
// "/api/graph" with parameter token = T.
struct Target {
    std::string path;
    std::map<std::string, std::string> query;
};
Target parseTarget(std::string_view target);

struct Refusal {
    int status;
    std::string error;
};
// The checks every request passes before anything reads it: the Host header names 127.0.0.1 or
// localhost with the studio's port; a POST's Origin, when there is one, is that address; the body is
// at most maxBody; a request for the API or the editor's files (/, /assets/) carries the token
// (query "token", header "X-Vento-Token", or the cookie "vento_token"). Nothing when the request may
// go on.
std::optional<Refusal> checkAccess(const HttpRequest& request, unsigned short port, std::string_view token);

} // namespace vento::studio
