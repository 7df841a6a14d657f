#include "host/vento/command_line.h"

#include <windows.h>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace vento::command {

namespace {

// INSTANCE.PIN=FILE as --tap and --chart take it.
TapRequest pinToFile(const std::string& option, const std::string& v)
{
    size_t eq = v.find('='), dot = v.substr(0, eq).rfind('.');
    if (eq == std::string::npos || dot == std::string::npos || dot == 0 || eq == dot + 1 || eq + 1 == v.size())
        throw UsageError(option + ": write INSTANCE.PIN=FILE, not " + v);
    return {wide(v.substr(0, dot)), wide(v.substr(dot + 1, eq - dot - 1)), widePath(v.substr(eq + 1))};
}

} // namespace

std::string argument(const std::vector<std::string>& args, size_t& i, const std::string& option)
{
    if (i + 1 >= args.size()) throw UsageError(option + " needs a value");
    return args[++i];
}

std::wstring wide(const std::string& text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(size_t(n > 0 ? n - 1 : 0), L'\0');
    if (n > 1) MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, result.data(), n);
    return result;
}

// A file named on the command line. Under Wine an absolute Linux path ("/home/me/demo.xml") is
// turned into the DOS path Wine maps it to: Windows would read it as a folder of the current drive,
// which is right only while the current folder is on the drive that maps "/". Wine's own
// wine_get_dos_file_name (which takes the Linux name in UTF-8) is looked up at run time, so on
// Windows the path is taken as it is.
fs::path hostPath(const std::wstring& text)
{
    if (text.size() > 1 && text[0] == L'/' && text[1] != L'/') {
        using DosFileName = WCHAR*(CDECL*)(const char*);
        static const auto dosFileName = reinterpret_cast<DosFileName>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
        std::string unix(size_t(n > 0 ? n : 1), '\0');
        if (dosFileName && n > 0 && WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, unix.data(), n, nullptr, nullptr))
            if (WCHAR* dos = dosFileName(unix.c_str())) {
                fs::path converted(dos);
                HeapFree(GetProcessHeap(), 0, dos);
                return converted;
            }
    }
    return fs::path(text);
}

fs::path widePath(const std::string& text) { return hostPath(wide(text)); }

RunCommand runCommand(const std::vector<std::string>& args, bool launch)
{
    const char* verb = launch ? "launch" : "run";
    RunCommand c;
    RunOptions& o = c.options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--offline") o.offline = true;
        else if (a == "--windows") o.windows = true;
        else if (a == "--strict") o.strict = true;
        else if (a == "-q") c.quiet = true;
        else if (a == "--stats") o.stats = true;
        else if (a == "--seconds") {
            std::string v = argument(args, i, a);
            char* end = nullptr;
            double s = std::strtod(v.c_str(), &end);
            if (*end || !(s > 0)) throw UsageError("--seconds: not a positive number: " + v);
            o.seconds = s;
        } else if (a == "--blocks") {
            std::string v = argument(args, i, a);
            char* end = nullptr;
            long n = std::strtol(v.c_str(), &end, 10);
            if (*end || n <= 0) throw UsageError("--blocks: not a positive whole number: " + v);
            o.blocks = n;
        } else if (a == "--snapshot") {
            o.snapshot = widePath(argument(args, i, a));
        } else if (a == "--tap") {
            o.taps.push_back(pinToFile(a, argument(args, i, a)));
        } else if (a == "--chart") {
            o.charts.push_back(pinToFile(a, argument(args, i, a)));
        } else if (a == "--bin-hz") {
            std::string v = argument(args, i, a);
            char* end = nullptr;
            double hz = std::strtod(v.c_str(), &end);
            if (*end || !(hz > 0) || !std::isfinite(hz)) throw UsageError("--bin-hz: not a positive number: " + v);
            o.chartBinHertz = hz;
        } else if (a == "--save" && launch) {
            c.save = widePath(argument(args, i, a));
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError(std::string(verb) + ": unknown option " + a);
        } else if (launch) {
            c.description += (c.description.empty() ? "" : " ") + a;
        } else if (c.graph.empty()) {
            c.graph = widePath(a);
        } else {
            throw UsageError("run: more than one graph: " + a);
        }
    }
    if (launch && c.description.find_first_not_of(" \t") == std::string::npos)
        throw UsageError("launch: which graph? (vento launch \"SignalW ! GraphWindow\")");
    if (!launch && c.graph.empty()) throw UsageError("run: which graph? (vento run GRAPH)");
    if (o.seconds && o.blocks) throw UsageError(std::string(verb) + ": --seconds and --blocks exclude each other");
    return c;
}

void printBlocksSent(const std::vector<ModuleSends>& sent, const char* title)
{
    std::printf("%s\n", title);
    for (const auto& [name, blocks] : sent) std::printf("  %-12s %ld\n", narrow(name).c_str(), blocks);
}

} // namespace vento::command
