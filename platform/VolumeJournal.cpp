#include "platform/VolumeJournal.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <vector>

#include "platform/Debug.h"

namespace {

constexpr std::uint32_t kWalMagicLittle = 0x377f0682;
constexpr std::uint32_t kWalMagicBig = 0x377f0683;
constexpr size_t kWalHeaderSize = 32;
constexpr size_t kFrameHeaderSize = 24;
constexpr size_t kDatabaseHeaderSize = 100;
constexpr size_t kUserVersionOffset = 60;
constexpr size_t kApplicationIdOffset = 68;
constexpr char kDatabaseMagic[] = "SQLite format 3";

std::uint32_t BigEndian32(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
           std::uint32_t{bytes[3]};
}

std::uint32_t LittleEndian32(const unsigned char* bytes)
{
    return (std::uint32_t{bytes[3]} << 24) | (std::uint32_t{bytes[2]} << 16) | (std::uint32_t{bytes[1]} << 8) |
           std::uint32_t{bytes[0]};
}

// The journal's running checksum: pairs of 32-bit words, in the byte order
// the journal's magic number names.
struct CWalChecksum {
    bool bigEndian = true;
    std::uint32_t s0 = 0;
    std::uint32_t s1 = 0;

    void Add(const unsigned char* data, size_t size)
    {
        for (size_t at = 0; at + 8 <= size; at += 8) {
            const std::uint32_t x0 = bigEndian ? BigEndian32(data + at) : LittleEndian32(data + at);
            const std::uint32_t x1 = bigEndian ? BigEndian32(data + at + 4) : LittleEndian32(data + at + 4);
            s0 += x0 + s1;
            s1 += x1 + s0;
        }
    }
    bool Matches(const unsigned char* stored) const { return BigEndian32(stored) == s0 && BigEndian32(stored + 4) == s1; }
};

struct CHeaderIds {
    std::uint32_t userVersion = 0;
    std::uint32_t applicationId = 0;
    bool operator==(const CHeaderIds&) const = default;
};

CHeaderIds IdsOfHeaderPage(const unsigned char* page)
{
    return {BigEndian32(page + kUserVersionOffset), BigEndian32(page + kApplicationIdOffset)};
}

std::optional<CHeaderIds> ReadDatabaseHeader(const std::string& volumePath)
{
    std::ifstream file(volumePath, std::ios::binary);
    unsigned char header[kDatabaseHeaderSize];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header) ||
        std::memcmp(header, kDatabaseMagic, sizeof kDatabaseMagic) != 0)
        return std::nullopt;
    return IdsOfHeaderPage(header);
}

// What the committed part of a journal says about the header page.
struct CJournalContents {
    bool committed = false;                // at least one committed transaction
    bool everyTransactionHasHeader = true; // each committed transaction rewrote page 1
    std::optional<CHeaderIds> headerIds;   // page 1 as the last committed transaction left it
    std::vector<CHeaderIds> otherIds;      // page 1 as earlier committed transactions left it
};

std::optional<CJournalContents> ReadJournal(const std::string& walPath)
{
    std::ifstream file(walPath, std::ios::binary);
    unsigned char header[kWalHeaderSize];
    if (!file.read(reinterpret_cast<char*>(header), sizeof header))
        return std::nullopt;
    const std::uint32_t magic = BigEndian32(header);
    const std::uint32_t pageSize = BigEndian32(header + 8);
    if ((magic != kWalMagicLittle && magic != kWalMagicBig) || pageSize < 512 || pageSize > 65536 ||
        (pageSize & (pageSize - 1)) != 0)
        return std::nullopt;
    CWalChecksum checksum;
    checksum.bigEndian = magic == kWalMagicBig;
    checksum.Add(header, 24);
    if (!checksum.Matches(header + 24))
        return std::nullopt; // SQLite ignores such a journal

    CJournalContents contents;
    std::vector<unsigned char> frame(kFrameHeaderSize + pageSize);
    std::optional<CHeaderIds> pendingHeader;
    while (file.read(reinterpret_cast<char*>(frame.data()), static_cast<std::streamsize>(frame.size()))) {
        if (std::memcmp(frame.data() + 8, header + 16, 8) != 0)
            break; // another generation's frame
        checksum.Add(frame.data(), 8);
        checksum.Add(frame.data() + kFrameHeaderSize, pageSize);
        if (!checksum.Matches(frame.data() + 16))
            break; // a torn or stale frame ends what SQLite replays
        if (BigEndian32(frame.data()) == 1)
            pendingHeader = IdsOfHeaderPage(frame.data() + kFrameHeaderSize);
        if (BigEndian32(frame.data() + 4) != 0) { // a commit frame ends a transaction
            contents.committed = true;
            if (!pendingHeader)
                contents.everyTransactionHasHeader = false;
            else {
                if (contents.headerIds)
                    contents.otherIds.push_back(*contents.headerIds);
                contents.headerIds = pendingHeader;
            }
            pendingHeader.reset();
        }
    }
    return contents;
}

} // namespace

std::uint32_t ReadVolumeIdentity(const std::string& volumePath)
{
    const auto ids = ReadDatabaseHeader(volumePath);
    return ids ? ids->userVersion : 0;
}

CJournalVerdict CheckVolumeJournal(const std::string& volumePath)
{
    const auto volumeIds = ReadDatabaseHeader(volumePath);
    if (!volumeIds || volumeIds->userVersion == 0)
        return CJournalVerdict::Unknown;
    const auto journal = ReadJournal(volumePath + "-wal");
    if (!journal || !journal->committed)
        return CJournalVerdict::Ours;
    bool foreign = !journal->everyTransactionHasHeader || !(*journal->headerIds == *volumeIds);
    for (const CHeaderIds& ids : journal->otherIds)
        foreign = foreign || !(ids == *volumeIds);
    return foreign ? CJournalVerdict::Foreign : CJournalVerdict::Ours;
}

bool SetForeignJournalAside(const std::string& volumePath)
{
    namespace fs = std::filesystem;
    std::error_code error;
    const std::string journal = volumePath + "-wal";
    std::string kept = journal + ".foreign";
    for (int n = 1; fs::exists(kept, error); ++n)
        kept = journal + ".foreign." + std::to_string(n);
    fs::rename(journal, kept, error);
    if (error) {
        DebugLogF("CPropertyVolume", "cannot move the foreign journal %s aside: %s", journal.c_str(),
                  error.message().c_str());
        return false;
    }
    fs::remove(volumePath + "-shm", error);
    DebugLogF("CPropertyVolume", "a journal written for another volume was kept as %s, not replayed", kept.c_str());
    return true;
}
