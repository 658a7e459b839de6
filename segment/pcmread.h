// Sampling PCM that lies in a file as it is: the blocks are read a window at a
// time and reduced to their peaks (TWaveSampleList::SampleBlocks) while the window
// is still in the cache.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "segmenttypes.h"

namespace vorel::segment {

// Appends the samples of count consecutive blocks of blockSize bytes of 8- or
// 16-bit PCM (bits and channels as for SampleBlocks) to out, the blocks starting
// at byte `at` of fd. A file that ends early (cut while being read) ends the
// samples there: a last partial block is taken with silence after it. Returns the
// samples appended (fewer than count also when cancel is given and becomes
// true). Throws EPlatformError when a read fails.
// Uses only pread: any thread may call it, and several threads may share one fd.
size_t SamplePcmBlocks(int fd, int64_t at, size_t blockSize, size_t count, int bits, int channels,
                     const std::atomic<bool> *cancel, TStrings &out);

} // namespace vorel::segment
