// A private D-Bus session bus for a test: its own dbus-daemon on a socket in a
// given folder, ended by process id when dropped. Programs reach it through
// DBUS_SESSION_BUS_ADDRESS = address().
#pragma once

#include <string>

#include "xsession.h"

namespace vorel::test {

class TSessionBus {
public:
    explicit TSessionBus(const std::string &folder);
    bool ok() const { return !address_.empty(); }
    const std::string &address() const { return address_; }
    // Ends the daemon and removes its socket: the bus dies under its clients.
    void Stop();

private:
    std::string socket_;
    TChild daemon_;
    std::string address_;
};

} // namespace vorel::test
