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

// Everything one hash call reads and hashes with; lives for the call only.
class CChunkHasher final
{
public:
    CChunkHasher(CHashInputFile& file, std::uint8_t* buffer, bool twoHalves, int threads,
                 std::uint64_t blockSize, std::uint64_t expected)
        : m_file(file), m_pBuffer(buffer), m_twoHalves(twoHalves), m_threads(threads), m_expected(expected)
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
        const std::size_t pieces = length / m_pieceSize;
        const std::size_t extra = pAlsoDo != nullptr ? 1 : 0;
        std::array<CTigerDigest, MaxLeavesPerChunk> digests;
        const std::size_t leavesPerPiece = m_pieceSize / LeafSize;
        const std::function<void(std::size_t)> work = [&](std::size_t i) {
            if (i < extra)
                (*pAlsoDo)();
            else
                digests[i - extra] = TigerFullSubtreeHash(data + (i - extra) * m_pieceSize, leavesPerPiece);
        };
        Workers().Run(pieces + extra, work);
        for (std::size_t i = 0; i < pieces; ++i)
            tree.AddSubtree(digests[i], m_pieceSize);

        // Only the end of the file leaves less than a piece: its leaves join one by one.
        const std::uint8_t* rest = data + pieces * m_pieceSize;
        std::size_t restLength = length - pieces * m_pieceSize;
        const std::size_t fullLeaves = restLength / LeafSize;
        TigerFullLeafHashes(rest, fullLeaves, digests.data());
        for (std::size_t i = 0; i < fullLeaves; ++i)
            tree.AddSubtree(digests[i], LeafSize);
        rest += fullLeaves * LeafSize;
        restLength -= fullLeaves * LeafSize;
        if (restLength != 0)
            tree.AddLeaf(rest, restLength);
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
    CTthHashResult result;
    CHashInputFile file;
    if (const int error = file.Open(nativePath); error != 0)
    {
        result.error = error;
        return result;
    }
    // Both halves of the buffer let reading overlap hashing; with only one chunk's worth of
    // memory the file is still hashed, reading and hashing in turn and through the cache.
    CAlignedBuffer buffer(2 * ChunkSize);
    std::unique_ptr<std::uint8_t[]> fallback;
    std::uint8_t* data = buffer.Data();
    const bool twoHalves = !buffer.IsEmpty();
    if (!twoHalves)
    {
        fallback.reset(new (std::nothrow) std::uint8_t[ChunkSize]);
        data = fallback.get();
        if (data == nullptr)
        {
            result.error = ENOMEM;
            return result;
        }
    }

    std::optional<CTigerTree> finished;
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
        CChunkHasher hasher(file, data, twoHalves, m_threads, result.blockSize, expected);
        EReadOutcome outcome = EReadOutcome::Failed;
        if (m_mode == ETthReadMode::Auto && twoHalves && ChunkFitsAlignment(file.DirectAlignment()) &&
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
