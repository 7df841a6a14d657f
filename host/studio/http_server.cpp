#include "host/studio/http_server.h"

#include <objbase.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <bcrypt.h>
#include <algorithm>
#include <cctype>
#include <thread>
#include <nlohmann/json.hpp>

namespace vento::studio {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

// --- events --------------------------------------------------------------------------------------

struct EventHub::Listener {
    std::deque<std::string> pending;
};

void EventHub::publish(const std::string& event, const std::string& data)
{
    const std::string text = "event: " + event + "\ndata: " + data + "\n\n";
    std::lock_guard hold(mutex_);
    for (const auto& listener : listeners_) {
        listener->pending.push_back(text);
        if (listener->pending.size() > 512) listener->pending.pop_front(); // a client that does not read
    }
    arrived_.notify_all();
}

std::shared_ptr<EventHub::Listener> EventHub::listen()
{
    std::lock_guard hold(mutex_);
    return listeners_.emplace_back(std::make_shared<Listener>());
}

void EventHub::forget(const std::shared_ptr<Listener>& listener)
{
    std::lock_guard hold(mutex_);
    std::erase(listeners_, listener);
}

std::string EventHub::next(Listener& listener, std::chrono::milliseconds timeout)
{
    std::unique_lock hold(mutex_);
    arrived_.wait_for(hold, timeout, [&] { return closed_ || !listener.pending.empty(); });
    if (closed_ || listener.pending.empty()) return {};
    std::string text = std::move(listener.pending.front());
    listener.pending.pop_front();
    return text;
}

void EventHub::close()
{
    std::lock_guard hold(mutex_);
    closed_ = true;
    arrived_.notify_all();
}

// --- the queue to the engine's thread --------------------------------------------------------------

namespace {
Response unavailable(std::string_view why)
{
    return {503, "application/json", nlohmann::json{{"error", std::string(why)}}.dump(), {}, nullptr};
}
} // namespace

RequestQueue::RequestQueue() : wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

RequestQueue::~RequestQueue()
{
    close();
}

Response RequestQueue::call(HttpRequest request)
{
    std::future<Response> answer;
    {
        std::lock_guard hold(mutex_);
        if (closed_) return unavailable("the studio is closing");
        Job& job = jobs_.emplace_back(Job{std::move(request), {}});
        answer = job.answer.get_future();
    }
    SetEvent(wake_.get());
    if (answer.wait_for(std::chrono::minutes(1)) != std::future_status::ready) return unavailable("the engine did not answer within a minute");
    return answer.get();
}

void RequestQueue::serve(const std::function<Response(const HttpRequest&)>& handler)
{
    std::deque<Job> jobs;
    {
        std::lock_guard hold(mutex_);
        jobs.swap(jobs_);
    }
    for (Job& job : jobs) {
        try {
            job.answer.set_value(handler(job.request));
        } catch (...) {
            job.answer.set_value(unavailable("the request failed"));
        }
    }
}

void RequestQueue::close()
{
    std::deque<Job> jobs;
    {
        std::lock_guard hold(mutex_);
        closed_ = true;
        jobs.swap(jobs_);
    }
    for (Job& job : jobs) job.answer.set_value(unavailable("the studio is closing"));
}

// --- the server ----------------------------------------------------------------------------------

struct HttpServer::State {
    asio::io_context io;
    tcp::acceptor acceptor{io};
    std::string token;
    RequestQueue& queue;
    EventHub& events;
    unsigned short port = 0;
    std::atomic<bool> stopping{false};
    std::mutex mutex;
    struct Connection {
        std::shared_ptr<tcp::socket> socket;
        std::thread thread;
        bool done = false;
    };
    std::vector<std::unique_ptr<Connection>> connections;
    std::thread acceptor_thread;

    State(std::string t, RequestQueue& q, EventHub& e) : token(std::move(t)), queue(q), events(e) {}

    void acceptLoop();
    void serve(Connection& connection);
    void streamEvents(tcp::socket& socket);
};

namespace {

constexpr std::size_t maxConnections = 64;

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return out;
}

http::response<http::string_body> reply(const Response& r, unsigned version, bool keepAlive)
{
    http::response<http::string_body> res{http::status(r.status), version};
    res.set(http::field::content_type, r.contentType);
    res.set(http::field::server, "vento studio");
    for (const auto& [name, value] : r.headers) res.set(name, value);
    res.keep_alive(keepAlive);
    res.body() = r.body;
    res.prepare_payload();
    return res;
}

Response refusal(int status, const std::string& line)
{
    return {status, "application/json", nlohmann::json{{"error", line}}.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace), {}, nullptr};
}

// The request as the portable code reads it: header names in lower case.
HttpRequest portable(const http::request<http::string_body>& req)
{
    HttpRequest request{std::string(req.method_string().data(), req.method_string().size()),
                        std::string(req.target().data(), req.target().size()), {}, req.body()};
    for (const auto& field : req)
        request.headers[lower(std::string_view(field.name_string().data(), field.name_string().size()))] =
            std::string(field.value().data(), field.value().size());
    return request;
}

// A window's picture becomes the body here, on the connection's thread, not the engine's.
void encodePicture(Response& response)
{
    try {
        const auto png = pngBytes(*response.picture);
        response.body.assign(png.begin(), png.end());
    } catch (const EngineError& e) {
        response = refusal(500, e.what());
    }
    response.picture.reset();
}

} // namespace

void HttpServer::State::acceptLoop()
{
    while (!stopping) {
        auto socket = std::make_shared<tcp::socket>(io);
        beast::error_code ec;
        acceptor.accept(*socket, ec);
        if (stopping) break;
        if (ec) continue;
        std::lock_guard hold(mutex);
        // Connections that ended go; beyond the limit a new one is closed at once.
        std::erase_if(connections, [](const std::unique_ptr<Connection>& c) {
            if (!c->done) return false;
            c->thread.join();
            return true;
        });
        if (connections.size() >= maxConnections) {
            socket->close(ec);
            continue;
        }
        auto& c = *connections.emplace_back(std::make_unique<Connection>());
        c.socket = socket;
        c.thread = std::thread([this, &c] { serve(c); });
    }
}

void HttpServer::State::serve(Connection& connection)
{
    // Pictures are encoded here, through the platform's imaging component.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    struct Uninitialize {
        bool initialized;
        ~Uninitialize()
        {
            if (initialized) CoUninitialize();
        }
    } uninitialize{SUCCEEDED(com)};
    tcp::socket& socket = *connection.socket;
    beast::flat_buffer buffer;
    beast::error_code ec;
    while (!stopping) {
        http::request_parser<http::string_body> parser;
        parser.body_limit(maxBody);
        parser.header_limit(64 * 1024);
        http::read(socket, buffer, parser, ec);
        if (ec == http::error::body_limit) {
            http::write(socket, reply(refusal(413, "the body is larger than 1 MiB"), 11, false), ec);
            break;
        }
        if (ec == http::error::end_of_stream || ec == asio::error::eof || ec == asio::error::connection_reset || stopping) break;
        if (ec) {
            http::write(socket, reply(refusal(400, "not an HTTP request the studio reads"), 11, false), ec);
            break;
        }
        const auto& req = parser.get();
        const HttpRequest request = portable(req);
        Response response;
        if (auto refused = checkAccess(request, port, token)) {
            response = refusal(refused->status, refused->error);
        } else if (parseTarget(request.target).path == "/api/events") {
            if (request.method == "GET") {
                streamEvents(socket);
                break;
            }
            response = refusal(405, request.method + " is not how /api/events is called");
        } else {
            response = queue.call(request);
            // The page opened with the token leaves it as a cookie, for the page's own calls.
            const Target target = parseTarget(request.target);
            if (target.path == "/" && target.query.count("token") && target.query.at("token") == token)
                response.headers.emplace_back("Set-Cookie", "vento_token=" + token + "; Path=/; HttpOnly; SameSite=Strict");
        }
        if (response.picture) encodePicture(response);
        http::write(socket, reply(response, req.version(), req.keep_alive()), ec);
        if (ec || !req.keep_alive()) break;
    }
    // Closed under the lock that stop() shuts sockets down under: a socket closed meanwhile would be
    // shut down through a handle that is gone, and Wine's server may have given it to another object
    // (it then fails an assertion and ends every Wine program of the session).
    std::lock_guard hold(mutex);
    socket.shutdown(tcp::socket::shutdown_both, ec);
    socket.close(ec);
    connection.done = true;
}

void HttpServer::State::streamEvents(tcp::socket& socket)
{
    beast::error_code ec;
    asio::write(socket, asio::buffer(std::string_view("HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\n"
                                                      "Cache-Control: no-store\r\nConnection: keep-alive\r\n\r\n: listening\n\n")),
                ec);
    const auto listener = events.listen();
    while (!ec && !stopping) {
        std::string text = events.next(*listener, std::chrono::seconds(15));
        if (stopping) break;
        if (text.empty()) text = ": still here\n\n"; // keeps idle proxies and clients from giving up
        asio::write(socket, asio::buffer(text), ec);
    }
    events.forget(listener);
}

HttpServer::HttpServer(unsigned short port, std::string token, RequestQueue& queue, EventHub& events)
    : state_(std::make_unique<State>(std::move(token), queue, events))
{
    beast::error_code ec;
    const tcp::endpoint loopback(asio::ip::make_address_v4("127.0.0.1"), port);
    state_->acceptor.open(loopback.protocol(), ec);
    if (!ec) state_->acceptor.bind(loopback, ec);
    if (!ec) state_->acceptor.listen(asio::socket_base::max_listen_connections, ec);
    if (ec) throw EngineError("studio: cannot listen on 127.0.0.1:" + std::to_string(port) + " (" + ec.message() + ")");
    state_->port = state_->acceptor.local_endpoint().port();
    state_->acceptor_thread = std::thread([this] { state_->acceptLoop(); });
}

HttpServer::~HttpServer() { stop(); }

unsigned short HttpServer::port() const noexcept { return state_->port; }

void HttpServer::stop()
{
    if (state_->stopping.exchange(true)) return;
    beast::error_code ec;
    // A connection of its own wakes the accept, which then sees the server stopping. The listening
    // socket is closed only once nothing waits on it: under Wine, closing it under a blocked accept
    // can end the process.
    {
        tcp::socket wake(state_->io);
        wake.connect(tcp::endpoint(asio::ip::make_address_v4("127.0.0.1"), state_->port), ec);
        if (state_->acceptor_thread.joinable()) state_->acceptor_thread.join();
    }
    state_->acceptor.close(ec);
    state_->events.close();
    state_->queue.close();
    std::vector<std::unique_ptr<State::Connection>> connections;
    {
        std::lock_guard hold(state_->mutex);
        connections.swap(state_->connections);
        for (const auto& c : connections)
            if (!c->done) c->socket->shutdown(tcp::socket::shutdown_both, ec);
    }
    for (const auto& c : connections) c->thread.join();
}

std::string randomToken()
{
    unsigned char bytes[16];
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw EngineError("studio: the system's random source gave nothing");
    static const char digits[] = "0123456789abcdef";
    std::string token;
    for (unsigned char b : bytes) token += {digits[b >> 4], digits[b & 15]};
    return token;
}

} // namespace vento::studio
