// One running instance per user and name. The first start listens on a local
// socket named after the lock name; a later start hands its message to the first
// one and ends. Stale sockets of a crashed instance are cleaned up. GUI thread;
// messages arrive through the Qt event loop.
#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>
#include <string>

namespace vorel::platform {

class TSingleInstance {
public:
    explicit TSingleInstance(const std::string &name);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance &) = delete;
    TSingleInstance &operator=(const TSingleInstance &) = delete;

    // True when this process is the first: it then listens and calls OnMessage
    // for every message a later start sends. False when another instance runs.
    bool Claim();
    // From a later start: delivers message (any bytes but NUL, newlines included)
    // to the first instance; false when none answered within timeoutMs.
    bool Send(const std::string &message, int timeoutMs = 1000);

    std::function<void(const std::string &message)> OnMessage;

    // The socket path used for name (per user, in $XDG_RUNTIME_DIR or the temp folder).
    static std::string SocketPath(const std::string &name);

    // What the first instance accepts: a message is a command and a path (a path
    // is at most 4 KiB), one per connection, a few callers at a time (a new one
    // closes the oldest), each for a short time; anything more is dropped. A server that closed is listened
    // again within RecoverMs.
    static constexpr qsizetype MaxMessageBytes = 16 * 1024;
    static constexpr int MaxMessagesPerConnection = 1;
    static constexpr size_t MaxConnections = 8;
    static constexpr int ConnectionMs = 2000;
    static constexpr int RecoverMs = 1000;

private:
    void listen();
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vorel::platform
