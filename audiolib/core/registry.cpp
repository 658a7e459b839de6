// The handle table: registering, finding and freeing channels (API lock held).
#include "api_util.h"
#include "pcmsource.h"

namespace vorel::audiolib {

std::shared_ptr<Channel> findChannel(DWORD handle) {
    Engine &e = engine();
    if (!e.initialised) return fail(BASS_ERROR_INIT, std::shared_ptr<Channel>());
    auto it = e.channels.find(handle);
    if (it == e.channels.end()) return fail(BASS_ERROR_HANDLE, std::shared_ptr<Channel>());
    return it->second;
}

DWORD registerChannel(std::shared_ptr<Channel> ch) {
    Engine &e = engine();
    if (!ch->decoding) {
        ch->ring.allocate();
        for (int i = 0; i < Engine::kSlots && ch->slot < 0; ++i)
            if (!e.slots[i].load()) ch->slot = i;
        if (ch->slot < 0) return 0;
    }
    ch->handle = e.nextHandle++;
    if (ch->slot >= 0) e.slots[ch->slot].store(ch.get());
    std::lock_guard<std::mutex> lock(e.table);
    e.channels[ch->handle] = ch;
    return ch->handle;
}

void destroyChannel(DWORD handle) {
    Engine &e = engine();
    std::shared_ptr<Channel> ch;
    {
        std::lock_guard<std::mutex> lock(e.table);
        auto it = e.channels.find(handle);
        if (it == e.channels.end()) return;
        ch = std::move(it->second);
        e.channels.erase(it);
    }
    if (ch->slot >= 0) {
        e.slots[ch->slot].store(nullptr);
        waitQuiescent();
    }
    {
        std::lock_guard<std::mutex> lock(ch->mutex);
        ch->freed = true;
        ch->state.store(BASS_ACTIVE_STOPPED);
        std::lock_guard<std::mutex> post(e.postMutex);
        for (auto &s : ch->syncs) e.liveMessageSyncs.erase(s->handle);
    }
    if (ch->freeWith) destroyChannel(ch->freeWith);
}

} // namespace vorel::audiolib
