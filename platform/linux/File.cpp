// Files: the C run time's descriptors as handles, read at an offset, and
// handles reopened for overlapped reads, which reach the kernel in batches
// through an io_uring.
#include "HandleObject.h"
#include "WinApi.h"

#include <fcntl.h>
#include <linux/io_uring.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <new>

namespace {

// How a read ended, in its OVERLAPPED's Internal as the system keeps it.
constexpr ULONG_PTR StatusSuccess = 0;
constexpr ULONG_PTR StatusEndOfFile = 0xC0000011;
constexpr ULONG_PTR StatusUnexpectedIoError = 0xC00000E9;
constexpr ULONG_PTR StatusCancelled = 0xC0000120;

// Enough for a parser's batch; the completion queue is twice as long.
constexpr unsigned RingEntries = 32;

std::atomic<bool> ringsRefused{false};

off_t OffsetOf(const OVERLAPPED* overlapped)
{
    return off_t(uint64_t(overlapped->OffsetHigh) << 32 | overlapped->Offset);
}

// A read's end; the result is the bytes read or an error negated, as the
// kernel gives it.
void Finish(OVERLAPPED* overlapped, long result, ULONG_PTR status)
{
    overlapped->InternalHigh = result > 0 ? ULONG_PTR(result) : 0;
    overlapped->Internal = status;
    if (overlapped->hEvent)
        SetEvent(overlapped->hEvent);
}
void Finish(OVERLAPPED* overlapped, long result)
{
    Finish(overlapped, result, result > 0 ? StatusSuccess : result == 0 ? StatusEndOfFile : StatusUnexpectedIoError);
}

BOOL Report(const OVERLAPPED* overlapped, LPDWORD transferred)
{
    if (transferred)
        *transferred = DWORD(overlapped->InternalHigh);
    if (overlapped->Internal == StatusSuccess)
        return TRUE;
    SetLastError(overlapped->Internal == StatusEndOfFile   ? ERROR_HANDLE_EOF
                 : overlapped->Internal == StatusCancelled ? ERROR_OPERATION_ABORTED
                                                           : ERROR_READ_FAULT);
    return FALSE;
}

class OverlappedFile : public HandleObject {
public:
    explicit OverlappedFile(int descriptor) : descriptor(descriptor), synchronous(ringsRefused) {}

    ~OverlappedFile() override
    {
        // Reads never handed over end as the system ends a closed handle's
        // reads; those in flight may still be filling their buffers.
        TakeBackQueued(false);
        while (inFlight > 0)
            Enter(true);
        CloseRing();
        close(descriptor);
    }

    // Signalled while no read is outstanding; a wait waits for them all.
    bool Wait(DWORD milliseconds) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        Enter(false);
        while (milliseconds != 0 && inFlight > 0)
            Enter(true);
        return queued + inFlight == 0;
    }

    BOOL Read(void* buffer, DWORD count, LPDWORD read, OVERLAPPED* overlapped)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (count == 0) { // as the system does, whatever the offset
            Finish(overlapped, 0, StatusSuccess);
            return Report(overlapped, read);
        }
        if (!RingReady()) {
            Finish(overlapped, ReadAt(buffer, count, OffsetOf(overlapped)));
            return Report(overlapped, read);
        }
        if (queued == sqEntries)
            Enter(false);
        // Every read in flight has a place in the completion queue, which
        // would otherwise overflow.
        while (queued + inFlight >= cqEntries)
            Enter(true);
        overlapped->Internal = STATUS_PENDING;
        overlapped->InternalHigh = 0;
        if (overlapped->hEvent)
            ResetEvent(overlapped->hEvent);
        io_uring_sqe& entry = sqes[tail & sqMask];
        entry = io_uring_sqe{};
        entry.opcode = IORING_OP_READ;
        entry.fd = descriptor;
        entry.off = uint64_t(OffsetOf(overlapped));
        entry.addr = uint64_t(uintptr_t(buffer));
        entry.len = count;
        entry.user_data = uint64_t(uintptr_t(overlapped));
        __atomic_store_n(sqTail, ++tail, __ATOMIC_RELEASE);
        ++queued;
        if (read)
            *read = 0;
        SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }

    BOOL Result(OVERLAPPED* overlapped, LPDWORD transferred, bool wait)
    {
        std::lock_guard<std::mutex> lock(mutex);
        while (overlapped->Internal == STATUS_PENDING) {
            if (queued + inFlight == 0) { // no read of this handle
                SetLastError(ERROR_INVALID_PARAMETER);
                return FALSE;
            }
            Enter(wait);
            if (!wait && overlapped->Internal == STATUS_PENDING) {
                SetLastError(ERROR_IO_INCOMPLETE);
                return FALSE;
            }
        }
        return Report(overlapped, transferred);
    }

private:
    long ReadAt(void* buffer, DWORD count, off_t offset)
    {
        const ssize_t got = pread(descriptor, buffer, count, offset);
        return got < 0 ? -errno : long(got);
    }

    bool RingReady()
    {
        if (ring < 0 && !synchronous)
            synchronous = !OpenRing();
        return !synchronous;
    }

    bool OpenRing()
    {
        io_uring_params parameters{};
        ring = int(syscall(__NR_io_uring_setup, RingEntries, &parameters));
        // The read without vectors came with the kernels that have this feature.
        if (ring < 0 || !(parameters.features & IORING_FEAT_RW_CUR_POS))
            return CloseRing(), false;
        const io_sqring_offsets& sq = parameters.sq_off;
        const io_cqring_offsets& cq = parameters.cq_off;
        sqRingSize = sq.array + parameters.sq_entries * sizeof(unsigned);
        cqRingSize = cq.cqes + parameters.cq_entries * sizeof(io_uring_cqe);
        sqesSize = parameters.sq_entries * sizeof(io_uring_sqe);
        sqRing = Map(sqRingSize, IORING_OFF_SQ_RING);
        cqRing = Map(cqRingSize, IORING_OFF_CQ_RING);
        entries = Map(sqesSize, IORING_OFF_SQES);
        if (sqRing == MAP_FAILED || cqRing == MAP_FAILED || entries == MAP_FAILED)
            return CloseRing(), false;
        sqes = static_cast<io_uring_sqe*>(entries);
        sqEntries = parameters.sq_entries;
        sqMask = *At(sqRing, sq.ring_mask);
        sqTail = At(sqRing, sq.tail);
        tail = *sqTail;
        for (unsigned i = 0; i < sqEntries; ++i) // each slot of the queue is its own entry
            At(sqRing, sq.array)[i] = i;
        cqEntries = parameters.cq_entries;
        cqMask = *At(cqRing, cq.ring_mask);
        cqHead = At(cqRing, cq.head);
        cqTail = At(cqRing, cq.tail);
        cqes = reinterpret_cast<io_uring_cqe*>(static_cast<char*>(cqRing) + cq.cqes);
        return true;
    }

    void* Map(size_t size, off_t offset)
    {
        return mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, ring, offset);
    }
    static unsigned* At(void* base, unsigned offset)
    {
        return reinterpret_cast<unsigned*>(static_cast<char*>(base) + offset);
    }

    void CloseRing()
    {
        if (entries != MAP_FAILED)
            munmap(entries, sqesSize);
        if (cqRing != MAP_FAILED)
            munmap(cqRing, cqRingSize);
        if (sqRing != MAP_FAILED)
            munmap(sqRing, sqRingSize);
        if (ring >= 0)
            close(ring);
        ring = -1;
    }

    // Hands every queued read to the kernel in one call and, when asked and a
    // read is out, waits for one to complete; then takes every completion.
    void Enter(bool wait)
    {
        for (;;) {
            const bool waiting = wait && queued + inFlight > 0;
            if (queued == 0 && !waiting)
                break;
            const long done = syscall(__NR_io_uring_enter, ring, queued, waiting ? 1 : 0,
                                      waiting ? IORING_ENTER_GETEVENTS : 0, nullptr, 0);
            if (done < 0 && errno == EINTR)
                continue;
            if (done > 0) {
                queued -= unsigned(done);
                inFlight += unsigned(done);
                if (queued == 0)
                    break;
            } else if (queued > 0) {
                TakeBackQueued(true); // the kernel refused them
            } else {
                break;
            }
        }
        Reap();
    }

    // Takes back the reads queued, which the kernel has not seen: done at
    // once, or cancelled.
    void TakeBackQueued(bool readNow)
    {
        const unsigned first = tail - queued;
        for (unsigned i = first; i != tail; ++i) {
            const io_uring_sqe& entry = sqes[i & sqMask];
            auto* overlapped = reinterpret_cast<OVERLAPPED*>(uintptr_t(entry.user_data));
            if (readNow)
                Finish(overlapped, ReadAt(reinterpret_cast<void*>(uintptr_t(entry.addr)), entry.len, off_t(entry.off)));
            else
                Finish(overlapped, 0, StatusCancelled);
        }
        if (queued > 0)
            __atomic_store_n(sqTail, tail = first, __ATOMIC_RELEASE);
        queued = 0;
    }

    void Reap()
    {
        if (inFlight == 0)
            return;
        unsigned head = *cqHead;
        for (const unsigned end = __atomic_load_n(cqTail, __ATOMIC_ACQUIRE); head != end; ++head, --inFlight) {
            const io_uring_cqe& completion = cqes[head & cqMask];
            Finish(reinterpret_cast<OVERLAPPED*>(uintptr_t(completion.user_data)), completion.res);
        }
        __atomic_store_n(cqHead, head, __ATOMIC_RELEASE);
    }

    const int descriptor;
    bool synchronous; // the kernel offers no ring: every read is done at once
    std::mutex mutex;
    int ring = -1;
    void* sqRing = MAP_FAILED;
    void* cqRing = MAP_FAILED;
    void* entries = MAP_FAILED;
    size_t sqRingSize = 0, cqRingSize = 0, sqesSize = 0;
    io_uring_sqe* sqes = nullptr;
    io_uring_cqe* cqes = nullptr;
    unsigned *sqTail = nullptr, *cqHead = nullptr, *cqTail = nullptr;
    unsigned sqEntries = 0, sqMask = 0, tail = 0, cqEntries = 0, cqMask = 0;
    unsigned queued = 0;   // in the submission queue, not yet handed over
    unsigned inFlight = 0; // handed over, not yet reaped
};

OverlappedFile* AsOverlappedFile(HANDLE handle)
{
    return dynamic_cast<OverlappedFile*>(ObjectOfHandle(handle));
}

} // namespace

void PlatformRefuseIoRings(bool refuse)
{
    ringsRefused = refuse;
}

int _fileno(FILE* file)
{
    return fileno(file);
}
int64_t _lseeki64(int descriptor, int64_t offset, int origin)
{
    return int64_t(lseek(descriptor, off_t(offset), origin));
}
intptr_t _get_osfhandle(int descriptor)
{
    return reinterpret_cast<intptr_t>(HandleOfDescriptor(descriptor));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED overlapped)
{
    if (OverlappedFile* reopened = AsOverlappedFile(file)) {
        if (!overlapped) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        return reopened->Read(buffer, count, read, overlapped);
    }
    const int descriptor = DescriptorOfHandle(file);
    if (descriptor < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const ssize_t got =
        overlapped ? pread(descriptor, buffer, count, OffsetOf(overlapped)) : ::read(descriptor, buffer, count);
    if (read)
        *read = got > 0 ? DWORD(got) : 0;
    if (got < 0) {
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
    }
    if (got == 0 && overlapped && count > 0) {
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
    }
    return TRUE;
}

HANDLE ReOpenFile(HANDLE original, DWORD access, DWORD, DWORD flags)
{
    const int source = DescriptorOfHandle(original);
    if (source < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    if (access != GENERIC_READ || !(flags & FILE_FLAG_OVERLAPPED)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int descriptor = fcntl(source, F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0) {
        SetLastError(errno == EMFILE ? ERROR_TOO_MANY_OPEN_FILES : ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    auto* file = new (std::nothrow) OverlappedFile(descriptor);
    if (!file) {
        close(descriptor);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    return static_cast<HandleObject*>(file);
}

BOOL GetOverlappedResult(HANDLE file, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    OverlappedFile* reopened = AsOverlappedFile(file);
    if (!reopened || !overlapped) {
        SetLastError(reopened ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return reopened->Result(overlapped, transferred, wait != FALSE);
}
