#include "termination.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vorel::app {

namespace {

int wakePipe[2] = {-1, -1};
std::function<void()> onClose;

// Async-signal-safe: only the pipe's write end is touched.
extern "C" void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(wakePipe[1], &byte, 1);
    errno = saved;
}

} // namespace

void CloseOnTerminationSignal(std::function<void()> close) {
    onClose = std::move(close);
    if (wakePipe[0] >= 0)
        return;
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // the default action stays: the program ends at once
    auto *notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, [] {
        char buffer[64];
        while (read(wakePipe[0], buffer, sizeof buffer) > 0) {
        }
        if (onClose)
            onClose();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace vorel::app
