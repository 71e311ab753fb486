// The simulator's connections: listener, handshake, framed requests, scripted misbehaviour.
#include "manager-sim/sim.h"

#include <pthread.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>

#include "platform/win.h"

namespace qvpsim {

// A process that runs a simulator and forks (the tests' kill walks and their writers' children)
// must not fork while one of its threads is inside the allocator: the child would inherit the
// allocator's lock held and stall at its first allocation (the sanitizers' allocators have no
// fork hook of their own). So a fork waits, two seconds at most, until every simulator thread
// is blocked in a receive or an accept and those that ended are joined, and no thread starts
// working again until the fork is done.
struct ForkQuiet {
    static inline std::mutex mutex;  // held by the forking thread from prepare to parent or child
    static inline std::condition_variable changed;
    static inline int working = 0;
    static inline bool forking = false;
    static inline std::vector<ManagerSim*> sims;

    static void Register(ManagerSim* sim) {
        static std::once_flag hooks;
        std::call_once(hooks, [] { pthread_atfork(Prepare, Resume, ResumeInChild); });
        std::lock_guard lock(mutex);
        sims.push_back(sim);
    }
    static void Unregister(ManagerSim* sim) {
        std::lock_guard lock(mutex);
        std::erase(sims, sim);
    }
    static void Begin() {
        std::unique_lock lock(mutex);
        changed.wait(lock, [] { return !forking; });
        ++working;
    }
    static void Adopt() {  // a thread started by a working one counts from its start
        std::lock_guard lock(mutex);
        ++working;
    }
    static void End() {
        std::lock_guard lock(mutex);
        --working;
        changed.notify_all();
    }
    static void Prepare() {
        std::unique_lock lock(mutex);
        forking = true;
        // Past the bound a thread may still be on its way out: it is joined only once it is not.
        const bool quiet = changed.wait_for(lock, std::chrono::seconds(2), [] { return working == 0; });
        for (ManagerSim* sim : sims)
            if (quiet && sim->mutex_.try_lock()) {
                sim->JoinEnded();
                sim->mutex_.unlock();
            }
        lock.release();
    }
    static void Resume() {
        forking = false;
        mutex.unlock();
        changed.notify_all();
    }
    static void ResumeInChild() {  // the child has none of the threads that waited
        forking = false;
        mutex.unlock();
    }
};

namespace {

// While a simulator thread waits for its peer it holds nothing a fork could catch.
struct Idle {
    Idle() { ForkQuiet::End(); }
    ~Idle() { ForkQuiet::Begin(); }
    Idle(const Idle&) = delete;
    Idle& operator=(const Idle&) = delete;
};

void Pause(int ms) {
    const Idle idle;
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SendAll(int socket, const char* data, size_t length) {
    while (length > 0) {
        int n = 0;
        {
            const Idle idle;  // a peer that reads nothing holds the send
            n = win::SocketSend(socket, data, length);
        }
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Reads exactly `length` bytes; false at end of stream or on an error.
bool RecvAll(int socket, char* data, size_t length) {
    while (length > 0) {
        int n = 0;
        {
            const Idle idle;
            n = win::SocketRecv(socket, data, length);
        }
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

// Looks at the next `length` bytes without taking them, waiting until they are all there.
bool Peek(int socket, char* data, size_t length) {
    for (;;) {
        ssize_t n = 0;
        {
            const Idle idle;
            n = ::recv(socket, data, length, MSG_PEEK | MSG_WAITALL);
        }
        if (n < 0 && errno == EINTR) continue;
        return n == static_cast<ssize_t>(length);
    }
}

}  // namespace

ManagerSim::ManagerSim(std::string root) : root_(std::move(root)) {
    ForkQuiet::Register(this);
    InstallCoreVerbs();
    InstallPackageVerbs();
    InstallJobVerbs();
    InstallIdVerbs();
}

ManagerSim::~ManagerSim() {
    Stop();
    ForkQuiet::Unregister(this);
}

bool ManagerSim::Listen(uint16_t port) {
    uint16_t bound = 0;
    int listener = win::TcpListen(address_, port, &bound);
    if (listener < 0) {
        listenError_ = errno;  // of the bind or listen: the socket's close keeps it
        return false;
    }
    port_ = bound;
    listener_ = listener;
    ForkQuiet::Adopt();
    acceptThread_ = std::thread(&ManagerSim::AcceptLoop, this, listener);
    return true;
}

bool ManagerSim::Start(uint16_t port, uint32_t address) {
    std::lock_guard lock(mutex_);
    if (listener_ >= 0) return true;
    address_ = address;
    stopping_ = false;
    return Listen(port);
}

void ManagerSim::Stop() {
    std::thread acceptThread;
    std::vector<std::unique_ptr<Open>> open;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        win::ShutdownSocket(listener_);
        acceptThread.swap(acceptThread_);
        for (auto& o : open_) win::ShutdownSocket(o->socket);
    }
    if (acceptThread.joinable()) acceptThread.join();
    {
        std::lock_guard lock(mutex_);
        win::CloseSocket(listener_);
        listener_ = -1;
        open.swap(open_);
    }
    for (auto& o : open)
        if (o->thread.joinable()) o->thread.join();
}

void ManagerSim::RefuseConnections(bool refuse) {
    std::thread acceptThread;
    {
        std::lock_guard lock(mutex_);
        if (refuse == (listener_ < 0)) return;
        if (!refuse) {
            Listen(port_);
            return;
        }
        win::ShutdownSocket(listener_);
        acceptThread.swap(acceptThread_);
    }
    if (acceptThread.joinable()) acceptThread.join();
    std::lock_guard lock(mutex_);
    win::CloseSocket(listener_);
    listener_ = -1;
}

void ManagerSim::DropConnections() {
    std::lock_guard lock(mutex_);
    for (auto& o : open_) win::ShutdownSocket(o->socket);
}

void ManagerSim::AcceptLoop(int listener) {
    struct Ends {
        ~Ends() { ForkQuiet::End(); }
    } ends;
    for (;;) {
        int s = -1;
        {
            const Idle idle;
            s = win::TcpAccept(listener);
        }
        if (s < 0) return;
        std::lock_guard lock(mutex_);
        if (stopping_) {
            win::CloseSocket(s);
            return;
        }
        JoinEnded();  // so that a long run does not pile them up
        auto o = std::make_unique<Open>();
        o->connection = std::make_shared<Connection>(nextId_++);
        o->socket = s;
        ForkQuiet::Adopt();
        o->thread = std::thread(&ManagerSim::Serve, this, s, o->connection);
        open_.push_back(std::move(o));
    }
}

void ManagerSim::JoinEnded() {
    std::erase_if(open_, [](const std::unique_ptr<Open>& o) {
        if (o->done && o->thread.joinable()) o->thread.join();
        return o->done;
    });
}

void ManagerSim::Serve(int socket, std::shared_ptr<Connection> connection) {
    struct Ends {
        ~Ends() { ForkQuiet::End(); }
    } ends;
    Record({connection->id(), LogEntry::Kind::Event, {}, {}, "connect"});
    if (ServeHandshake(socket, *connection)) {
        while (ServeRequest(socket, *connection)) {
        }
    }
    {
        // Closed under the lock so that DropConnections never touches a reused descriptor.
        std::lock_guard lock(mutex_);
        for (auto& o : open_)
            if (o->connection == connection) o->socket = -1;
        win::CloseSocket(socket);
    }
    {
        std::lock_guard lock(logMutex_);
        log_.push_back({connection->id(), LogEntry::Kind::Event, {}, {}, "closed"});
        ++closed_;
        logChanged_.notify_all();
    }
    std::lock_guard lock(mutex_);
    for (auto& o : open_)
        if (o->connection == connection) o->done = true;
}

std::optional<Action> ManagerSim::TakeScript(const std::string& verb) {
    std::lock_guard lock(mutex_);
    for (const std::string& key : {verb, std::string("*")}) {
        if (key == "*" && verb == kHandshakeVerb) break;  // the wildcard is for framed requests
        auto it = scripts_.find(key);
        if (it == scripts_.end() || it->second.empty()) continue;
        auto& [action, times] = it->second.front();
        Action taken = action;
        if (times > 0 && --times == 0) it->second.pop_front();
        return taken;
    }
    return std::nullopt;
}

bool ManagerSim::ServeHandshake(int socket, Connection& connection) {
    Action action = TakeScript(kHandshakeVerb).value_or(Action{});
    if (action.kind == Action::Kind::DropBeforeRead) {
        Record({connection.id(), LogEntry::Kind::Event, kHandshakeVerb, {}, "dropped before reading"});
        return false;
    }
    // Text mode: the message and one NUL.
    std::string text;
    for (;;) {
        char c = 0;
        if (!RecvAll(socket, &c, 1)) return false;
        if (c == '\0') break;
        text += c;
        if (text.size() >= kFrameMax) {
            Record({connection.id(), LogEntry::Kind::Event, kHandshakeVerb, {}, "handshake too long"});
            return false;
        }
    }
    Request request = ParseRequest(text);
    Record({connection.id(), LogEntry::Kind::Received, kHandshakeVerb, text + '\0', text});
    for (const Field& f : request.fields)
        if (f.type == 'h') connection.host = f.value;
    if (action.kind == Action::Kind::DropAfterRead) {
        Record({connection.id(), LogEntry::Kind::Event, kHandshakeVerb, {}, "dropped after reading"});
        return false;
    }
    if (action.kind == Action::Kind::Silence) {
        Record({connection.id(), LogEntry::Kind::Event, kHandshakeVerb, {}, "silent"});
        char c;
        while (RecvAll(socket, &c, 1)) {
        }
        return false;
    }
    if (action.delayMs > 0) Pause(action.delayMs);
    std::string reply = action.reply ? *action.reply : Answer(connection, request);
    return SendReply(socket, connection, kHandshakeVerb, action, reply, true);
}

bool ManagerSim::ServeRequest(int socket, Connection& connection) {
    unsigned char header[kHeaderSize];
    int first = 0;
    {
        const Idle idle;
        first = win::SocketRecv(socket, header, kHeaderSize);
    }
    if (first <= 0) return false;  // the peer closed between requests
    if (static_cast<size_t>(first) < kHeaderSize &&
        !RecvAll(socket, reinterpret_cast<char*>(header) + first, kHeaderSize - first)) {
        Record({connection.id(), LogEntry::Kind::Event, {}, {}, "closed within a header"});
        return false;
    }
    size_t length = 0;
    if (!ParseHeader(header, &length)) {
        Record({connection.id(), LogEntry::Kind::Event, {},
                std::string(reinterpret_cast<char*>(header), kHeaderSize), "bad frame header"});
        return false;
    }
    std::string payload(length, '\0');
    if (length > 0 && !Peek(socket, payload.data(), length)) {
        Record({connection.id(), LogEntry::Kind::Event, {}, {}, "closed within a frame"});
        return false;
    }
    Request request = ParseRequest(payload);
    Action action = TakeScript(request.verb).value_or(Action{});
    if (action.kind == Action::Kind::DropBeforeRead) {
        Record({connection.id(), LogEntry::Kind::Event, request.verb, {}, "dropped before reading"});
        return false;
    }
    if (length > 0 && !RecvAll(socket, payload.data(), length)) return false;
    Record({connection.id(), LogEntry::Kind::Received, request.verb,
            std::string(reinterpret_cast<char*>(header), kHeaderSize) + payload, payload});
    switch (action.kind) {
    case Action::Kind::DropAfterRead:
        Record({connection.id(), LogEntry::Kind::Event, request.verb, {}, "dropped after reading"});
        return false;
    case Action::Kind::Silence:
        Record({connection.id(), LogEntry::Kind::Event, request.verb, {}, "silent"});
        return true;
    default:
        break;
    }
    if (action.delayMs > 0) Pause(action.delayMs);
    std::string reply = action.reply ? *action.reply : Answer(connection, request);
    return SendReply(socket, connection, request.verb, action, reply, false);
}

std::string ManagerSim::Answer(Connection& connection, const Request& request) {
    Handler handler;
    {
        std::lock_guard lock(mutex_);
        auto it = handlers_.find(request.verb);
        if (it != handlers_.end()) handler = it->second;
    }
    if (!handler) return kReplyUnknownVerb;
    std::lock_guard serial(handlerMutex_);
    Call call{*this, connection, request};
    return handler(call);
}

bool ManagerSim::SendReply(int socket, Connection& connection, const std::string& verb,
                           const Action& action, const std::string& reply, bool text) {
    std::string wire = text ? reply + '\0' : Frame(reply);
    bool keepOpen = true;
    switch (action.kind) {
    case Action::Kind::BadHeader:
        if (!text) wire[4] = '\x01';
        break;
    case Action::Kind::Raw:
        wire = action.bytes;
        break;
    case Action::Kind::HalfFrame:
        wire.resize(text ? reply.size() / 2 : kHeaderSize + reply.size() / 2);
        if (wire.empty()) wire = text ? std::string() : FrameHeader(0).substr(0, 4);
        keepOpen = false;
        break;
    default:
        break;
    }
    bool sent = true;
    if (action.kind == Action::Kind::OneByteAtATime) {
        for (char c : wire) {
            if (!SendAll(socket, &c, 1)) {
                sent = false;
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    } else {
        sent = SendAll(socket, wire.data(), wire.size());
    }
    Record({connection.id(), LogEntry::Kind::Sent, verb, wire, reply});
    return sent && keepOpen;
}

void ManagerSim::Handle(const std::string& verb, Handler handler) {
    std::lock_guard lock(mutex_);
    handlers_[verb] = std::move(handler);
}

void ManagerSim::SetHandshakeReply(std::string text) {
    std::lock_guard lock(mutex_);
    handshakeReply_ = std::move(text);
}

void ManagerSim::Script(const std::string& verb, Action action, int times) {
    if (times == 0) return;
    std::lock_guard lock(mutex_);
    scripts_[verb].emplace_back(std::move(action), times);
}

void ManagerSim::ClearScripts() {
    std::lock_guard lock(mutex_);
    scripts_.clear();
}

void ManagerSim::Record(LogEntry entry) {
    std::lock_guard lock(logMutex_);
    log_.push_back(std::move(entry));
    logChanged_.notify_all();
}

std::vector<LogEntry> ManagerSim::Log() const {
    std::lock_guard lock(logMutex_);
    return log_;
}

std::vector<std::string> ManagerSim::Received(int connection) const {
    std::lock_guard lock(logMutex_);
    std::vector<std::string> out;
    for (const LogEntry& e : log_)
        if (e.kind == LogEntry::Kind::Received && (connection == 0 || e.connection == connection))
            out.push_back(e.text);
    return out;
}

std::vector<int> ManagerSim::Connections() const {
    std::lock_guard lock(logMutex_);
    std::vector<int> ids;
    for (const LogEntry& e : log_)
        if (e.kind == LogEntry::Kind::Event && e.text == "connect") ids.push_back(e.connection);
    return ids;
}

void ManagerSim::ClearLog() {
    std::lock_guard lock(logMutex_);
    log_.clear();
}

bool ManagerSim::WaitFor(const std::function<bool(const std::vector<LogEntry>&)>& done,
                         std::chrono::milliseconds timeout) const {
    std::unique_lock lock(logMutex_);
    return logChanged_.wait_for(lock, timeout, [&] { return done(log_); });
}

bool ManagerSim::WaitForClosed(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(logMutex_);
    return logChanged_.wait_for(lock, timeout, [&] { return closed_ >= count; });
}

}  // namespace qvpsim
