#include "sessionbus.h"

#include "testfiles.h"

#include <chrono>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace vorel::test {

TSessionBus::TSessionBus(const std::string &folder) {
    const std::string socket = socket_ = folder + "/bus";
    const std::string address = "unix:path=" + socket;
    // Quiet: as root it says once that it cannot raise its file limit.
    daemon_ = TChild("dbus-daemon --session --nofork --nopidfile --address=" + shellQuote(address) + " 2>/dev/null", {});
    // The socket exists once the daemon listens.
    for (int waited = 0; waited < 10000; waited += 20) {
        struct stat st {};
        if (stat(socket.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) {
            address_ = address;
            return;
        }
        if (!daemon_.running())
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void TSessionBus::Stop() {
    daemon_.stop();
    ::unlink(socket_.c_str());
    address_.clear();
}

} // namespace vorel::test
