#include "hash/TthHashService.h"

#include "hash/Base32.h"
#include "hash/HashWorkers.h"
#include "hash/ReadAheadThread.h"
#include "hash/TigerTree.h"
#include "hash/TigerTreeHashing.h"
#include "platform/AlignedBuffer.h"
#include "platform/HashInputFile.h"
#include "platform/NativeName.h"

#include <QFile>

#include <algorithm>
#include <array>
#include <bit>
#include <cerrno>
#include <memory>
#include <optional>
#include <utility>

namespace
{
constexpr std::size_t ChunkSize = CTthHashService::ChunkSize;
constexpr std::size_t LeafSize = CTthHashService::LeafSize;
constexpr std::size_t MaxLeavesPerChunk = ChunkSize / LeafSize;

enum class EReadOutcome
{
    Done,
    Stopped,
    Failed,
    Shrunk, // the file ended before the size it had when opened
};

// Adds a chunk that starts at a multiple of pieceSize to the tree: whole pieces as subtrees (spread
// over the workers when there are any, which also run pAlsoDo), the rest leaf by leaf.
void HashChunkInto(CTigerTree& tree, const std::uint8_t* data, std::size_t length, std::size_t pieceSize,
                   CHashWorkers* pWorkers, const std::function<void()>* pAlsoDo)
{
    const std::size_t pieces = length / pieceSize;
    std::array<CTigerDigest, MaxLeavesPerChunk> digests;
    const std::size_t leavesPerPiece = pieceSize / LeafSize;
    if (pWorkers != nullptr)
    {
        const std::size_t extra = pAlsoDo != nullptr ? 1 : 0;
        const std::function<void(std::size_t)> work = [&](std::size_t i)
        {
            if (i < extra)
                (*pAlsoDo)();
            else
                digests[i - extra] = TigerFullSubtreeHash(data + (i - extra) * pieceSize, leavesPerPiece);
        };
        pWorkers->Run(pieces + extra, work);
    }
    else
    {
        for (std::size_t i = 0; i < pieces; ++i)
            digests[i] = TigerFullSubtreeHash(data + i * pieceSize, leavesPerPiece);
    }
    for (std::size_t i = 0; i < pieces; ++i)
        tree.AddSubtree(digests[i], pieceSize);

    // Only the end of the file leaves less than a piece: its leaves join one by one.
    const std::uint8_t* rest = data + pieces * pieceSize;
    std::size_t restLength = length - pieces * pieceSize;
    const std::size_t fullLeaves = restLength / LeafSize;
    TigerFullLeafHashes(rest, fullLeaves, digests.data());
    for (std::size_t i = 0; i < fullLeaves; ++i)
        tree.AddSubtree(digests[i], LeafSize);
    rest += fullLeaves * LeafSize;
    restLength -= fullLeaves * LeafSize;
    if (restLength != 0)
        tree.AddLeaf(rest, restLength);
}

// The chunk buffer of the small-file path: kept by each hashing thread from file to file, since
// mapping and faulting in fresh pages for every file costs more than reading a small one.
std::uint8_t* ThreadChunkBuffer()
{
    thread_local std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[ChunkSize]);
    return buffer.get();
}

// Reads and hashes a file below the parallel size on the calling thread, chunk after chunk,
// through the page cache.
EReadOutcome HashSmallFile(CHashInputFile& file, CTigerTree& tree, std::uint64_t expected,
                           const std::atomic<bool>& stop, const std::atomic<bool>* pCancel,
                           const std::function<void(std::uint64_t)>& observer, int& error)
{
    std::uint8_t* buffer = ThreadChunkBuffer();
    if (buffer == nullptr)
    {
        error = ENOMEM;
        return EReadOutcome::Failed;
    }
    const std::size_t pieceSize =
        static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, tree.BlockSize()));
    for (std::uint64_t offset = 0; offset < expected;)
    {
        if (stop.load(std::memory_order_relaxed) ||
            (pCancel != nullptr && pCancel->load(std::memory_order_relaxed)))
        {
            error = ECANCELED;
            return EReadOutcome::Stopped;
        }
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, expected - offset));
        const std::int64_t got = file.Read(offset, buffer, wanted, false);
        if (got < 0)
        {
            error = static_cast<int>(-got);
            return EReadOutcome::Failed;
        }
        // Nothing where the file had data: it was cut short behind the reading (as in the large
        // file path). Cut within this chunk, the file now ends here, and what was read is all of it.
        if (got == 0)
            return EReadOutcome::Shrunk;
        const auto length = static_cast<std::size_t>(got);
        if (observer)
            observer(offset + length);
        HashChunkInto(tree, buffer, length, pieceSize, nullptr, nullptr);
        offset += length;
        if (length < wanted)
            break;
    }
    if (stop.load(std::memory_order_relaxed) ||
        (pCancel != nullptr && pCancel->load(std::memory_order_relaxed)))
    {
        error = ECANCELED;
        return EReadOutcome::Stopped;
    }
    return EReadOutcome::Done;
}

// Everything one hash call reads and hashes with; lives for the call only.
class CChunkHasher final
{
public:
    CChunkHasher(CHashInputFile& file, std::uint8_t* buffer, bool twoHalves, int threads,
                 std::uint64_t blockSize, std::uint64_t expected,
                 const std::function<void(std::uint64_t)>& observer)
        : m_file(file), m_pBuffer(buffer), m_twoHalves(twoHalves), m_threads(threads), m_expected(expected),
          m_observer(observer)
    {
        // Each thread takes whole aligned subtrees of a chunk: they join the tree unchanged.
        // Two pieces per thread let the threads even out the time one of them spends reading.
        const std::size_t share = static_cast<std::size_t>(threads > 1 ? 2 * threads : 1);
        std::size_t piece = std::bit_floor(ChunkSize / share);
        piece = std::max<std::size_t>(piece, LeafSize);
        m_pieceSize = static_cast<std::size_t>(std::min<std::uint64_t>(piece, blockSize));
    }

    EReadOutcome Run(CTigerTree& tree, bool direct, const std::atomic<bool>& stop,
                     const std::atomic<bool>* pCancel)
    {
        auto stopped = [&] {
            return stop.load(std::memory_order_relaxed) ||
                   (pCancel != nullptr && pCancel->load(std::memory_order_relaxed));
        };
        m_directBytes = 0;
        m_error = 0;
        std::uint8_t* current = m_pBuffer + (m_twoHalves ? ChunkSize : 0);
        std::uint8_t* next = m_pBuffer;
        std::uint64_t offset = 0;
        std::int64_t got = ReadChunk(current, offset, direct);
        for (;;)
        {
            if (got < 0)
            {
                m_error = static_cast<int>(-got);
                return EReadOutcome::Failed;
            }
            // Nothing where the file had data: it was cut short behind the reading, possibly below
            // what has been hashed already, which the file then no longer holds.
            if (got == 0 && offset < m_expected)
                return EReadOutcome::Shrunk;
            const auto length = static_cast<std::size_t>(got);
            const bool more = length == ChunkSize && offset + length < m_expected;
            // With helper threads the read of the next chunk is one more item of the chunk's
            // job: whichever thread takes it reads, then hashes, and no thread sits idle.
            const bool readInJob = more && m_twoHalves && m_threads > 1;
            const std::function<void()> readNext = [this, next, offset, length, direct] {
                m_nextGot = ReadChunk(next, offset + length, direct);
            };
            if (more && m_twoHalves && !readInJob)
            {
                if (!m_readAhead)
                    m_readAhead = std::make_unique<CReadAheadThread>();
                m_readAhead->Start(readNext);
            }
            if (stopped())
            {
                if (m_readAhead)
                    m_readAhead->Wait();
                m_error = ECANCELED;
                return EReadOutcome::Stopped;
            }
            HashChunk(tree, current, length, readInJob ? &readNext : nullptr);
            if (!more)
                return EReadOutcome::Done;
            offset += length;
            if (m_twoHalves)
            {
                if (!readInJob)
                    m_readAhead->Wait();
                got = m_nextGot;
                std::swap(current, next);
            }
            else
            {
                got = ReadChunk(current, offset, direct);
            }
        }
    }

    int Error() const { return m_error; }
    std::uint64_t DirectBytes() const { return m_directBytes; }

private:
    // Reads the chunk at offset, never past the size the file had when it was opened. Direct
    // reads ask for a whole chunk, which keeps the length aligned, and keep only what is wanted.
    std::int64_t ReadChunk(std::uint8_t* destination, std::uint64_t offset, bool direct)
    {
        if (offset >= m_expected)
            return 0;
        const std::int64_t got = ReadChunkOnce(destination, offset, direct);
        if (m_observer && got > 0)
            m_observer(offset + static_cast<std::uint64_t>(got));
        return got;
    }

    std::int64_t ReadChunkOnce(std::uint8_t* destination, std::uint64_t offset, bool direct)
    {
        const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(ChunkSize, m_expected - offset));
        if (direct && !m_file.IsCached(offset, wanted))
        {
            const std::int64_t got = m_file.Read(offset, destination, ChunkSize, true);
            if (got > 0)
                m_directBytes += static_cast<std::uint64_t>(std::min<std::int64_t>(got, static_cast<std::int64_t>(wanted)));
            return got < 0 ? got : std::min<std::int64_t>(got, static_cast<std::int64_t>(wanted));
        }
        return m_file.Read(offset, destination, wanted, false);
    }

    void HashChunk(CTigerTree& tree, const std::uint8_t* data, std::size_t length,
                   const std::function<void()>* pAlsoDo)
    {
        HashChunkInto(tree, data, length, m_pieceSize, &Workers(), pAlsoDo);
    }

    CHashWorkers& Workers()
    {
        if (!m_pWorkers)
        {
            const bool worthIt = m_expected > m_pieceSize;
            m_pWorkers = std::make_unique<CHashWorkers>(worthIt ? m_threads - 1 : 0);
        }
        return *m_pWorkers;
    }

    CHashInputFile& m_file;
    std::uint8_t* m_pBuffer;
    bool m_twoHalves;
    int m_threads;
    std::uint64_t m_expected;
    const std::function<void(std::uint64_t)>& m_observer;
    std::size_t m_pieceSize;
    std::unique_ptr<CHashWorkers> m_pWorkers;
    std::unique_ptr<CReadAheadThread> m_readAhead;
    std::int64_t m_nextGot = 0;
    std::uint64_t m_directBytes = 0;
    int m_error = 0;
};
} // namespace

CTthHashService::CTthHashService(int threads, ETthReadMode mode)
    : m_threads(std::max(threads, 1)), m_mode(mode), m_stop(false)
{
}

void CTthHashService::Stop()
{
    m_stop.store(true, std::memory_order_relaxed);
}

std::uint64_t CTthHashService::BlockSizeFor(std::uint64_t fileSize)
{
    std::uint64_t blockSize = LeafSize;
    while (MaxBlocks * blockSize < fileSize)
        blockSize *= 2;
    return std::max(blockSize, MinBlockSize);
}

bool CTthHashService::ChunkFitsAlignment(std::size_t alignment)
{
    return alignment != 0 && ChunkSize % alignment == 0;
}

CTthHashResult CTthHashService::Hash(const std::string& nativePath, const std::atomic<bool>* pCancel) const
{
    CHashInputFile file;
    if (const int error = file.Open(nativePath); error != 0)
    {
        CTthHashResult result;
        result.error = error;
        return result;
    }
    return Hash(file, m_threads, pCancel);
}

CTthHashResult CTthHashService::Hash(CHashInputFile& file, int threads,
                                     const std::atomic<bool>* pCancel) const
{
    CTthHashResult result;
    result.opened = true;
    result.modifiedSecs = file.ModifiedSecs();
    threads = std::clamp(threads, 1, m_threads);
    std::optional<CTigerTree> finished;
    // Both halves of the buffer let reading overlap hashing; with only one chunk's worth of
    // memory the file is still hashed, reading and hashing in turn and through the cache.
    std::optional<CAlignedBuffer> buffer;
    std::unique_ptr<std::uint8_t[]> fallback;
    // A file cut short while it is read is hashed once more at its new size; cut short again, it
    // is being rewritten and counts as unreadable.
    for (int attempt = 0; !finished; ++attempt)
    {
        if (attempt > 0)
        {
            const int error = attempt == 1 ? file.Restat() : EIO;
            if (error != 0)
            {
                result.error = error;
                return result;
            }
        }
        const std::uint64_t expected = file.Size();
        result.blockSize = BlockSizeFor(expected);
        const bool large = expected >= ParallelFileMinimum;
        const bool wantDirect =
            m_mode == ETthReadMode::Direct || (m_mode == ETthReadMode::Auto && expected >= DirectFileMinimum);
        // A file that neither threads nor direct reads help is read and hashed on this thread alone.
        if ((!large || threads == 1) && !wantDirect)
        {
            CTigerTree tree(result.blockSize);
            int error = 0;
            const EReadOutcome outcome =
                HashSmallFile(file, tree, expected, m_stop, pCancel, m_readObserver, error);
            if (outcome == EReadOutcome::Done)
            {
                finished.emplace(std::move(tree));
                result.path = ETthReadPath::Buffered;
                result.directBytes = 0;
            }
            else if (outcome != EReadOutcome::Shrunk)
            {
                result.error = error;
                return result;
            }
            continue;
        }

        if (!buffer)
        {
            buffer.emplace(2 * ChunkSize);
            if (buffer->IsEmpty())
            {
                fallback.reset(new (std::nothrow) std::uint8_t[ChunkSize]);
                if (!fallback)
                {
                    result.error = ENOMEM;
                    return result;
                }
            }
        }
        const bool twoHalves = !buffer->IsEmpty();
        std::uint8_t* data = twoHalves ? buffer->Data() : fallback.get();
        CChunkHasher hasher(file, data, twoHalves, large ? threads : 1, result.blockSize, expected,
                            m_readObserver);
        EReadOutcome outcome = EReadOutcome::Failed;
        if (wantDirect && twoHalves && ChunkFitsAlignment(file.DirectAlignment()) &&
            (file.IsDirectOpen() || file.OpenDirect()))
        {
            CTigerTree tree(result.blockSize);
            outcome = hasher.Run(tree, true, m_stop, pCancel);
            if (outcome == EReadOutcome::Done)
            {
                finished.emplace(std::move(tree));
                result.path = ETthReadPath::Unbuffered;
            }
        }
        // The direct attempt, if any, failed part-way: start again through the cache.
        if (outcome == EReadOutcome::Failed)
        {
            CTigerTree tree(result.blockSize);
            outcome = hasher.Run(tree, false, m_stop, pCancel);
            if (outcome == EReadOutcome::Done)
            {
                finished.emplace(std::move(tree));
                result.path = ETthReadPath::Buffered;
            }
        }
        if (outcome == EReadOutcome::Stopped || outcome == EReadOutcome::Failed)
        {
            result.error = hasher.Error();
            return result;
        }
        result.directBytes = hasher.DirectBytes();
    }
    const CTigerDigest root = finished->Root();
    result.tth = Base32Encode(root.data(), root.size());
    result.blockCount = finished->BlockCount();
    result.bytesHashed = finished->Bytes();
    return result;
}

int CTthHashService::HashFile(const QString& path, QString& text, int capacity,
                              const std::atomic<bool>* pCancel) const
{
    text.clear();
    const CTthHashResult result = Hash(NativeName::ToBytes(path).toStdString(), pCancel);
    if (!result.Succeeded())
        return 0;
    const int length = static_cast<int>(result.tth.size());
    if (capacity >= length)
        text = QString::fromLatin1(result.tth.data(), length);
    return length;
}
