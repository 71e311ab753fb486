// The manager simulator: a TCP peer that speaks the manager protocol on loopback, for tests and
// the qvp-manager-sim program. One thread per connection; verbs are answered by handlers that
// later stores register; every request and reply is logged byte for byte; each verb can be
// scripted to misbehave.
#pragma once

#include <any>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "manager-sim/wire.h"

namespace qvpsim {

// Canonical replies.
inline constexpr const char* kReplyOk = "0 0 0";
inline constexpr const char* kReplyUnknownVerb = "8 1";  // the manager does not serve the verb
inline constexpr const char* kReplyRefused = "4 16";     // busy / refused
inline constexpr const char* kHandshakeVerb = "AINT";
inline constexpr const char* kDefaultHandshakeReply = "AINTA V0300";

// What the manager keeps per connection (per session).
class Connection {
public:
    explicit Connection(int id) : id_(id) {}
    int id() const { return id_; }

    std::string host;              // host word of the handshake
    bool terminated = false;       // "ATRM" received

    // Typed state for later verbs, created default on first use.
    template <class T>
    T& State(const std::string& key) {
        std::any& slot = state_[key];
        if (!slot.has_value()) slot = T{};
        return std::any_cast<T&>(slot);
    }

private:
    int id_;
    std::map<std::string, std::any> state_;
};

class ManagerSim;
class IdStore;
class InventoryStore;

// One request being answered.
struct Call {
    ManagerSim& sim;
    Connection& connection;
    const Request& request;
};
// Returns the reply payload. Handlers run one at a time (the simulator serialises them), so a
// store shared by the handlers needs no lock of its own.
using Handler = std::function<std::string(Call&)>;

// How the next request(s) of a verb are answered instead of the usual way.
struct Action {
    enum class Kind {
        Answer,          // the reply (given, or the handler's), possibly delayed
        DropBeforeRead,  // close with the request unread
        DropAfterRead,   // read the request, close without answering
        Silence,         // read the request, never answer (the connection stays open)
        HalfFrame,       // header and half the payload, then close
        BadHeader,       // the reply with marker FF 01 00 00
        Raw,             // exactly `bytes`, nothing else
        OneByteAtATime,  // the reply, one byte per send
    };
    Kind kind = Kind::Answer;
    std::optional<std::string> reply;  // replaces the handler's reply
    uint32_t delayMs = 0;              // pause before answering
    std::string bytes;                 // for Raw

    static Action Reply(std::string text) { return {Kind::Answer, std::move(text), 0, {}}; }
    static Action Refuse(std::string text = kReplyRefused) { return Reply(std::move(text)); }
    static Action Delay(uint32_t ms) { return {Kind::Answer, std::nullopt, ms, {}}; }
    static Action Of(Kind kind) { return {kind, std::nullopt, 0, {}}; }
    static Action RawBytes(std::string bytes) { return {Kind::Raw, std::nullopt, 0, std::move(bytes)}; }
};

struct LogEntry {
    enum class Kind { Received, Sent, Event };
    int connection = 0;
    Kind kind = Kind::Event;
    std::string verb;  // of the request the entry belongs to
    std::string wire;  // exact bytes on the wire (frame header or trailing NUL included)
    std::string text;  // the payload / message text, or the event's description
};

class ManagerSim {
public:
    // `root` is the data root shared with the library's PathName ("" when no store needs it).
    explicit ManagerSim(std::string root = {});
    ~ManagerSim();
    ManagerSim(const ManagerSim&) = delete;
    ManagerSim& operator=(const ManagerSim&) = delete;

    // Listens on 127.0.0.1 (port 0 picks one). False when the port cannot be had; listenError()
    // then holds the system's reason (an errno).
    bool Start(uint16_t port = 0, uint32_t address = 0x0100007Fu /* 127.0.0.1 */);
    int listenError() const { return listenError_; }
    void Stop();
    uint16_t port() const { return port_; }
    const std::string& root() const { return root_; }

    // ---- verbs
    void Handle(const std::string& verb, Handler handler);
    // The handshake answer of the default "AINT" handler ("AINTA V0300" at first).
    void SetHandshakeReply(std::string text);

    // The ID store (IDGET, IDUPD, IDDEL, IDRLS, IDEXC, IDCHG), for seeding and inspection.
    IdStore& Ids() { return *ids_; }
    // The nodes' system information (IGET, IDEL, IUPD).
    InventoryStore& Inventory() { return *inventory_; }

    // ---- scripting: the next `times` requests of `verb` ("*" any verb, "AINT" the handshake)
    // are answered by `action`; times < 0 keeps it until cleared. Scripts of a verb queue up.
    void Script(const std::string& verb, Action action, int times = 1);
    void ClearScripts();
    // Refused connections: stops listening (the port stays reserved for Refuse(false)).
    void RefuseConnections(bool refuse);
    // Closes every open connection (ends silences).
    void DropConnections();

    // ---- the log
    std::vector<LogEntry> Log() const;
    // Payloads of the requests received (handshake included), on one connection or all (0).
    std::vector<std::string> Received(int connection = 0) const;
    std::vector<int> Connections() const;  // ids in order of arrival
    void ClearLog();
    // Waits until `done(log)` holds (false after the time-out).
    bool WaitFor(const std::function<bool(const std::vector<LogEntry>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Waits until `count` connections have ended.
    bool WaitForClosed(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    struct Open {
        std::shared_ptr<Connection> connection;
        int socket = -1;
        std::thread thread;
        bool done = false;
    };

    friend struct ForkQuiet;
    void JoinEnded();  // with mutex_ held

    void AcceptLoop(int listener);
    void Serve(int socket, std::shared_ptr<Connection> connection);
    bool ServeHandshake(int socket, Connection& connection);
    bool ServeRequest(int socket, Connection& connection);
    std::optional<Action> TakeScript(const std::string& verb);
    std::string Answer(Connection& connection, const Request& request);
    bool SendReply(int socket, Connection& connection, const std::string& verb, const Action& action,
                   const std::string& reply, bool text);
    void Record(LogEntry entry);
    void InstallCoreVerbs();
    // Verbs of the later stores, one file each: packages (RPUT, RGET), jobs (J*, D*, the E
    // store), IDs (ID*).
    void InstallPackageVerbs();
    void InstallJobVerbs();
    void InstallIdVerbs();
    bool Listen(uint16_t port);

    std::string root_;
    std::shared_ptr<IdStore> ids_;  // shared: complete only where the ID verbs are
    std::shared_ptr<InventoryStore> inventory_;
    uint32_t address_ = 0;
    std::atomic<uint16_t> port_{0};
    int listenError_ = 0;

    std::mutex mutex_;  // listener, connections, scripts, handlers
    int listener_ = -1;
    std::thread acceptThread_;
    bool stopping_ = false;
    std::vector<std::unique_ptr<Open>> open_;
    int nextId_ = 1;
    std::map<std::string, Handler> handlers_;
    std::map<std::string, std::deque<std::pair<Action, int>>> scripts_;
    std::string handshakeReply_ = kDefaultHandshakeReply;

    std::mutex handlerMutex_;  // handlers run one at a time

    mutable std::mutex logMutex_;
    mutable std::condition_variable logChanged_;
    std::vector<LogEntry> log_;
    size_t closed_ = 0;
};

}  // namespace qvpsim
