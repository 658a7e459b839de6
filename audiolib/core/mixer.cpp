// The mixer (runs in the audio callback: no locks, no allocation, no decoding) and
// the producer that renders ahead into each channel's chunk ring.
#include <algorithm>
#include <climits>
#include <cstring>

#include "engine_state.h"
#include "pcmsource.h"

namespace vorel::audiolib {

namespace {

thread_local bool tl_inMixer __attribute__((tls_model("initial-exec"))) = false;

constexpr int kMixBlock = 4096;
int32_t g_acc[kMixBlock * 2];

void fireMarkers(Channel &ch, const Chunk &c, bool &notified) {
    Engine &e = engine();
    // Procedures first: a pause they cause is in effect before any message of the
    // same position can be posted.
    for (int i = 0; i < c.markerCount; ++i) {
        Sync *s = c.markers[i];
        if (s->isMessage() || !s->proc) continue;
        if (s->isOneTime() && s->fired.exchange(true)) continue;
        s->proc(s->handle, ch.handle, 0, s->user);
    }
    for (int i = 0; i < c.markerCount; ++i) {
        Sync *s = c.markers[i];
        if (!s->isMessage()) continue;
        if (s->isOneTime() && s->fired.exchange(true)) continue;
        DWORD msg = DWORD(reinterpret_cast<uintptr_t>(s->proc));
        if (e.notes.push(Note{s->handle, msg, ch.handle})) notified = true;
    }
}

void mixChannel(Channel &ch, int32_t *acc, int frames, bool &notified, bool &consumed) {
    int done = 0;
    while (done < frames && ch.state.load() == BASS_ACTIVE_PLAYING) {
        Chunk *c = ch.ring.front();
        if (!c) break; // underrun: the producer is late; silence for this channel
        consumed = true;
        int take = std::min(frames - done, c->frames - ch.readOffset);
        const int16_t *src = c->pcm + ch.readOffset * 2;
        int32_t *dst = acc + done * 2;
        for (int i = 0; i < take * 2; ++i) dst[i] += src[i];
        done += take;
        ch.readOffset += take;
        ch.mixedSincePlay.fetch_add(take, std::memory_order_relaxed);
        if (c->frames > 0) {
            double span = c->srcEnd - c->srcStart;
            ch.playPos.store(c->srcStart + span * ch.readOffset / c->frames);
            ch.bytesPerFrame.store(span / c->frames);
        }
        if (ch.readOffset < c->frames) continue;
        ch.playPos.store(c->srcEnd);
        fireMarkers(ch, *c, notified);
        bool end = c->end;
        ch.readOffset = 0;
        ch.ring.pop(c->frames);
        if (end) {
            ch.reachedEnd.store(true);
            ch.state.store(BASS_ACTIVE_STOPPED);
        }
    }
}

} // namespace

bool inMixer() { return tl_inMixer; }

void mixFrames(int16_t *out, int frames) {
    Engine &e = engine();
    tl_inMixer = true;
    e.cycle.fetch_add(1);
    bool notified = false, consumed = false;
    while (frames > 0) {
        int n = std::min(frames, kMixBlock);
        std::memset(g_acc, 0, sizeof(int32_t) * 2 * n);
        for (auto &slot : e.slots) {
            Channel *ch = slot.load();
            if (!ch || ch->parked.load()) continue;
            mixChannel(*ch, g_acc, n, notified, consumed);
        }
        for (int i = 0; i < n * 2; ++i) out[i] = int16_t(std::clamp(g_acc[i], -32768, 32767));
        out += n * 2;
        frames -= n;
    }
    e.cycle.fetch_add(1);
    tl_inMixer = false;
    // sem_post neither locks nor allocates: a futex wake at most.
    if (notified) sem_post(&e.noteSignal);
    if (consumed && !e.manualClock) sem_post(&e.updateSignal);
}

void wakeUpdate() { sem_post(&engine().updateSignal); }

void waitQuiescent() {
    Engine &e = engine();
    uint64_t c = e.cycle.load();
    if ((c & 1) == 0 || tl_inMixer) return;
    while (e.cycle.load() == c) std::this_thread::yield();
}

int aheadFrames() {
    Engine &e = engine();
    int64_t ms = std::max<DWORD>(e.bufferMs.load(), 10);
    int64_t frames = ms * e.rate / 1000;
    // Cover three device periods plus one update period: the update thread is woken
    // after every device period, so a busy machine must delay it by more than two
    // whole periods before the ring runs dry.
    frames = std::max<int64_t>(frames, 3 * e.deviceFrames.load() + int64_t(e.updatePeriodMs.load()) * e.rate / 1000);
    return int(std::min<int64_t>(frames, int64_t(ChunkRing::kCapacity - 8) * Chunk::kFrames));
}

void fillRing(Channel &ch, int frames) {
    if (!ch.renderer || ch.freed || ch.producerEnded) return;
    const uint32_t rate = engine().rate;
    Sync *pending[64];
    while (ch.ring.bufferedFrames() < frames) {
        // Room for this chunk and the empty chunks extra markers may need.
        if (ch.ring.freeSlots() < 1 + 64 / Chunk::kMarkers) break;
        Chunk *c = ch.ring.writeSlot();
        const uint64_t cur = ch.renderer->position();
        uint64_t stopAt = UINT64_MAX;
        for (auto &s : ch.syncs) {
            if (s->isEnd() || s->fired.load()) continue;
            if (s->pos > cur || (s->pos == cur && int64_t(cur) != ch.lastMarkerPos))
                stopAt = std::min(stopAt, s->pos);
        }
        // A stop at the current position still goes through the renderer: it may
        // hold output for input before it (the tempo processor does).
        RenderResult r;
        try {
            ch.renderer->render(c->pcm, Chunk::kFrames, rate, stopAt, r);
        } catch (...) {
            // A renderer that fails (the tempo processor may throw) ends its
            // stream; the thread and the other channels go on.
            r = RenderResult{};
            r.srcStart = r.srcEnd = double(cur);
            r.ended = true;
        }
        int count = 0;
        if (r.atStop) {
            ch.lastMarkerPos = int64_t(stopAt);
            for (auto &s : ch.syncs)
                if (!s->isEnd() && !s->fired.load() && s->pos == stopAt && count < 64) pending[count++] = s.get();
        }
        if (r.ended) {
            for (auto &s : ch.syncs)
                if (s->isEnd() && !s->fired.load() && count < 64) pending[count++] = s.get();
            ch.producerEnded = true;
        }
        if (r.frames == 0 && count == 0 && !r.ended) break; // nothing to show for it
        c->frames = r.frames;
        c->srcStart = r.srcStart;
        c->srcEnd = r.srcEnd;
        // More markers than a chunk holds go on empty chunks that follow.
        int at = 0;
        for (;;) {
            c->markerCount = std::min(count - at, Chunk::kMarkers);
            for (int i = 0; i < c->markerCount; ++i) c->markers[i] = pending[at + i];
            at += c->markerCount;
            c->end = r.ended && at == count;
            ch.ring.commit(c->frames);
            if (at == count) break;
            c = ch.ring.writeSlot();
            c->frames = 0;
            c->srcStart = c->srcEnd = r.srcEnd;
        }
        if (r.ended) break;
    }
}

bool restartAt(Channel &ch, uint64_t byte) {
    ch.ring.reset();
    ch.readOffset = 0;
    ch.producerEnded = false;
    ch.reachedEnd.store(false);
    ch.lastMarkerPos = -1;
    ch.playPos.store(double(byte));
    ch.mixedSincePlay.store(0);
    return ch.renderer->seek(byte);
}

int64_t Channel::lengthBytes() const {
    if (decoding) {
        int64_t n = source->lengthFrames();
        return n < 0 ? -1 : n * fmt.frameBytes();
    }
    return renderer->lengthBytes();
}

namespace {
thread_local bool tl_posting __attribute__((tls_model("initial-exec"))) = false;
}

void deliverNotes() {
    Engine &e = engine();
    Note n;
    while (e.notes.pop(n)) {
        {
            std::lock_guard<std::mutex> lock(e.postMutex);
            if (!e.target || !e.target->post || !e.liveMessageSyncs.count(n.sync)) continue;
            e.postingSync.store(n.sync);
        }
        tl_posting = true;
        e.target->post(e.target->context, n.msg, n.channel, 0);
        tl_posting = false;
        e.postingSync.store(0);
    }
}

void forgetMessageSyncs(DWORD channel, HSYNC sync) {
    Engine &e = engine();
    {
        std::lock_guard<std::mutex> lock(e.postMutex);
        for (auto it = e.liveMessageSyncs.begin(); it != e.liveMessageSyncs.end();) {
            bool match = channel == 0 || (it->second == channel && (sync == 0 || it->first == sync));
            it = match ? e.liveMessageSyncs.erase(it) : std::next(it);
        }
    }
    if (tl_posting) return; // removed from inside the post itself
    for (HSYNC p = e.postingSync.load(); p != 0; p = e.postingSync.load()) {
        bool ours = channel == 0;
        if (!ours) {
            std::lock_guard<std::mutex> lock(e.postMutex);
            ours = !e.liveMessageSyncs.count(p);
        }
        if (!ours) break; // a post of another, live sync: no need to wait
        std::this_thread::yield();
    }
}

} // namespace vorel::audiolib
