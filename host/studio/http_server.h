#pragma once
// The studio's HTTP server: on 127.0.0.1 only, on a thread of its own (one more for each open
// connection), with Boost.Beast. Every request passes the access checks (studio_requests.h); what
// passes is handed to the engine's thread (RequestQueue) and answered from there, except the event
// stream (GET /api/events), which the server keeps open and fills from EventHub.
//
// Boost headers are costly to compile: they are included by http_server.cpp alone.
#include <windows.h>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include "com/handle.h"
#include "host/studio/studio.h"
#include "host/studio/studio_requests.h"

namespace vento::studio {

// The studio's events, for every client listening on /api/events. publish() may be called from any
// thread; a listener that falls behind loses its oldest events.
class EventHub final : public EventSink {
public:
    struct Listener;
    void publish(const std::string& event, const std::string& data) override;
    std::shared_ptr<Listener> listen();
    void forget(const std::shared_ptr<Listener>& listener);
    // The next event text ("event: X\ndata: Y\n\n") for the listener, waiting up to `timeout`;
    // empty when none came or the hub closed.
    std::string next(Listener& listener, std::chrono::milliseconds timeout);
    void close();

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::shared_ptr<Listener>> listeners_;
    bool closed_ = false;
};

// Requests waiting for the engine's thread. The server's threads post and wait; the engine thread
// serves them when woken (its wait includes wakeEvent()).
class RequestQueue {
public:
    RequestQueue();
    ~RequestQueue();

    // On a server thread: hands the request over and waits for its answer (503 after a minute, or
    // at once once the queue closed).
    Response call(HttpRequest request);
    // On the engine's thread: answers every request waiting.
    void serve(const std::function<Response(const HttpRequest&)>& handler);
    HANDLE wakeEvent() const noexcept { return wake_.get(); }
    void close();

private:
    struct Job {
        HttpRequest request;
        std::promise<Response> answer;
    };
    std::mutex mutex_;
    std::deque<Job> jobs_;
    bool closed_ = false;
    modkit::UniqueKernelObject wake_;
};

class HttpServer {
public:
    // Listens on 127.0.0.1:port (0: a free port the system picks). Throws EngineError when it cannot.
    HttpServer(unsigned short port, std::string token, RequestQueue& queue, EventHub& events);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    unsigned short port() const noexcept;
    // Closes the listening socket and every connection, and waits for their threads.
    void stop();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A token no other program guesses: 32 hexadecimal digits from the system's random source.
std::string randomToken();

} // namespace vento::studio
