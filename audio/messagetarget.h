// The core library's message target for a receiver that does not know the
// library's types: the end of a range and of the file, as TBass's syncs post them.
// The library calls the receiver on its notifier thread, so it must only hand the
// message over (QCoreApplication::postEvent). Must outlive the player given Handle().
#pragma once

#include <functional>

#include "audiolib.h"

namespace vorel::audio {

enum class TPlayerMessage { RangeEnd, FileEnd };

class TMessageTarget {
public:
    explicit TMessageTarget(std::function<void(TPlayerMessage)> receive);
    TMessageTarget(const TMessageTarget &) = delete;
    TMessageTarget &operator=(const TMessageTarget &) = delete;
    // For TBass's constructor.
    HWND Handle() { return &target_; }

private:
    static void post(void *context, DWORD msg, DWORD wparam, DWORD lparam);

    VOREL_MSGTARGET target_{};
    std::function<void(TPlayerMessage)> receive_;
};

} // namespace vorel::audio
