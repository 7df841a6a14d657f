// vento studio: the graph live in an engine, served to a browser on this computer.
#include <windows.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include "host/studio/http_server.h"
#include "host/studio/studio.h"
#include "host/vento/command_line.h"

namespace vento::command {

namespace {

std::atomic<bool> closing{false};
HANDLE wakeUp = nullptr;

BOOL WINAPI closeStudio(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    closing = true;
    if (wakeUp) SetEvent(wakeUp);
    return TRUE;
}

void pump()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

int studio(const std::vector<std::string>& args)
{
    std::optional<fs::path> file;
    unsigned short port = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--port") {
            const std::string v = argument(args, i, a);
            char* end = nullptr;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (*end || n < 0 || n > 65535) throw UsageError("--port: not a port number: " + v);
            port = static_cast<unsigned short>(n);
        } else if (a == "-q") {
        } else if (!a.empty() && a[0] == '-') {
            throw UsageError("studio: unknown option " + a);
        } else if (!file) {
            file = widePath(a);
        } else {
            throw UsageError("studio: more than one graph: " + a);
        }
    }
    studio::EventHub events;
    studio::RequestQueue queue;
    studio::Studio studio(events, file);
    const std::string token = studio::randomToken();
    studio::HttpServer server(port, token, queue, events);
    std::printf("studio: http://127.0.0.1:%u/?token=%s\n", unsigned(server.port()), token.c_str());
    std::fflush(stdout);
    closing = false;
    wakeUp = queue.wakeEvent();
    SetConsoleCtrlHandler(closeStudio, TRUE);
    while (!closing) {
        queue.serve([&](const studio::HttpRequest& request) { return studio.handle(request); });
        const DWORD wait = studio.work();
        HANDLE wake = queue.wakeEvent();
        MsgWaitForMultipleObjects(1, &wake, FALSE, wait, QS_ALLINPUT);
        pump();
    }
    // The handler stays until vento ends: a second Ctrl+C while the studio closes must not end the
    // process before its files and connections are closed.
    server.stop();
    wakeUp = nullptr;
    std::printf("studio: closed\n");
    std::fflush(stdout);
    return 0;
}

} // namespace

const Verb studioVerb{"studio [GRAPH]", "edit, run and watch a graph in the browser (on this computer only)",
                      "usage: vento studio [GRAPH] [--port N]\n"
                      "Keeps GRAPH (or an empty graph) live in an engine and serves it on 127.0.0.1 until\n"
                      "Ctrl+C. The first line printed is the address to open:\n"
                      "  studio: http://127.0.0.1:PORT/?token=TOKEN\n"
                      "Every call needs the token; docs/studio-api.md describes the calls.\n"
                      "  --port N         listen on port N (default: a free port the system picks)\n",
                      studio};

} // namespace vento::command
