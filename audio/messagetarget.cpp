#include "messagetarget.h"

#include "player.h"

namespace vorel::audio {

TMessageTarget::TMessageTarget(std::function<void(TPlayerMessage)> receive) : receive_(std::move(receive)) {
    target_.post = &TMessageTarget::post;
    target_.context = this;
}

void TMessageTarget::post(void *context, DWORD msg, DWORD, DWORD) {
    auto *self = static_cast<TMessageTarget *>(context);
    if (msg == WM_SEGMENT_END)
        self->receive_(TPlayerMessage::RangeEnd);
    else if (msg == WM_FILE_END)
        self->receive_(TPlayerMessage::FileEnd);
}

} // namespace vorel::audio
