// Streams, channels and syncs of the C interface, and the manual-clock render entry.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#include "api_util.h"
#include "capture.h"
#include "pcmsource.h"

using namespace vorel::audiolib;

namespace {

// Position of the next frame to mix, whole frames (channel parked or not playing).
uint64_t stoppedPosition(const Channel &ch) {
    const uint32_t fb = ch.fmt.frameBytes();
    double pos = std::max(0.0, ch.playPos.load());
    return uint64_t(std::llround(pos / fb)) * fb;
}

// A decoding channel reads its source directly; any other plays it through a renderer.
HSTREAM addStream(std::shared_ptr<Channel> ch, std::unique_ptr<PcmSource> source) {
    if (ch->decoding)
        ch->source = std::move(source);
    else
        ch->renderer = std::make_unique<PlainRenderer>(std::move(source), (ch->flags & BASS_SAMPLE_LOOP) != 0);
    HSTREAM h = registerChannel(std::move(ch));
    return h ? ok(h) : fail(BASS_ERROR_NOCHAN, HSTREAM(0));
}

} // namespace

#define API_LOCK                                                                                   \
    Engine &e = engine();                                                                          \
    std::lock_guard<std::mutex> apiLock(e.api)
#define FIND_OR(handle, ret)                                                                       \
    auto ch = findChannel(handle);                                                                 \
    if (!ch) return ret

extern "C" {

AUDIOLIB_API HSTREAM BASS_StreamCreate(DWORD freq, DWORD chans, DWORD flags, STREAMPROC *proc, DWORD user) {
    API_LOCK;
    if (!e.initialised) return fail(BASS_ERROR_INIT, HSTREAM(0));
    if (!proc || chans < 1 || chans > 8 || freq < VOREL_MIN_RATE || freq > VOREL_MAX_RATE || (flags & BASS_SAMPLE_FLOAT))
        return fail(BASS_ERROR_FORMAT, HSTREAM(0));
    auto ch = std::make_shared<Channel>();
    ch->flags = flags;
    ch->ctype = BASS_CTYPE_STREAM;
    ch->decoding = (flags & BASS_STREAM_DECODE) != 0;
    ch->fmt = PcmFormat{freq, chans, (flags & BASS_SAMPLE_8BITS) ? 1u : 2u};
    auto source = makeProcSource(ch->fmt, proc, user, &ch->handle);
    return addStream(std::move(ch), std::move(source));
}

AUDIOLIB_API HSTREAM BASS_StreamCreateFile(BOOL mem, const void *file, QWORD offset, QWORD length, DWORD flags) {
    Engine &e = engine();
    {
        std::lock_guard<std::mutex> apiLock(e.api);
        if (!e.initialised) return fail(BASS_ERROR_INIT, HSTREAM(0));
    }
    if (mem) return fail(BASS_ERROR_NOTAVAIL, HSTREAM(0));
    if (!file) return fail(BASS_ERROR_FILEOPEN, HSTREAM(0));
    if (offset || length) return fail(BASS_ERROR_ILLPARAM, HSTREAM(0));
    // Opening (and the pre-scan of a long MP3) touches nothing shared: other threads
    // may open files or use the library meanwhile.
    int error = 0;
    std::unique_ptr<Decoder> decoder;
    try {
        decoder = Decoder::open(static_cast<const char *>(file), (flags & BASS_STREAM_PRESCAN) != 0, error);
    } catch (const std::bad_alloc &) {
        return fail(BASS_ERROR_MEM, HSTREAM(0));
    } catch (...) {
        return fail(BASS_ERROR_UNKNOWN, HSTREAM(0));
    }
    if (!decoder) return fail(DWORD(error ? error : BASS_ERROR_FILEFORM), HSTREAM(0));
    // A header may claim any rate; outside this range the tempo stage cannot play it.
    const uint32_t rate = decoder->format().rate;
    if (rate < VOREL_MIN_RATE || rate > VOREL_MAX_RATE) return fail(BASS_ERROR_FILEFORM, HSTREAM(0));
    std::lock_guard<std::mutex> apiLock(e.api);
    if (!e.initialised) return fail(BASS_ERROR_INIT, HSTREAM(0));
    auto ch = std::make_shared<Channel>();
    ch->flags = flags;
    ch->ctype = decoder->channelType();
    ch->decoding = (flags & BASS_STREAM_DECODE) != 0;
    ch->fmt = decoder->format();
    ch->chapters = decoder->chapters();
    auto source = makeDecoderSource(std::move(decoder));
    return addStream(std::move(ch), std::move(source));
}

AUDIOLIB_API BOOL BASS_StreamFree(HSTREAM handle) {
    forgetMessageSyncs(handle, 0);
    API_LOCK;
    FIND_OR(handle, FALSE);
    destroyChannel(handle);
    return ok(TRUE);
}

AUDIOLIB_API DWORD BASS_StreamGetFilePosition(HSTREAM handle, DWORD mode) {
    API_LOCK;
    FIND_OR(handle, DWORD(-1));
    std::lock_guard<std::mutex> lock(ch->mutex);
    uint64_t size = ch->decoding ? ch->source->fileSize() : ch->renderer->fileSize();
    if (size == 0) return fail(BASS_ERROR_NOTFILE, DWORD(-1));
    switch (mode) {
    case BASS_FILEPOS_END: return ok(DWORD(size));
    case BASS_FILEPOS_START: return ok(DWORD(0));
    case BASS_FILEPOS_CURRENT:
    case BASS_FILEPOS_DECODE: {
        // Proportional estimate: compressed files have no exact byte of a frame.
        int64_t len = ch->lengthBytes();
        double pos = ch->decoding ? double(ch->source->positionFrame() * ch->fmt.frameBytes()) : ch->playPos.load();
        return ok(len > 0 ? DWORD(std::min<double>(size, size * pos / double(len))) : DWORD(0));
    }
    default: return fail(BASS_ERROR_ILLTYPE, DWORD(-1));
    }
}

AUDIOLIB_API float BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    API_LOCK;
    FIND_OR(handle, -1.0f);
    return ok(float(double(pos) / (double(ch->fmt.frameBytes()) * ch->fmt.rate)));
}

AUDIOLIB_API QWORD BASS_ChannelSeconds2Bytes(DWORD handle, float pos) {
    API_LOCK;
    FIND_OR(handle, QWORD(-1));
    if (!(pos > 0)) return ok(QWORD(0));
    // Whole frames, rounded down.
    return ok(QWORD(std::floor(double(pos) * ch->fmt.rate)) * ch->fmt.frameBytes());
}

AUDIOLIB_API DWORD BASS_ChannelIsActive(DWORD handle) {
    if (isRecordHandle(handle)) return recordIsActive(handle);
    API_LOCK;
    FIND_OR(handle, DWORD(BASS_ACTIVE_STOPPED));
    if (ch->decoding) {
        std::lock_guard<std::mutex> lock(ch->mutex);
        int64_t len = ch->lengthBytes();
        bool atEnd = !(ch->flags & BASS_SAMPLE_LOOP) && len >= 0 &&
                     ch->source->positionFrame() * int64_t(ch->fmt.frameBytes()) >= len;
        return ok(DWORD(ch->decodeEnded || atEnd ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING));
    }
    return ok(DWORD(ch->state.load()));
}

AUDIOLIB_API BOOL BASS_ChannelGetInfo(DWORD handle, BASS_CHANNELINFO *info) {
    API_LOCK;
    FIND_OR(handle, FALSE);
    if (!info) return fail(BASS_ERROR_ILLPARAM, FALSE);
    info->freq = ch->fmt.rate;
    info->chans = ch->fmt.channels;
    info->flags = (ch->flags & ~DWORD(BASS_SAMPLE_8BITS)) | (ch->fmt.bytesPerSample == 1 ? BASS_SAMPLE_8BITS : 0);
    info->ctype = ch->ctype;
    info->origres = ch->fmt.bytesPerSample * 8;
    info->plugin = 0;
    return ok(TRUE);
}

AUDIOLIB_API const char *BASS_ChannelGetTags(DWORD handle, DWORD tags) {
    API_LOCK;
    FIND_OR(handle, static_cast<const char *>(nullptr));
    if (tags != VOREL_TAG_CHAPTERS) return fail(BASS_ERROR_ILLTYPE, static_cast<const char *>(nullptr));
    if (ch->chapters.empty()) return fail(BASS_ERROR_NOTAVAIL, static_cast<const char *>(nullptr));
    return ok(ch->chapters.c_str());
}

AUDIOLIB_API BOOL BASS_ChannelGetAttributes(DWORD handle, DWORD *freq, DWORD *volume, int *pan) {
    API_LOCK;
    FIND_OR(handle, FALSE);
    if (freq) *freq = ch->fmt.rate;
    if (volume) *volume = 100;
    if (pan) *pan = 0;
    return ok(TRUE);
}

AUDIOLIB_API BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
    API_LOCK;
    FIND_OR(handle, FALSE);
    if (ch->decoding) return fail(BASS_ERROR_DECODE, FALSE);
    // The output was lost and none could be opened since: try once more.
    if (e.outputLost.load() && !reopenOutput()) return fail(BASS_ERROR_DRIVER, FALSE);
    Parked parked(*ch);
    std::lock_guard<std::mutex> lock(ch->mutex);
    if ((restart || ch->reachedEnd.load()) && !restartAt(*ch, 0)) return fail(BASS_ERROR_POSITION, FALSE);
    fillRing(*ch, aheadFrames());
    ch->mixedSincePlay.store(0);
    ch->state.store(BASS_ACTIVE_PLAYING);
    wakeUpdate();
    return ok(TRUE);
}

AUDIOLIB_API BOOL BASS_ChannelPause(DWORD handle) {
    if (inMixer()) {
        // From a sync procedure on the audio thread: lock-free, allocation-free.
        for (auto &slot : engine().slots) {
            Channel *c = slot.load();
            if (c && c->handle == handle) {
                int playing = BASS_ACTIVE_PLAYING;
                if (c->state.compare_exchange_strong(playing, BASS_ACTIVE_PAUSED)) return ok(TRUE);
                return fail(BASS_ERROR_NOPLAY, FALSE);
            }
        }
        return fail(BASS_ERROR_HANDLE, FALSE);
    }
    API_LOCK;
    FIND_OR(handle, FALSE);
    if (ch->decoding) return fail(BASS_ERROR_DECODE, FALSE);
    Parked parked(*ch);
    if (ch->state.load() != BASS_ACTIVE_PLAYING) return fail(BASS_ERROR_NOPLAY, FALSE);
    ch->state.store(BASS_ACTIVE_PAUSED);
    return ok(TRUE);
}

AUDIOLIB_API BOOL BASS_ChannelStop(DWORD handle) {
    if (isRecordHandle(handle)) return recordStop(handle);
    API_LOCK;
    FIND_OR(handle, FALSE);
    std::unique_lock<std::mutex> lock(ch->mutex, std::defer_lock);
    if (ch->decoding) {
        lock.lock();
        ch->decodeEnded = true;
        return ok(TRUE);
    }
    Parked parked(*ch);
    lock.lock();
    ch->state.store(BASS_ACTIVE_STOPPED);
    // Drop what is buffered; a later play continues from where it stopped.
    if (!ch->reachedEnd.load()) restartAt(*ch, stoppedPosition(*ch));
    return ok(TRUE);
}

AUDIOLIB_API QWORD BASS_ChannelGetLength(DWORD handle) {
    API_LOCK;
    FIND_OR(handle, QWORD(-1));
    std::lock_guard<std::mutex> lock(ch->mutex);
    int64_t len = ch->lengthBytes();
    return len < 0 ? fail(BASS_ERROR_NOTAVAIL, QWORD(-1)) : ok(QWORD(len));
}

AUDIOLIB_API BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos) {
    API_LOCK;
    FIND_OR(handle, FALSE);
    std::unique_lock<std::mutex> lock(ch->mutex, std::defer_lock);
    const uint32_t fb = ch->fmt.frameBytes();
    pos -= pos % fb;
    if (ch->decoding) {
        lock.lock();
        int64_t len = ch->lengthBytes();
        if (len >= 0 && pos > QWORD(len)) return fail(BASS_ERROR_POSITION, FALSE);
        if (!ch->source->seekFrame(int64_t(pos / fb))) return fail(BASS_ERROR_POSITION, FALSE);
        ch->decodeEnded = false;
        return ok(TRUE);
    }
    Parked parked(*ch);
    lock.lock();
    int64_t len = ch->lengthBytes();
    if (len >= 0 && pos > QWORD(len)) return fail(BASS_ERROR_POSITION, FALSE);
    if (!restartAt(*ch, pos)) {
        restartAt(*ch, stoppedPosition(*ch));
        return fail(BASS_ERROR_POSITION, FALSE);
    }
    if (ch->state.load() == BASS_ACTIVE_PLAYING) fillRing(*ch, aheadFrames());
    return ok(TRUE);
}

AUDIOLIB_API QWORD BASS_ChannelGetPosition(DWORD handle) {
    API_LOCK;
    FIND_OR(handle, QWORD(-1));
    const uint32_t fb = ch->fmt.frameBytes();
    if (ch->decoding) {
        std::lock_guard<std::mutex> lock(ch->mutex);
        return ok(QWORD(ch->source->positionFrame()) * fb);
    }
    if (ch->state.load() != BASS_ACTIVE_PLAYING) return ok(QWORD(stoppedPosition(*ch)));
    // What is heard now: the mixer's position less what of it still waits in the
    // device buffer (never more than was mixed since playback began).
    int64_t waiting = std::min<int64_t>(e.latencyFrames.load(), ch->mixedSincePlay.load());
    double pos = ch->playPos.load() - waiting * ch->bytesPerFrame.load();
    return ok(QWORD(std::max<int64_t>(0, std::llround(pos / fb))) * fb);
}

AUDIOLIB_API DWORD BASS_ChannelGetData(DWORD handle, void *buffer, DWORD length) {
    if (isRecordHandle(handle)) return recordGetData(handle, buffer, length);
    std::shared_ptr<Channel> ch;
    {
        API_LOCK;
        ch = findChannel(handle);
        if (!ch) return DWORD(-1);
    }
    if (!ch->decoding) return fail(BASS_ERROR_NOTAVAIL, DWORD(-1));
    if (!buffer) return fail(BASS_ERROR_ILLPARAM, DWORD(-1));
    // Decoding takes the channel's lock only, so that threads decoding channels of
    // their own run side by side. A channel freed meanwhile reads nothing more.
    std::lock_guard<std::mutex> lock(ch->mutex);
    if (ch->freed) return fail(BASS_ERROR_HANDLE, DWORD(-1));
    const uint32_t fb = ch->fmt.frameBytes();
    const bool loop = (ch->flags & BASS_SAMPLE_LOOP) != 0;
    int64_t want = length / fb, done = 0;
    bool wrapped = false; // one wrap without data means an empty source: stop there
    while (done < want && !ch->decodeEnded) {
        int64_t got = ch->source->readFrames(static_cast<uint8_t *>(buffer) + done * fb, want - done);
        if (got > 0) {
            done += got;
            wrapped = false;
            continue;
        }
        if (loop && !wrapped && ch->source->seekFrame(0)) {
            wrapped = true;
            continue;
        }
        ch->decodeEnded = true;
    }
    return ok(DWORD(done * fb));
}

AUDIOLIB_API HSYNC BASS_ChannelSetSync(DWORD handle, DWORD type, QWORD param, SYNCPROC *proc, DWORD user) {
    API_LOCK;
    FIND_OR(handle, HSYNC(0));
    DWORD kind = type & 0xffffu;
    if (kind != BASS_SYNC_POS && kind != BASS_SYNC_END) return fail(BASS_ERROR_NOTAVAIL, HSYNC(0));
    if (!proc) return fail(BASS_ERROR_ILLPARAM, HSYNC(0));
    auto sync = std::make_unique<Sync>();
    sync->handle = e.nextSync++;
    sync->type = type;
    sync->pos = kind == BASS_SYNC_POS ? param - param % ch->fmt.frameBytes() : 0;
    sync->proc = proc;
    sync->user = user;
    HSYNC h = sync->handle;
    if (ch->decoding) {
        std::lock_guard<std::mutex> lock(ch->mutex);
        ch->syncs.push_back(std::move(sync));
        return ok(h);
    }
    Parked parked(*ch);
    std::lock_guard<std::mutex> lock(ch->mutex);
    // Output already rendered past the new sync must be rendered again.
    const bool rendered = ch->ring.freeSlots() != ChunkRing::kCapacity;
    const double heard = ch->playPos.load();
    const bool passed = sync->isEnd() ? ch->producerEnded && !ch->reachedEnd.load()
                                      : ch->renderer->position() >= sync->pos && double(sync->pos) >= heard;
    Sync *raw = sync.get();
    ch->syncs.push_back(std::move(sync));
    if (raw->isMessage()) {
        std::lock_guard<std::mutex> post(e.postMutex);
        e.liveMessageSyncs[h] = handle;
    }
    if (rendered && passed) {
        restartAt(*ch, stoppedPosition(*ch));
        if (ch->state.load() == BASS_ACTIVE_PLAYING) fillRing(*ch, aheadFrames());
    }
    return ok(h);
}

AUDIOLIB_API BOOL BASS_ChannelRemoveSync(DWORD handle, HSYNC sync) {
    forgetMessageSyncs(handle, sync);
    API_LOCK;
    FIND_OR(handle, FALSE);
    std::unique_ptr<Parked> parked;
    if (!ch->decoding) parked = std::make_unique<Parked>(*ch);
    std::lock_guard<std::mutex> lock(ch->mutex);
    auto it = std::find_if(ch->syncs.begin(), ch->syncs.end(), [&](auto &s) { return s->handle == sync; });
    if (it == ch->syncs.end()) return fail(BASS_ERROR_HANDLE, FALSE);
    Sync *raw = it->get();
    // Rendered chunks may still point at it.
    ch->ring.forEachPending([&](Chunk &c) {
        int n = 0;
        for (int i = 0; i < c.markerCount; ++i)
            if (c.markers[i] != raw) c.markers[n++] = c.markers[i];
        c.markerCount = n;
    });
    ch->syncs.erase(it);
    return ok(TRUE);
}

AUDIOLIB_API int VorelAudio_Render(int16_t *out, int frames) {
    Engine &e = engine();
    if (!e.initialised || !e.manualClock || frames < 0 || (!out && frames > 0)) return -1;
    int done = 0;
    while (done < frames) {
        int n = std::min(frames - done, 4096);
        // The update work, done synchronously so that nothing depends on timing.
        for (auto &slot : e.slots) {
            Channel *ch = slot.load();
            if (!ch || ch->state.load() != BASS_ACTIVE_PLAYING) continue;
            std::lock_guard<std::mutex> lock(ch->mutex);
            fillRing(*ch, n + Chunk::kFrames);
        }
        mixFrames(out + 2 * done, n);
        deliverNotes();
        done += n;
    }
    return frames;
}

} // extern "C"
