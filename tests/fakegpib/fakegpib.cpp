// NI-488.2 entry points over a simulated supply at one address, with switches
// that make reads fail the way a real bus does.
#include "sim/supply.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>

#define FAKE_API extern "C" __attribute__((visibility("default")))

namespace {

constexpr int ERR = 0x8000;
constexpr int END = 0x2000;
constexpr int CMPL = 0x0100;
constexpr int EARG = 4;
constexpr int ENOL = 2;

std::mutex mutex;
std::unique_ptr<trq::sim::Supply> supply;
QByteArray output;
int address = -1;
thread_local int lastError = 0;
thread_local long lastCount = 0;
std::atomic<int> failReadsWith{-1};
std::atomic<int> overlaps{0};
std::atomic<int> writes{0};
std::atomic<int> reads{0};
std::atomic<int> clears{0};
std::atomic<bool> chunked{false};

int fail(int err) {
    lastError = err;
    lastCount = 0;
    return ERR;
}

} // namespace

FAKE_API void fakegpib_setup(const char* model, int pad) {
    std::lock_guard lock(mutex);
    supply = trq::sim::Supply::create(QString::fromLatin1(model));
    address = pad;
    output.clear();
    failReadsWith = -1;
    overlaps = writes = reads = clears = 0;
    chunked = false;
}
// iberr for every following read; -1 to read normally.
FAKE_API void fakegpib_fail_reads(int iberr) {
    failReadsWith = iberr;
}
// Hand out replies in 3-byte pieces, END only on the last one.
FAKE_API void fakegpib_chunked(int on) {
    chunked = on != 0;
}
// Writes that arrived while an earlier answer had not been read.
FAKE_API int fakegpib_overlaps() {
    return overlaps;
}
FAKE_API int fakegpib_writes() {
    return writes;
}
FAKE_API int fakegpib_reads() {
    return reads;
}
FAKE_API int fakegpib_clears() {
    return clears;
}

FAKE_API int ibdev(int board, int pad, int, int, int, int) {
    std::lock_guard lock(mutex);
    if (board != 0 || !supply) {
        lastError = 7; // ENEB
        return -1;
    }
    return pad == address ? 1 : 2;
}

FAKE_API int ibwrt(int ud, const void* buf, long count) {
    std::lock_guard lock(mutex);
    if (ud != 1)
        return fail(ENOL);
    if (!buf || count < 0)
        return fail(EARG);
    ++writes;
    if (!output.isEmpty())
        ++overlaps;
    output = supply->execute(QString::fromLatin1(static_cast<const char*>(buf), count));
    lastCount = count;
    return CMPL | END;
}

FAKE_API int ibrd(int ud, void* buf, long count) {
    std::lock_guard lock(mutex);
    if (ud != 1)
        return fail(ENOL);
    ++reads;
    if (failReadsWith >= 0)
        return fail(failReadsWith);
    if (output.isEmpty())
        return fail(6); // EABO: nothing to say before the timeout
    const long piece = chunked ? 3 : count;
    const long n = std::min<long>({count, piece, long(output.size())});
    std::memcpy(buf, output.constData(), std::size_t(n));
    output.remove(0, n);
    lastCount = n;
    return CMPL | (output.isEmpty() ? END : 0);
}

FAKE_API int ibclr(int) {
    std::lock_guard lock(mutex);
    ++clears;
    output.clear();
    return CMPL;
}

FAKE_API int ibonl(int, int) {
    return CMPL;
}
FAKE_API int ThreadIberr() {
    return lastError;
}
FAKE_API long ThreadIbcntl() {
    return lastCount;
}
