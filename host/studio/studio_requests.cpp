#include "host/studio/studio_requests.h"

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

namespace vento::studio {

namespace {

using nlohmann::json;

json parseBody(std::string_view body)
{
    if (body.size() > maxBody) throw BadRequest("the body is larger than 1 MiB");
    json value = json::parse(body.begin(), body.end(), nullptr, false);
    if (value.is_discarded()) throw BadRequest("the body is not JSON");
    if (!value.is_object()) throw BadRequest("the body is not a JSON object");
    return value;
}

[[noreturn]] void wrongField(std::string_view where, std::string_view field, std::string_view wanted)
{
    throw BadRequest(std::string(where) + ": \"" + std::string(field) + "\" must be " + std::string(wanted));
}

const json* field(const json& object, const char* name) noexcept
{
    auto it = object.find(name);
    return it == object.end() ? nullptr : &*it;
}

std::string text(const json& object, const char* name, std::string_view where, bool required = true)
{
    const json* f = field(object, name);
    if (!f) {
        if (required) wrongField(where, name, "given");
        return {};
    }
    if (!f->is_string()) wrongField(where, name, "text");
    std::string value = f->get<std::string>();
    if (value.size() > maxName) wrongField(where, name, "at most 256 characters");
    if (value.find('\0') != std::string::npos) wrongField(where, name, "text without a null character");
    return value;
}

double number(const json& object, const char* name, std::string_view where, std::optional<double> otherwise = std::nullopt)
{
    const json* f = field(object, name);
    if (!f) {
        if (otherwise) return *otherwise;
        wrongField(where, name, "given");
    }
    if (!f->is_number()) wrongField(where, name, "a number");
    const double value = f->get<double>();
    if (!std::isfinite(value)) wrongField(where, name, "a finite number");
    return value;
}

Value value(const json& object, std::string_view where)
{
    const json* f = field(object, "value");
    if (!f) wrongField(where, "value", "given");
    if (f->is_string()) return text(object, "value", where);
    return number(object, "value", where);
}

Endpoint endpoint(const json& object, const char* name, std::string_view where)
{
    const std::string written = text(object, name, where);
    const size_t dot = written.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == written.size()) wrongField(where, name, "written instance.Pin");
    return {written.substr(0, dot), written.substr(dot + 1)};
}

Op operation(const json& o, size_t index)
{
    const std::string where = "operation " + std::to_string(index + 1);
    if (!o.is_object()) throw BadRequest(where + " is not a JSON object");
    const std::string kind = text(o, "op", where);
    if (kind == "add") return AddOp{text(o, "type", where), text(o, "name", where, false), number(o, "x", where, 0.0), number(o, "y", where, 0.0)};
    if (kind == "remove") return RemoveOp{text(o, "name", where)};
    if (kind == "rename") return RenameOp{text(o, "name", where), text(o, "to", where)};
    if (kind == "move") return MoveOp{text(o, "name", where), number(o, "x", where), number(o, "y", where)};
    if (kind == "connect") return ConnectOp{endpoint(o, "from", where), endpoint(o, "to", where)};
    if (kind == "disconnect") return DisconnectOp{endpoint(o, "from", where), endpoint(o, "to", where)};
    if (kind == "set") return SetOp{text(o, "module", where), text(o, "name", where), value(o, where)};
    if (kind == "control") {
        ControlOp c{text(o, "module", where), std::nullopt, text(o, "label", where, false), value(o, where)};
        if (field(o, "id")) {
            const double id = number(o, "id", where);
            if (id != std::floor(id) || id < std::numeric_limits<int>::min() || id > std::numeric_limits<int>::max())
                wrongField(where, "id", "a whole number");
            c.id = int(id);
        } else if (c.label.empty()) {
            throw BadRequest(where + ": a control is named by \"id\" or \"label\"");
        }
        return c;
    }
    throw BadRequest(where + ": unknown operation \"" + kind + "\"");
}

} // namespace

OpsRequest parseOps(std::string_view body)
{
    const json request = parseBody(body);
    OpsRequest ops;
    const double revision = number(request, "revision", "ops");
    if (revision != std::floor(revision) || revision < 0 || revision > 9e15) wrongField("ops", "revision", "a whole number");
    ops.revision = static_cast<long long>(revision);
    const json* list = field(request, "ops");
    if (!list || !list->is_array()) wrongField("ops", "ops", "a list");
    if (list->size() > maxOps) throw BadRequest("ops: more than 10000 operations");
    for (size_t i = 0; i < list->size(); ++i) ops.ops.push_back(operation((*list)[i], i));
    return ops;
}

RunRequest parseRun(std::string_view body)
{
    const json request = body.empty() ? json::object() : parseBody(body);
    RunRequest run;
    const std::string mode = text(request, "mode", "run", false);
    if (mode == "offline") run.offline = true;
    else if (!mode.empty() && mode != "realtime") wrongField("run", "mode", "\"realtime\" or \"offline\"");
    if (field(request, "seconds")) {
        run.seconds = number(request, "seconds", "run");
        if (!(*run.seconds > 0)) wrongField("run", "seconds", "above 0");
    }
    if (field(request, "blocks")) {
        const double blocks = number(request, "blocks", "run");
        if (blocks != std::floor(blocks) || blocks < 1 || blocks > 2147483647.0) wrongField("run", "blocks", "a whole number above 0");
        run.blocks = long(blocks);
    }
    if (run.seconds && run.blocks) throw BadRequest("run: \"seconds\" and \"blocks\" exclude each other");
    return run;
}

PanelRequest parsePanel(std::string_view body)
{
    const json request = parseBody(body);
    const double id = number(request, "id", "panel");
    if (id != std::floor(id) || id < std::numeric_limits<int>::min() || id > std::numeric_limits<int>::max())
        wrongField("panel", "id", "a whole number");
    return {int(id), value(request, "panel")};
}

std::optional<std::string> parseFile(std::string_view body, bool required)
{
    if (body.empty() && !required) return std::nullopt;
    const json request = parseBody(body);
    if (!field(request, "file") && !required) return std::nullopt;
    std::string file = text(request, "file", "file");
    if (file.empty()) wrongField("file", "file", "a file name");
    return file;
}

namespace {

int hexDigit(char c) noexcept
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string percentDecoded(std::string_view text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() + 0 && hexDigit(text[i + 1]) >= 0 && hexDigit(text[i + 2]) >= 0) {
            out += char(hexDigit(text[i + 1]) * 16 + hexDigit(text[i + 2]));
            i += 2;
        } else {
            out += text[i] == '+' ? ' ' : text[i];
        }
    }
    return out;
}

std::optional<std::string> header(const HttpRequest& request, const char* name)
{
    auto it = request.headers.find(name);
    if (it == request.headers.end()) return std::nullopt;
    return it->second;
}

std::optional<std::string> cookie(const HttpRequest& request, std::string_view name)
{
    const auto cookies = header(request, "cookie");
    if (!cookies) return std::nullopt;
    std::string_view rest = *cookies;
    while (!rest.empty()) {
        const size_t end = rest.find(';');
        std::string_view pair = rest.substr(0, end);
        while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos && pair.substr(0, eq) == name) return std::string(pair.substr(eq + 1));
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return std::nullopt;
}

} // namespace

Target parseTarget(std::string_view target)
{
    Target t;
    const size_t question = target.find('?');
    t.path = percentDecoded(target.substr(0, question));
    if (question == std::string_view::npos) return t;
    std::string_view query = target.substr(question + 1);
    while (!query.empty()) {
        const size_t end = query.find('&');
        const std::string_view pair = query.substr(0, end);
        const size_t eq = pair.find('=');
        if (eq != std::string_view::npos) t.query[percentDecoded(pair.substr(0, eq))] = percentDecoded(pair.substr(eq + 1));
        if (end == std::string_view::npos) break;
        query.remove_prefix(end + 1);
    }
    return t;
}

std::optional<Refusal> checkAccess(const HttpRequest& request, unsigned short port, std::string_view token)
{
    const std::string suffix = ":" + std::to_string(port);
    const auto host = header(request, "host");
    if (!host || (*host != "127.0.0.1" + suffix && *host != "localhost" + suffix))
        return Refusal{403, "the Host header must name 127.0.0.1" + suffix + " or localhost" + suffix};
    if (const auto origin = header(request, "origin"); origin && request.method != "GET" && request.method != "HEAD")
        if (*origin != "http://127.0.0.1" + suffix && *origin != "http://localhost" + suffix)
            return Refusal{403, "a request from another site (Origin " + *origin + ") is refused"};
    if (request.body.size() > maxBody) return Refusal{413, "the body is larger than 1 MiB"};
    const Target target = parseTarget(request.target);
    // The API and the editor's own files; the help pages are open to anyone on this computer.
    const bool guarded = target.path.rfind("/api/", 0) == 0 || target.path.rfind("/assets/", 0) == 0 || target.path == "/" ||
                         target.path == "/index.html";
    if (!guarded) return std::nullopt;
    auto given = target.query.find("token");
    const bool carries = (given != target.query.end() && given->second == token) || header(request, "x-vento-token") == std::string(token) ||
                         cookie(request, "vento_token") == std::string(token);
    if (!carries) return Refusal{403, "the token is missing or wrong (open the address the studio printed)"};
    return std::nullopt;
}

} // namespace vento::studio
