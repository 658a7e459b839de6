// One running instance per user and name. The first start listens on a local
// socket named after the lock name; a later start hands its message to the first
// one and ends. Stale sockets of a crashed instance are cleaned up. GUI thread;
// messages arrive through the Qt event loop.
#pragma once

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

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace vorel::platform
