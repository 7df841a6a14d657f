#include "host/studio/studio.h"

#include <commctrl.h>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cwchar>
#include <cwctype>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include "com/error.h"
#include "host/graph/graph_build.h"
#include "host/engine/server_library.h"
#include "host/graph/graph_values.h"
#include "host/run/window_picture.h"

namespace vento::studio {

// Objects keep the order their members were put in: settings as the module saves them.
using json = nlohmann::ordered_json;

std::string utf8(std::wstring_view text)
{
    if (text.empty()) return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(std::max(n, 0)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring fromUtf8(std::string_view text)
{
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring out(size_t(std::max(n, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n);
    return out;
}

namespace {

std::string dumped(const json& value) { return value.dump(-1, ' ', false, json::error_handler_t::replace); }

Response answer(const json& value, int status = 200) { return {status, "application/json", dumped(value), {}, nullptr}; }
Response failure(int status, std::string_view line) { return answer(json{{"error", std::string(line)}}, status); }

std::string narrowLine(const std::exception& e) { return e.what(); }

bool samePanel(const std::vector<PanelControlInfo>& a, const std::vector<PanelControlInfo>& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
               return x.id == y.id && x.position == y.position && x.text == y.text;
           });
}

std::wstring endpointText(const std::wstring& instance, const std::wstring& pin) { return instance + L"." + pin; }

bool sameName(std::wstring_view a, std::wstring_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return std::towlower(x) == std::towlower(y); });
}

json controlJson(const PanelControlInfo& c)
{
    json j{{"id", c.id},
           {"kind", utf8(kindName(c.kind))},
           {"label", utf8(c.label)},
           {"rect", {{"left", c.place.left}, {"top", c.place.top}, {"right", c.place.right}, {"bottom", c.place.bottom}}},
           {"visible", c.visible},
           {"enabled", c.enabled}};
    using Kind = PanelControlInfo::Kind;
    if (c.kind == Kind::Trackbar || c.kind == Kind::UpDown) j.update({{"low", c.low}, {"high", c.high}, {"position", c.position}});
    if (c.kind == Kind::List) {
        json entries = json::array();
        for (const auto& e : c.entries) entries.push_back(utf8(e));
        j.update({{"entries", entries}, {"selected", c.position}});
    }
    if (c.kind == Kind::CheckBox) j["checked"] = c.position != 0;
    if (c.kind == Kind::Edit) j["text"] = utf8(c.text);
    return j;
}

json panelJson(const PanelView& view)
{
    json controls = json::array();
    for (const auto& c : view.controls) controls.push_back(controlJson(c));
    return {{"size", {{"width", view.size.cx}, {"height", view.size.cy}}}, {"controls", controls}};
}

json valueJson(const std::variant<float, std::wstring>& value)
{
    // The shortest decimal that is the same float: 0.8, not 0.800000011920929.
    if (const float* number = std::get_if<float>(&value)) return std::wcstod(floatText(*number).c_str(), nullptr);
    return utf8(std::get<std::wstring>(value));
}

const char* actionName(PanelControl::Action action)
{
    switch (action) {
    case PanelControl::Action::Select: return "select";
    case PanelControl::Action::Click: return "click";
    case PanelControl::Action::Position: break;
    }
    return "position";
}

// The refusal of a setting as a warning line: "tone: setting 'BlockSize' = -5 was refused; it keeps 128".
std::string refusalLine(const std::wstring& instance, const RefusedSetting& refused)
{
    auto text = [](const std::variant<float, std::wstring>& v) {
        const float* number = std::get_if<float>(&v);
        return number ? floatText(*number) : inQuotes(std::get<std::wstring>(v));
    };
    return narrow(instance + L": setting " + inQuotes(refused.name) + L" = " + text(refused.given) + L" was refused; it keeps " +
                  text(refused.kept));
}

} // namespace

bool StudioModule::operator==(const StudioModule& other) const
{
    return graph == other.graph && samePanel(panel, other.panel) && refusals == other.refusals;
}

Studio::Studio(EventSink& events, std::optional<std::filesystem::path> file)
    : events_(events), file_(std::move(file)), answerer_(GetCurrentThreadId(), IDOK, [this](const MessageBoxSeen& box) {
          const Instance* from = engine_.processing();
          events_.publish("message", dumped(json{{"instance", utf8(from ? std::wstring_view(from->name) : box.caption)},
                                                 {"text", utf8(box.text)}}));
      })
{
    catalogue_ = readCatalogue();
    json modules = json::array();
    for (const CatalogueEntry& entry : catalogue_) {
        ModuleDescription d;
        try {
            d = describeModule(engine_, entry);
        } catch (const EngineError&) {
            continue; // a type that cannot be made is not offered
        }
        json pins = json::array(), settings = json::array(), controls = json::array();
        for (const auto& p : d.pins)
            pins.push_back({{"name", utf8(p.name)}, {"direction", p.input ? "in" : "out"}, {"size", p.size}, {"multi", p.multi}});
        for (const auto& s : d.settings)
            settings.push_back({{"name", utf8(s.name)},
                                {"type", std::holds_alternative<float>(s.value) ? "number" : "text"},
                                {"default", valueJson(s.value)}});
        json panel = panelJson(d.panel);
        modules.push_back({{"type", utf8(d.type)},
                           {"description", utf8(d.description)},
                           {"pins", pins},
                           {"settings", settings},
                           {"controls", panel["controls"]},
                           {"panelSize", panel["size"]},
                           {"help", "/help/" + utf8(d.type)}});
        descriptions_[d.type] = std::move(d);
    }
    catalogueJson_ = dumped(json{{"modules", modules}});
    if (file_ && std::filesystem::exists(*file_)) load(*file_);
}

Studio::~Studio()
{
    if (run_) {
        run_->stop();
        try {
            run_->finish();
        } catch (...) {
        }
        run_.reset();
    }
    panels_.clear();
    for (const auto& instance : engine_.instances()) instance->module->CloseWindow();
    answerer_.stop();
}

// --- requests -------------------------------------------------------------------------------------

Response Studio::handle(const HttpRequest& request)
{
    const Target target = parseTarget(request.target);
    const std::string& path = target.path;
    const bool get = request.method == "GET" || request.method == "HEAD", post = request.method == "POST";
    try {
        auto only = [&](bool allowed) {
            if (!allowed) throw std::invalid_argument("method");
        };
        if (path == "/api/catalogue") return only(get), Response{200, "application/json", catalogueJson_, {}, nullptr};
        if (path == "/api/graph") return only(get), graph();
        if (path == "/api/ops") return only(post), ops(request.body);
        if (path == "/api/undo") return only(post), undo();
        if (path == "/api/redo") return only(post), redo();
        if (path == "/api/run") return only(post), run(request.body);
        if (path == "/api/stop") return only(post), stop();
        if (path == "/api/save") return only(post), save(request.body);
        if (path == "/api/open") return only(post), open(request.body);
        const std::string windows = "/api/windows/", panels = "/api/panel/", helps = "/help/";
        if (path.rfind(windows, 0) == 0 && path.size() > windows.size() + 4 && path.ends_with(".png"))
            return only(get), windowPicture(fromUtf8(path.substr(windows.size(), path.size() - windows.size() - 4)));
        if (path.rfind(panels, 0) == 0) return only(get || post), panel(fromUtf8(path.substr(panels.size())), request);
        if (path.rfind(helps, 0) == 0) return only(get), help(fromUtf8(path.substr(helps.size())));
        if (path == "/" || path == "/index.html" || path.rfind("/assets/", 0) == 0) return only(get), editorFile(path);
        return failure(404, "no such call: " + path);
    } catch (const std::invalid_argument&) {
        return failure(405, request.method + " is not how " + path + " is called");
    } catch (const BadRequest& e) {
        return failure(400, narrowLine(e));
    } catch (const Refused& e) {
        return failure(422, narrowLine(e));
    } catch (const EngineError& e) {
        return failure(422, narrowLine(e));
    } catch (const modkit::ComError& e) {
        return failure(500, narrow(modkit::hresultText(e.code())));
    } catch (const std::exception& e) {
        return failure(500, narrowLine(e));
    }
}

Response Studio::graph(std::vector<std::string> warnings)
{
    json modules = json::array(), connections = json::array();
    for (const StudioModule& m : now_.modules) {
        json settings = json::object(), panel = json::array();
        for (const GraphSetting& s : m.graph.settings) settings[utf8(s.name)] = valueJson(s.value);
        for (const PanelControl& c : m.graph.panel) {
            json value{{actionName(c.action), c.value}};
            if (c.label.empty()) value["id"] = c.id;
            else value["label"] = utf8(c.label);
            panel.push_back(value);
        }
        const CanvasPlace place = m.graph.place.value_or(CanvasPlace{});
        json module{{"name", utf8(m.graph.name)}, {"type", utf8(m.graph.type)}, {"x", place.x}, {"y", place.y},
                    {"settings", settings},       {"panel", panel}};
        // A display module's window, so that a client shows its picture before the next one comes.
        if (auto w = windows_.find(m.graph.name); w != windows_.end() && IsWindow(w->second.hwnd)) module["window"] = w->second.generation;
        modules.push_back(std::move(module));
    }
    for (const GraphConnection& c : now_.connections)
        connections.push_back({{"from", utf8(endpointText(c.from, c.output))}, {"to", utf8(endpointText(c.to, c.input))}});
    return answer({{"revision", revision_},
                   {"file", file_ ? json(utf8(file_->wstring())) : json(nullptr)},
                   {"dirty", dirty_},
                   {"run", {{"state", runState_}, {"reason", runReason_}}},
                   {"modules", modules},
                   {"connections", connections},
                   {"problems", problems()},
                   {"warnings", warnings},
                   {"canUndo", !undo_.empty()},
                   {"canRedo", !redo_.empty()}});
}

Response Studio::ops(const std::string& body)
{
    const OpsRequest request = parseOps(body);
    if (request.revision != revision_)
        return failure(409, "revision " + std::to_string(request.revision) + " is not the current one (" + std::to_string(revision_) + ")");
    return edit(request.ops);
}

Response Studio::edit(const std::vector<Op>& ops)
{
    readPanels(); // every change starts from a complete record
    const Record before = now_;
    std::vector<std::string> warnings;
    try {
        for (const Op& op : ops) apply(op, warnings);
    } catch (const std::exception& e) {
        // All or nothing: the engine goes back to the record it had.
        try {
            reach(before);
        } catch (...) {
        }
        now_ = before;
        if (dynamic_cast<const BadRequest*>(&e)) return failure(400, narrowLine(e));
        return failure(422, narrowLine(e));
    }
    return committed(before, std::move(warnings));
}

Response Studio::committed(const Record& before, std::vector<std::string> warnings)
{
    if (!(now_ == before)) {
        undo_.push_back(before);
        redo_.clear();
        ++revision_;
        dirty_ = true;
        publishGraph();
    }
    return graph(std::move(warnings));
}

Response Studio::undo() { return travel(undo_, redo_, "nothing to undo"); }
Response Studio::redo() { return travel(redo_, undo_, "nothing to redo"); }

Response Studio::travel(std::vector<Record>& from, std::vector<Record>& to, const char* nothing)
{
    if (from.empty()) return failure(409, nothing);
    readPanels();
    Record was = now_;
    reach(from.back());
    to.push_back(std::move(was));
    from.pop_back();
    ++revision_;
    dirty_ = true;
    publishGraph();
    return graph();
}

// --- edits ---------------------------------------------------------------------------------------

void Studio::apply(const Op& op, std::vector<std::string>& warnings)
{
    std::visit(
        [&](const auto& o) {
            using T = std::decay_t<decltype(o)>;
            if constexpr (std::is_same_v<T, AddOp>) add(o);
            else if constexpr (std::is_same_v<T, RemoveOp>) remove(fromUtf8(o.name));
            else if constexpr (std::is_same_v<T, RenameOp>) rename(o);
            else if constexpr (std::is_same_v<T, MoveOp>) module(fromUtf8(o.name)).graph.place = CanvasPlace{float(o.x), float(o.y)};
            else if constexpr (std::is_same_v<T, ConnectOp>) connect(o);
            else if constexpr (std::is_same_v<T, DisconnectOp>) disconnect(o);
            else if constexpr (std::is_same_v<T, SetOp>) set(o, warnings);
            else control(fromUtf8(o.module), o.id, fromUtf8(o.label), o.value);
        },
        op);
}

StudioModule& Studio::module(const std::wstring& name)
{
    auto m = std::find_if(now_.modules.begin(), now_.modules.end(), [&](const StudioModule& s) { return s.graph.name == name; });
    if (m == now_.modules.end()) throw Refused("no module is named " + narrow(inQuotes(name)));
    return *m;
}

Instance& Studio::instance(const std::wstring& name)
{
    Instance* found = engine_.find(name);
    if (!found) throw Refused("no module is named " + narrow(inQuotes(name)));
    return *found;
}

void Studio::add(const AddOp& op)
{
    if (wiringRefused()) throw Refused("stop the run first: modules are not added while the graph runs");
    const CatalogueEntry& entry = catalogueEntry(catalogue_, fromUtf8(op.type), "add");
    std::wstring name = fromUtf8(op.name);
    if (name.empty())
        for (int n = 1; name.empty() || engine_.find(name); ++n) name = entry.name + std::to_wstring(n);
    if (name.find(L'.') != std::wstring::npos) throw Refused("an instance name cannot hold '.' (it separates the pin)");
    if (engine_.find(name)) throw Refused("a module is named " + narrow(inQuotes(name)) + " already");
    StudioModule m;
    m.graph = {name, entry.name, {}, {}, CanvasPlace{float(op.x), float(op.y)}};
    create(m.graph);
    refresh(m);
    now_.modules.push_back(std::move(m));
}

Instance& Studio::create(const GraphModule& m)
{
    const CatalogueEntry& entry = catalogueEntry(catalogue_, m.type, "add");
    Instance* created = nullptr;
    try {
        created = &engine_.create(entry.clsid, m.name);
    } catch (const modkit::ComError& e) {
        throw Refused("cannot create " + narrow(m.type) + " (" + narrow(modkit::hresultText(e.code())) + ")");
    }
    if (HRESULT hr = created->module->Initialize(); FAILED(hr)) {
        engine_.remove(*created);
        throw Refused(narrow(m.type) + ": Initialize failed (" + narrow(modkit::hresultText(hr)) + ")");
    }
    if (!m.settings.empty()) loadSettings(*created, m.settings, nullptr, nullptr);
    if (!m.panel.empty()) applyPanel(*created, m.panel);
    openWindow(*created);
    return *created;
}

void Studio::loadSettings(Instance& instance, const std::vector<GraphSetting>& settings, StudioModule* judged,
                          std::vector<std::string>* warnings)
{
    auto savedNow = [&] {
        auto store = modkit::make<SettingsStore>();
        modkit::check(instance.module->SaveSettings(static_cast<ISettingsStore*>(store.Get())));
        return store;
    };
    const auto before = savedNow();
    engine_.saveSettings(instance);
    for (const GraphSetting& s : settings) {
        if (const float* number = std::get_if<float>(&s.value)) instance.settings->setFloat(s.name, *number);
        else instance.settings->setString(s.name, std::get<std::wstring>(s.value));
    }
    instance.settings->clearReads();
    if (HRESULT hr = instance.module->LoadSettings(static_cast<ISettingsStore*>(instance.settings.Get())); FAILED(hr))
        throw Refused(narrow(instance.name) + ": the settings were not accepted (LoadSettings " + narrow(modkit::hresultText(hr)) + ")");
    const auto after = savedNow();
    if (!judged) return;
    for (const RefusedSetting& refused : refusedSettings(settings, *before.Get(), *instance.settings.Get(), *after.Get())) {
        const std::string line = refusalLine(instance.name, refused);
        if (warnings) warnings->push_back(line);
        std::erase_if(judged->refusals, [&](const std::string& r) { return r.rfind(narrow(instance.name + L": setting " + inQuotes(refused.name)), 0) == 0; });
        judged->refusals.push_back(line);
    }
}

void Studio::refresh(StudioModule& m, bool readingPanel)
{
    Instance& i = instance(m.graph.name);
    engine_.saveSettings(i);
    m.graph.settings.clear();
    for (const auto& entry : i.settings->entries()) {
        if (entry.kind == SettingsStore::Kind::Float) m.graph.settings.push_back({entry.name, *i.settings->floatValue(entry.name)});
        else m.graph.settings.push_back({entry.name, *i.settings->stringValue(entry.name)});
    }
    if (!readingPanel) return;
    if (OpenPanel* panel = openPanel(m.graph.name)) m.panel = panel->view().controls;
    else m.panel.clear();
}

void Studio::readPanel(const std::wstring& name)
{
    auto unread = std::find(unread_.begin(), unread_.end(), name);
    if (unread == unread_.end()) return;
    unread_.erase(unread);
    auto m = std::find_if(now_.modules.begin(), now_.modules.end(), [&](const StudioModule& o) { return o.graph.name == name; });
    if (m == now_.modules.end()) return;
    if (OpenPanel* panel = openPanel(name)) m->panel = panel->view().controls;
}

void Studio::readPanels()
{
    while (!unread_.empty()) readPanel(unread_.front());
}

OpenPanel* Studio::openPanel(const std::wstring& name)
{
    if (auto kept = panels_.find(name); kept != panels_.end()) return kept->second.get();
    Instance& i = instance(name);
    if (!i.core->controlPage()) return nullptr;
    return panels_.emplace(name, std::make_unique<OpenPanel>(i)).first->second.get();
}

void Studio::remove(const std::wstring& name)
{
    if (wiringRefused()) throw Refused("stop the run first: modules are not removed while the graph runs");
    Instance& i = instance(name);
    std::erase_if(now_.connections, [&](const GraphConnection& c) {
        if (c.from != name && c.to != name) return false;
        engine_.disconnect(instance(c.from), c.output, instance(c.to), c.input);
        return true;
    });
    closePanel(name);
    windows_.erase(name);
    i.module->CloseWindow();
    engine_.remove(i);
    std::erase_if(now_.modules, [&](const StudioModule& m) { return m.graph.name == name; });
}

void Studio::rename(const RenameOp& op)
{
    const std::wstring from = fromUtf8(op.name), to = fromUtf8(op.to);
    if (to.empty() || to.find(L'.') != std::wstring::npos) throw Refused("an instance name is neither empty nor holds '.'");
    if (from == to) return;
    if (engine_.find(to)) throw Refused("a module is named " + narrow(inQuotes(to)) + " already");
    StudioModule& m = module(from);
    engine_.rename(instance(from), to);
    m.graph.name = to;
    for (GraphConnection& c : now_.connections) {
        if (c.from == from) c.from = to;
        if (c.to == from) c.to = to;
    }
    if (auto p = panels_.extract(from)) p.key() = to, panels_.insert(std::move(p));
    if (auto w = windows_.extract(from)) w.key() = to, windows_.insert(std::move(w));
}

void Studio::connect(const ConnectOp& op)
{
    if (wiringRefused()) throw Refused("stop the run first: wiring does not change while the graph runs");
    const std::wstring from = fromUtf8(op.from.instance), out = fromUtf8(op.from.pin), to = fromUtf8(op.to.instance),
                       in = fromUtf8(op.to.pin);
    Instance& source = instance(from);
    Instance& target = instance(to);
    if (!source.core->findOutput(out)) throw Refused(narrow(inQuotes(from)) + " has no output pin " + narrow(inQuotes(out)));
    InputPin* pin = target.core->findInput(in);
    if (!pin) throw Refused(narrow(inQuotes(to)) + " has no input pin " + narrow(inQuotes(in)));
    if (!pin->multi && pin->slots.front()->sourcePin)
        throw Refused(narrow(inQuotes(endpointText(to, in))) + " takes one connection and has one");
    engine_.connect(source, out, target, in);
    now_.connections.push_back({from, out, to, in});
}

void Studio::disconnect(const DisconnectOp& op)
{
    if (wiringRefused()) throw Refused("stop the run first: wiring does not change while the graph runs");
    const GraphConnection c{fromUtf8(op.from.instance), fromUtf8(op.from.pin), fromUtf8(op.to.instance), fromUtf8(op.to.pin)};
    auto held = std::find(now_.connections.begin(), now_.connections.end(), c);
    if (held == now_.connections.end())
        throw Refused("no connection from " + narrow(endpointText(c.from, c.output)) + " to " + narrow(endpointText(c.to, c.input)));
    engine_.disconnect(instance(c.from), c.output, instance(c.to), c.input);
    now_.connections.erase(held);
}

void Studio::set(const SetOp& op, std::vector<std::string>& warnings)
{
    const std::wstring name = fromUtf8(op.module), key = fromUtf8(op.setting);
    StudioModule& m = module(name);
    auto setting = std::find_if(m.graph.settings.begin(), m.graph.settings.end(), [&](const GraphSetting& s) { return s.name == key; });
    if (setting == m.graph.settings.end())
        setting = std::find_if(m.graph.settings.begin(), m.graph.settings.end(), [&](const GraphSetting& s) { return sameName(s.name, key); });
    if (setting == m.graph.settings.end()) {
        std::wstring names;
        for (const GraphSetting& s : m.graph.settings) names += (names.empty() ? L"" : L", ") + s.name;
        throw Refused(narrow(name) + " has no setting " + narrow(inQuotes(key)) + " (settings: " + narrow(names) + ")");
    }
    GraphSetting given{setting->name, {}};
    if (std::holds_alternative<float>(setting->value)) {
        const double* number = std::get_if<double>(&op.value);
        if (!number) throw Refused(narrow(name) + ": setting " + narrow(inQuotes(setting->name)) + " takes a number");
        given.value = float(*number);
    } else {
        const std::string* text = std::get_if<std::string>(&op.value);
        if (!text) throw Refused(narrow(name) + ": setting " + narrow(inQuotes(setting->name)) + " takes text");
        given.value = fromUtf8(*text);
    }
    loadSettings(instance(name), {given}, &m, &warnings);
    closePanel(name); // it shows the module as it was: opened afresh
    refresh(m);
}

void Studio::control(const std::wstring& name, const std::optional<int>& id, const std::wstring& label, const Value& value)
{
    StudioModule& m = module(name);
    OpenPanel* panel = openPanel(name);
    if (!panel) throw Refused(narrow(inQuotes(name)) + " has no control panel");
    const std::vector<PanelControlInfo> before = panel->view().controls;
    const PanelControlInfo* c = nullptr;
    if (id) {
        auto found = std::find_if(before.begin(), before.end(), [&](const PanelControlInfo& i) { return i.id == *id; });
        if (found != before.end()) c = &*found;
    } else {
        c = controlByLabel(before, label);
    }
    if (!c) throw Refused(narrow(inQuotes(name)) + "'s panel has no control " + (id ? std::to_string(*id) : narrow(inQuotes(label))));
    const std::string what = narrow(name) + ": control " + std::to_string(c->id);
    if (!c->enabled) throw Refused(what + " is disabled");
    const double* number = std::get_if<double>(&value);
    const std::string* text = std::get_if<std::string>(&value);
    using Kind = PanelControlInfo::Kind;
    switch (c->kind) {
    case Kind::Trackbar:
        if (!number) throw Refused(what + " takes a position");
        panel->drive({c->id, PanelControl::Action::Position, int(std::lround(*number))});
        break;
    case Kind::List: {
        int entry = number ? int(std::lround(*number)) : -1;
        if (text)
            for (size_t i = 0; i < c->entries.size(); ++i)
                if (sameName(c->entries[i], fromUtf8(*text))) entry = int(i);
        if (entry < 0) throw Refused(what + " has no entry " + (text ? "'" + *text + "'" : std::string("below 0")));
        panel->drive({c->id, PanelControl::Action::Select, entry});
        break;
    }
    case Kind::CheckBox:
        if (!number) throw Refused(what + " takes 1 (checked) or 0");
        if ((*number != 0) != (c->position != 0)) panel->drive({c->id, PanelControl::Action::Click, 1});
        break;
    case Kind::Button: panel->drive({c->id, PanelControl::Action::Click, 1}); break;
    case Kind::Edit: panel->type(c->id, text ? fromUtf8(*text) : std::to_wstring(number ? *number : 0)); break;
    case Kind::UpDown: {
        if (!number) throw Refused(what + " takes a number of steps");
        // As the control notifies its panel of a step (the up arrow is -1 where the range runs down).
        NMUPDOWN step{{GetDlgItem(panel->dialog(), c->id), UINT_PTR(c->id), UINT(UDN_DELTAPOS)}, c->position, int(std::lround(*number))};
        SendMessageW(panel->dialog(), WM_NOTIFY, WPARAM(c->id), reinterpret_cast<LPARAM>(&step));
        break;
    }
    default: throw Refused(what + " is a " + narrow(kindName(c->kind)) + ": nothing sets it");
    }
    const std::vector<PanelControlInfo> after = panel->view().controls;
    m.graph.panel = panelAsItStands(m.graph.panel, before, after);
    // A button is an action: the file plays each press again, in order (one press of the same
    // button after another counts once).
    if (c->kind == Kind::Button) {
        const PanelControl press{c->id, PanelControl::Action::Click, 1};
        if (m.graph.panel.empty() || !(m.graph.panel.back() == press)) m.graph.panel.push_back(press);
    }
    refresh(m);
}

void Studio::setPanelState(const std::wstring& name, const std::vector<PanelControlInfo>& state)
{
    OpenPanel* panel = openPanel(name);
    if (!panel) return;
    using Kind = PanelControlInfo::Kind;
    for (const PanelControlInfo& wanted : state) {
        const auto now = panel->view().controls;
        auto c = std::find_if(now.begin(), now.end(), [&](const PanelControlInfo& i) { return i.id == wanted.id; });
        if (c == now.end() || !c->enabled) continue;
        if (c->kind == Kind::Trackbar && c->position != wanted.position) panel->drive({c->id, PanelControl::Action::Position, wanted.position});
        if (c->kind == Kind::List && c->position != wanted.position && wanted.position >= 0)
            panel->drive({c->id, PanelControl::Action::Select, wanted.position});
        if (c->kind == Kind::CheckBox && c->position != wanted.position) panel->drive({c->id, PanelControl::Action::Click, 1});
    }
}

void Studio::reach(const Record& target)
{
    auto same = [](const StudioModule& a, const StudioModule& b) { return a.graph.name == b.graph.name && a.graph.type == b.graph.type; };
    auto holds = [&](const Record& r, const StudioModule& m) {
        return std::any_of(r.modules.begin(), r.modules.end(), [&](const StudioModule& o) { return same(o, m); });
    };
    const bool rewired = now_.connections != target.connections ||
                         std::any_of(now_.modules.begin(), now_.modules.end(), [&](const auto& m) { return !holds(target, m); }) ||
                         std::any_of(target.modules.begin(), target.modules.end(), [&](const auto& m) { return !holds(now_, m); });
    if (rewired && wiringRefused()) throw Refused("stop the run first: wiring does not change while the graph runs");
    for (const GraphConnection& c : now_.connections)
        if (std::find(target.connections.begin(), target.connections.end(), c) == target.connections.end())
            if (Instance* from = engine_.find(c.from); from && engine_.find(c.to)) engine_.disconnect(*from, c.output, instance(c.to), c.input);
    for (const StudioModule& m : now_.modules)
        if (!holds(target, m)) {
            closePanel(m.graph.name);
            windows_.erase(m.graph.name);
            Instance& i = instance(m.graph.name);
            i.module->CloseWindow();
            engine_.remove(i);
        }
    for (const StudioModule& m : target.modules) {
        if (!holds(now_, m)) {
            create(m.graph);
            continue;
        }
        const StudioModule& was = *std::find_if(now_.modules.begin(), now_.modules.end(), [&](const auto& o) { return same(o, m); });
        if (was.graph.settings != m.graph.settings) {
            loadSettings(instance(m.graph.name), m.graph.settings, nullptr, nullptr);
            closePanel(m.graph.name);
        }
        if (!samePanel(was.panel, m.panel) || was.graph.settings != m.graph.settings) setPanelState(m.graph.name, m.panel);
    }
    for (const GraphConnection& c : target.connections)
        if (std::find(now_.connections.begin(), now_.connections.end(), c) == now_.connections.end())
            engine_.connect(instance(c.from), c.output, instance(c.to), c.input);
    now_ = target;
}

void Studio::openWindow(Instance& instance)
{
    // A window the module opened while its settings were loaded (its saved place) opens afresh, so
    // that it is known by the module's name.
    instance.module->CloseWindow();
    const std::vector<HWND> before = threadWindows();
    instance.module->OpenWindow();
    for (HWND window : threadWindows())
        if (std::find(before.begin(), before.end(), window) == before.end()) {
            windows_[instance.name].hwnd = window;
            break;
        }
}

std::vector<std::string> Studio::problems()
{
    std::vector<std::string> found;
    for (const StudioModule& m : now_.modules) {
        Instance* i = engine_.find(m.graph.name);
        if (!i) continue;
        const auto optional = optionalInputsOf(m.graph.type);
        for (const auto& [pin, in] : i->core->inputs()) {
            const bool fed = std::any_of(in.slots.begin(), in.slots.end(), [](const auto& s) { return s->sourcePin != nullptr; });
            if (!fed && std::find(optional.begin(), optional.end(), pin) == optional.end())
                found.push_back(narrow(m.graph.name) + ": input '" + narrow(pin) + "' is fed by nothing");
        }
        for (const std::string& refusal : m.refusals) found.push_back(refusal);
        // A file to play matters where the module is a source: fed, it records.
        if (i->core->sources().empty())
            if (auto problem = fileProblem(*i)) found.push_back(narrow(m.graph.name) + ": " + *problem);
    }
    try {
        engine_.order();
    } catch (const EngineError& e) {
        found.push_back(e.what());
    }
    return found;
}

// --- runs, panels, pictures, files -----------------------------------------------------------------

Response Studio::run(const std::string& body)
{
    if (run_) return failure(409, "a run is going on (POST /api/stop first)");
    const RunRequest request = parseRun(body);
    readPanels(); // before the clock starts: none is read while the graph runs
    RunOptions options;
    options.offline = request.offline;
    options.seconds = request.seconds;
    options.blocks = request.blocks;
    options.stats = true;
    options.consoleInterrupts = false;
    options.onMessage = [this](std::wstring_view instance, std::wstring_view text) {
        events_.publish("message", dumped(json{{"instance", utf8(instance)}, {"text", utf8(text)}}));
    };
    try {
        run_ = std::make_unique<GraphRun>(engine_, std::move(options));
        run_->begin();
    } catch (const EngineError& e) {
        run_.reset();
        return failure(422, narrowLine(e));
    }
    runState_ = "running";
    runReason_.clear();
    lastStats_ = std::chrono::steady_clock::now();
    events_.publish("run", dumped(json{{"state", runState_}, {"mode", request.offline ? "offline" : "realtime"}}));
    return answer({{"state", runState_}});
}

Response Studio::stop()
{
    if (!run_) return failure(409, "nothing runs");
    run_->stop();
    endRun();
    return answer({{"state", runState_}, {"reason", runReason_}});
}

void Studio::endRun()
{
    if (!run_) return;
    if (runReason_.empty()) runReason_ = run_->endReason();
    publishStats();
    try {
        run_->finish();
    } catch (const std::exception& e) {
        runReason_ = e.what();
    }
    run_.reset();
    runState_ = "stopped";
    events_.publish("run", dumped(json{{"state", runState_}, {"reason", runReason_}}));
}

DWORD Studio::work()
{
    const auto start = std::chrono::steady_clock::now();
    if (run_) {
        // A slice of passes, then back to the requests waiting.
        try {
            while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(5))
                if (!run_->advance()) {
                    endRun();
                    break;
                }
        } catch (const std::exception& e) {
            runReason_ = e.what();
            endRun();
        }
        if (run_ && std::chrono::steady_clock::now() - lastStats_ >= std::chrono::milliseconds(250)) publishStats();
    }
    if (std::chrono::steady_clock::now() - lastPictures_ >= std::chrono::milliseconds(50)) takePictures();
    if (!unread_.empty()) {
        try {
            readPanel(unread_.front());
        } catch (const std::exception&) {
            // Its state is not recorded, as for a module without a panel; asked for, it opens anew.
        }
        return 0;
    }
    return run_ ? 0 : 50;
}

void Studio::publishStats()
{
    if (!run_ || !run_->stats()) return;
    lastStats_ = std::chrono::steady_clock::now();
    json modules = json::array();
    for (const ModuleStats& m : run_->stats()->report()) {
        json row{{"name", utf8(m.name)}, {"blocks", m.blocks}, {"calls", m.calls}, {"meanUs", m.meanUs}, {"p99Us", m.p99Us}};
        if (m.lateness && m.lateness->blocks > 0)
            row["lateness"] = {{"meanMs", m.lateness->meanMs}, {"p99Ms", m.lateness->p99Ms}, {"maxMs", m.lateness->maxMs},
                               {"withinOneMs", m.lateness->withinOneMs}};
        modules.push_back(row);
    }
    events_.publish("stats", dumped(json{{"graphSeconds", run_->progress().graphSeconds}, {"modules", modules}}));
}

void Studio::takePictures()
{
    lastPictures_ = std::chrono::steady_clock::now();
    for (auto& [name, window] : windows_) {
        if (!IsWindow(window.hwnd)) continue;
        auto picture = std::make_shared<WindowPicture>(captureWindow(window.hwnd, true));
        if (picture->pixels.empty() || (window.last && picture->width == window.last->width &&
                                        picture->height == window.last->height && picture->pixels == window.last->pixels))
            continue;
        window.last = std::move(picture);
        ++window.generation;
        events_.publish("window", dumped(json{{"instance", utf8(name)}, {"generation", window.generation}}));
    }
}

Response Studio::windowPicture(const std::wstring& name)
{
    auto window = windows_.find(name);
    if (window == windows_.end() || !IsWindow(window->second.hwnd))
        return failure(404, narrow(inQuotes(name)) + " shows no window");
    Window& w = window->second;
    if (!w.last) w.last = std::make_shared<WindowPicture>(captureWindow(w.hwnd, true));
    Response picture{200, "image/png", {}, {{"Cache-Control", "no-store"}}, w.last};
    return picture;
}

Response Studio::panel(const std::wstring& name, const HttpRequest& request)
{
    module(name);
    readPanel(name);
    if (request.method == "POST") {
        readPanels();
        const PanelRequest change = parsePanel(request.body);
        const Record before = now_;
        try {
            control(name, change.id, L"", change.value);
        } catch (const std::exception&) {
            try {
                reach(before);
            } catch (...) {
            }
            now_ = before;
            throw;
        }
        committed(before, {});
    }
    OpenPanel* panel = openPanel(name);
    if (!panel) return failure(404, narrow(inQuotes(name)) + " has no control panel");
    json state = panelJson(panel->view());
    state["instance"] = utf8(name);
    state["revision"] = revision_;
    return answer(state);
}

Response Studio::help(const std::wstring& type)
{
    auto d = descriptions_.find(type);
    if (d == descriptions_.end() || d->second.helpFile.empty()) return failure(404, "no help page for " + narrow(inQuotes(type)));
    std::ifstream in(std::filesystem::path(d->second.helpFile), std::ios::binary);
    if (!in) return failure(404, "the help page of " + narrow(inQuotes(type)) + " cannot be read");
    return {200, "text/html; charset=windows-1252", std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), {}, nullptr};
}

Response Studio::editorFile(const std::string& path)
{
    const std::string name = path == "/" ? "index.html" : path.substr(1);
    // Only names such as the editor's build makes ("assets/index-1a2B.js"): nothing outside its folder.
    const bool plain = std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '/'; }) &&
                       name.find("..") == std::string::npos && name.find("//") == std::string::npos;
    if (!plain) return failure(404, "no such file: " + path);
    std::ifstream in(programFolder() / L"studio" / fromUtf8(name), std::ios::binary);
    if (!in) {
        if (name != "index.html") return failure(404, "no such file: " + path);
        return {200, "text/html; charset=utf-8",
                "<!doctype html><html><head><title>vento studio</title></head><body><p>The editor is not built: run "
                "scripts/setup.sh (it runs npm ci in studio/), then cmake --build --preset win64.</p></body></html>",
                {{"Cache-Control", "no-store"}},
                nullptr};
    }
    static const std::map<std::string, std::string> types{
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript; charset=utf-8"}, {".css", "text/css; charset=utf-8"},
        {".svg", "image/svg+xml"},             {".png", "image/png"},                     {".json", "application/json"},
        {".woff2", "font/woff2"},              {".map", "application/json"}};
    const auto dot = name.rfind('.');
    const auto type = dot == std::string::npos ? types.end() : types.find(name.substr(dot));
    // The assets' names change with their content; the page that names them must be asked for anew.
    std::vector<std::pair<std::string, std::string>> headers{
        {"Cache-Control", name == "index.html" ? "no-store" : "max-age=31536000, immutable"}};
    return {200, type == types.end() ? "application/octet-stream" : type->second,
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), std::move(headers), nullptr};
}

Response Studio::save(const std::string& body)
{
    const std::optional<std::string> given = parseFile(body, false);
    if (!given && !file_) throw BadRequest("save: which file? (no graph file is open; give \"file\")");
    const std::filesystem::path file = given ? std::filesystem::path(fromUtf8(*given)) : *file_;
    readPanels();
    Graph saved;
    for (StudioModule& m : now_.modules) {
        refresh(m);
        saved.modules.push_back(m.graph);
    }
    saved.connections = now_.connections;
    updateGraphFile(saved, file);
    file_ = file;
    dirty_ = false;
    publishGraph();
    return graph();
}

Response Studio::open(const std::string& body)
{
    const std::filesystem::path file = fromUtf8(*parseFile(body, true));
    readGraphFile(file); // a file that cannot be read leaves the graph as it was
    clear();
    load(file);
    ++revision_;
    publishGraph();
    return graph();
}

void Studio::clear()
{
    if (run_) {
        run_->stop();
        endRun();
    }
    panels_.clear();
    unread_.clear();
    windows_.clear();
    while (!engine_.instances().empty()) {
        Instance& i = *engine_.instances().back();
        i.module->CloseWindow();
        engine_.remove(i);
    }
    now_ = {};
    undo_.clear();
    redo_.clear();
}

void Studio::load(const std::filesystem::path& file)
{
    std::vector<std::string> warnings;
    const Graph graph = loadGraph(engine_, file, {.strict = false, .warn = [&](const std::string& w) { warnings.push_back(w); }});
    // Places the file does not give: columns by how far a module is from the sources.
    std::map<std::wstring, int> depth;
    for (Instance* i : engine_.order()) {
        int d = 0;
        for (const GraphConnection& c : graph.connections)
            if (c.to == i->name) d = std::max(d, depth[c.from] + 1);
        depth[i->name] = d;
    }
    std::map<int, int> rows;
    for (const GraphModule& g : graph.modules) {
        StudioModule m;
        m.graph = g;
        if (!m.graph.place) {
            const int column = depth[g.name];
            m.graph.place = CanvasPlace{float(40 + 220 * column), float(40 + 140 * rows[column]++)};
        }
        for (const std::string& w : warnings)
            if (w.find("module " + narrow(inQuotes(g.name)) + ":") != std::string::npos) m.refusals.push_back(w);
        Instance& i = instance(g.name);
        openWindow(i);
        refresh(m, false);
        if (i.core->controlPage()) unread_.push_back(g.name);
        now_.modules.push_back(std::move(m));
    }
    now_.connections = graph.connections;
    file_ = file;
    dirty_ = false;
}

void Studio::publishGraph() { events_.publish("graph", dumped(json{{"revision", revision_}})); }

} // namespace vento::studio
