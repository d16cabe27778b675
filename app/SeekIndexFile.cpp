// The seek index on disk: its key, writing it whole and reading it part by part.
#include "app/SeekIndexFile.h"

#include "app/ShowClock.h"

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/murmur3.h>
#include <libavutil/sha.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <elf.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <link.h>
#include <map>
#include <stdexcept>
#include <sys/stat.h>
#include <type_traits>
#include <unistd.h>

namespace fs = std::filesystem;

static_assert(std::is_trivially_copyable<ShowState>::value,
              "a show's state is stored as its bytes");

namespace {

using Sum = std::array<uint8_t, 16>;

constexpr char magic[8] = {'D', 'E', 'M', 'O', 'S', 'E', 'E', 'K'};
constexpr uint32_t formatVersion = 1;
constexpr size_t headerBytes = 128;
constexpr size_t blobEntryBytes = 40;
constexpr size_t snapshotEntryBytes = 8 + 8 + 16 + 4 * showBufferCount;
// A stored buffer is never larger than zstd's bound for a whole buffer; this is well above it.
constexpr uint64_t largestBlob = 2 * static_cast<uint64_t>(bufferBytes);

struct Murmur {
    Murmur() : context(av_murmur3_alloc()) {
        if (context == nullptr) throw std::bad_alloc();
        av_murmur3_init(context);
    }
    ~Murmur() { av_free(context); }
    Murmur(const Murmur&) = delete;
    Murmur& operator=(const Murmur&) = delete;
    void add(const uint8_t* bytes, size_t count) { av_murmur3_update(context, bytes, count); }
    Sum sum() {
        Sum out{};
        av_murmur3_final(context, out.data());
        return out;
    }
    AVMurMur3* context;
};

Sum checksum(const uint8_t* bytes, size_t count) {
    Murmur murmur;
    murmur.add(bytes, count);
    return murmur.sum();
}

class Sha256 {
  public:
    Sha256() : context(av_sha_alloc()) {
        if (context == nullptr) throw std::bad_alloc();
        av_sha_init(context, 256);
    }
    ~Sha256() { av_free(context); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const uint8_t* bytes, size_t count) { av_sha_update(context, bytes, count); }
    void add(const std::string& text) {
        add(reinterpret_cast<const uint8_t*>(text.data()), text.size() + 1); // with its end
    }
    SeekFileKey digest() {
        SeekFileKey out{};
        av_sha_final(context, out.data());
        return out;
    }

  private:
    AVSHA* context;
};

std::string hex(const uint8_t* bytes, size_t count) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

template <class T> void put(uint8_t* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

template <class T> T get(const uint8_t* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// The GNU build-id note of the program's own executable, in hex; "" without one.
int findBuildId(dl_phdr_info* info, size_t, void* found) {
    auto& text = *static_cast<std::string*>(found);
    // The first object listed is the executable.
    for (int h = 0; h < info->dlpi_phnum; ++h) {
        const ElfW(Phdr)& header = info->dlpi_phdr[h];
        if (header.p_type != PT_NOTE) continue;
        const auto* at = reinterpret_cast<const uint8_t*>(info->dlpi_addr + header.p_vaddr);
        const uint8_t* const end = at + header.p_memsz;
        while (end - at >= static_cast<std::ptrdiff_t>(sizeof(ElfW(Nhdr)))) {
            ElfW(Nhdr) note;
            std::memcpy(&note, at, sizeof note);
            const size_t nameSpace = (note.n_namesz + 3u) & ~size_t{3};
            const size_t descSpace = (note.n_descsz + 3u) & ~size_t{3};
            const uint8_t* const name = at + sizeof note;
            if (static_cast<size_t>(end - name) < nameSpace + descSpace) break;
            if (note.n_type == NT_GNU_BUILD_ID && note.n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0 && note.n_descsz > 0) {
                text = hex(name + nameSpace, note.n_descsz);
                return 1;
            }
            at = name + nameSpace + descSpace;
        }
    }
    return 1;
}

// Reads count bytes at offset; false at the file's end or on an error.
bool readFully(int fd, uint64_t offset, uint8_t* out, size_t count) {
    while (count > 0) {
        const ssize_t n = pread(fd, out, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        out += n;
        offset += static_cast<uint64_t>(n);
        count -= static_cast<size_t>(n);
    }
    return true;
}

bool isAbsolute(const char* path) {
    return path != nullptr && path[0] == '/';
}

} // namespace

std::string programBuildIdentity() {
    std::string id;
    dl_iterate_phdr(findBuildId, &id);
    if (!id.empty()) return "build-id " + id;
    std::ifstream exe("/proc/self/exe", std::ios::binary);
    if (!exe) return "";
    Sha256 sha;
    std::vector<char> block(1 << 16);
    while (exe.read(block.data(), static_cast<std::streamsize>(block.size())) || exe.gcount() > 0)
        sha.add(reinterpret_cast<const uint8_t*>(block.data()), static_cast<size_t>(exe.gcount()));
    const SeekFileKey digest = sha.digest();
    return "exe " + hex(digest.data(), digest.size());
}

SeekFileKey seekFileKey(const std::vector<uint8_t>& packBytes, const Show& prepared,
                        const std::string& buildIdentity) {
    Sha256 pack;
    pack.add(packBytes.data(), packBytes.size());
    const SeekFileKey packDigest = pack.digest();
    // The prepared buffers tell what the picture decoder made of the pack.
    Murmur pictures;
    for (int number = 0; number < showBufferCount; ++number)
        pictures.add(showBuffer(prepared.pictures, number), bufferBytes);
    const Sum picturesDigest = pictures.sum();
    Sha256 key;
    key.add("seek index of a pack, its pictures and a build");
    key.add(packDigest.data(), packDigest.size());
    key.add(picturesDigest.data(), picturesDigest.size());
    key.add(buildIdentity);
    return key.digest();
}

std::string seekFileFolder(const std::string& program) {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (isAbsolute(cache)) return std::string(cache) + "/" + program;
    const char* home = std::getenv("HOME");
    if (isAbsolute(home)) return std::string(home) + "/.cache/" + program;
    return "";
}

std::string seekFilePath(const std::string& folder, const SeekFileKey& key) {
    return folder + "/" + hex(key.data(), 16) + ".seek";
}

bool writeSeekIndexFile(const std::string& path, const SeekFileKey& key,
                        const std::vector<ShowSnapshot>& snapshots, std::string& why,
                        const std::atomic<bool>* stop) {
    if (snapshots.empty()) {
        why = "no snapshot to write";
        return false;
    }
    std::error_code error;
    const fs::path target(path);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), error);
    const std::string temporary = path + ".part-" + std::to_string(getpid());
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        why = "cannot write " + temporary + ": " + std::strerror(errno);
        return false;
    }
    bool ok = true;
    bool abandoned = false;
    const auto write = [&](const uint8_t* bytes, size_t count) {
        ok = ok && std::fwrite(bytes, 1, count, file) == count;
    };
    // The buffers, each once, in the order the snapshots first name them.
    std::map<const PackedBuffer*, uint32_t> numbers;
    std::vector<uint8_t> blobTable;
    uint64_t offset = headerBytes;
    const std::vector<uint8_t> header(headerBytes, 0);
    write(header.data(), header.size());
    for (const ShowSnapshot& snapshot : snapshots) {
        for (const auto& buffer : snapshot.buffers) {
            if (buffer == nullptr) {
                why = "a snapshot without all its buffers";
                abandoned = true;
                break;
            }
            if (!numbers.emplace(buffer.get(), static_cast<uint32_t>(numbers.size())).second)
                continue;
            const std::vector<uint8_t>& bytes = buffer->storedBytes();
            uint8_t entry[blobEntryBytes] = {};
            put<uint64_t>(entry, offset);
            put<uint64_t>(entry + 8, bytes.size());
            put<uint32_t>(entry + 16, static_cast<uint32_t>(buffer->storedRows()));
            const Sum sum = checksum(bytes.data(), bytes.size());
            std::memcpy(entry + 24, sum.data(), sum.size());
            blobTable.insert(blobTable.end(), entry, entry + blobEntryBytes);
            write(bytes.data(), bytes.size());
            offset += bytes.size();
        }
        if (stop != nullptr && stop->load()) {
            why = "stopped";
            abandoned = true;
        }
        if (!ok || abandoned) break;
    }
    std::vector<uint8_t> snapshotTable;
    for (const ShowSnapshot& snapshot : snapshots) {
        if (!ok || abandoned) break;
        uint8_t entry[snapshotEntryBytes] = {};
        put<int64_t>(entry, snapshot.frame);
        put<uint64_t>(entry + 8, offset);
        const auto* state = reinterpret_cast<const uint8_t*>(&snapshot.state);
        const Sum sum = checksum(state, sizeof(ShowState));
        std::memcpy(entry + 16, sum.data(), sum.size());
        for (int number = 0; number < showBufferCount; ++number)
            put<uint32_t>(entry + 32 + 4 * number, numbers.at(snapshot.buffers[number].get()));
        snapshotTable.insert(snapshotTable.end(), entry, entry + snapshotEntryBytes);
        write(state, sizeof(ShowState));
        offset += sizeof(ShowState);
    }
    const uint64_t tableOffset = offset;
    std::vector<uint8_t> table = blobTable;
    table.insert(table.end(), snapshotTable.begin(), snapshotTable.end());
    write(table.data(), table.size());
    uint8_t head[headerBytes] = {};
    std::memcpy(head, magic, sizeof magic);
    put<uint32_t>(head + 8, formatVersion);
    put<uint32_t>(head + 12, sizeof(ShowState));
    std::memcpy(head + 16, key.data(), key.size());
    put<uint32_t>(head + 48, showBufferCount);
    put<uint32_t>(head + 52, bufferBytes);
    put<uint32_t>(head + 56, static_cast<uint32_t>(snapshots.size()));
    put<uint32_t>(head + 60, static_cast<uint32_t>(numbers.size()));
    put<uint64_t>(head + 64, tableOffset);
    put<uint64_t>(head + 72, tableOffset + table.size());
    const Sum tableSum = checksum(table.data(), table.size());
    std::memcpy(head + 80, tableSum.data(), tableSum.size());
    const Sum headSum = checksum(head, 96);
    std::memcpy(head + 96, headSum.data(), headSum.size());
    ok = ok && std::fseek(file, 0, SEEK_SET) == 0;
    write(head, headerBytes);
    ok = ok && !abandoned && std::fflush(file) == 0 && fsync(fileno(file)) == 0;
    const int writeError = errno;
    ok = (std::fclose(file) == 0) && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    if (!abandoned) why = "cannot write " + path + ": " + std::strerror(ok ? errno : writeError);
    std::remove(temporary.c_str());
    return false;
}

void pruneSeekIndexFiles(const std::string& folder, size_t keep, const std::string& spared) {
    std::error_code error;
    std::vector<std::pair<fs::file_time_type, fs::path>> files;
    const auto dayAgo = fs::file_time_type::clock::now() - std::chrono::hours(24);
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& path = it->path();
        // What a writer that never finished left behind.
        if (path.filename().string().find(".seek.part-") != std::string::npos &&
            it->last_write_time(error) < dayAgo) {
            fs::remove(path, error);
            continue;
        }
        if (path.extension() != ".seek" || !it->is_regular_file(error)) continue;
        if (fs::path(spared) == path) continue;
        files.emplace_back(it->last_write_time(error), path);
    }
    if (files.size() + 1 <= keep) return;
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
        return a.first > b.first; // newest first
    });
    for (size_t i = keep > 0 ? keep - 1 : 0; i < files.size(); ++i)
        fs::remove(files[i].second, error);
}

struct SeekIndexFile::Blob {
    uint64_t offset = 0, bytes = 0;
    int rows = 0;
    Sum sum{};
};

struct SeekIndexFile::Entry {
    uint64_t stateOffset = 0;
    Sum stateSum{};
    std::array<uint32_t, showBufferCount> blobs{};
};

std::unique_ptr<SeekIndexFile> SeekIndexFile::open(const std::string& path, const SeekFileKey& key,
                                                   std::string& why, bool checkSums) {
    std::unique_ptr<SeekIndexFile> file(new SeekIndexFile);
    file->checkSums = checkSums;
    file->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file->fd < 0) {
        why = errno == ENOENT ? "there is none yet"
                              : std::string("unreadable: ") + std::strerror(errno);
        return nullptr;
    }
    struct stat info {};
    if (fstat(file->fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "not a regular file";
        return nullptr;
    }
    const auto size = static_cast<uint64_t>(info.st_size);
    uint8_t head[headerBytes];
    if (size < headerBytes || !readFully(file->fd, 0, head, headerBytes)) {
        why = "cut short: " + std::to_string(size) + " bytes, less than its header";
        return nullptr;
    }
    if (std::memcmp(head, magic, sizeof magic) != 0) {
        why = "not a seek index file";
        return nullptr;
    }
    if (checkSums && checksum(head, 96) != get<Sum>(head + 96)) {
        why = "damaged: its header does not match its checksum";
        return nullptr;
    }
    if (get<uint32_t>(head + 8) != formatVersion || get<uint32_t>(head + 12) != sizeof(ShowState) ||
        get<uint32_t>(head + 48) != showBufferCount || get<uint32_t>(head + 52) != bufferBytes) {
        why = "written by another kind of build (its format differs)";
        return nullptr;
    }
    if (std::memcmp(head + 16, key.data(), key.size()) != 0) {
        why = "made for another pack or build";
        return nullptr;
    }
    const uint32_t snapshotCount = get<uint32_t>(head + 56);
    const uint32_t blobCount = get<uint32_t>(head + 60);
    const uint64_t tableOffset = get<uint64_t>(head + 64);
    const uint64_t endOffset = get<uint64_t>(head + 72);
    if (endOffset != size) {
        why = (size < endOffset ? "cut short: " : "longer than written: ") + std::to_string(size) +
              " bytes of " + std::to_string(endOffset);
        return nullptr;
    }
    const uint64_t frameCount = static_cast<uint64_t>(videoFrameCount());
    if (snapshotCount == 0 || snapshotCount > frameCount || blobCount == 0 ||
        blobCount > uint64_t{snapshotCount} * showBufferCount || tableOffset < headerBytes ||
        tableOffset > size ||
        size - tableOffset != blobCount * blobEntryBytes + snapshotCount * snapshotEntryBytes) {
        why = "damaged: its counts do not fit its size";
        return nullptr;
    }
    std::vector<uint8_t> table(static_cast<size_t>(size - tableOffset));
    if (!readFully(file->fd, tableOffset, table.data(), table.size())) {
        why = "unreadable table";
        return nullptr;
    }
    if (checkSums && checksum(table.data(), table.size()) != get<Sum>(head + 80)) {
        why = "damaged: its table does not match its checksum";
        return nullptr;
    }
    const auto within = [tableOffset](uint64_t offset, uint64_t bytes) {
        return offset >= headerBytes && offset <= tableOffset && bytes <= tableOffset - offset;
    };
    file->blobs.resize(blobCount);
    for (uint32_t b = 0; b < blobCount; ++b) {
        const uint8_t* const at = table.data() + b * blobEntryBytes;
        Blob& blob = file->blobs[b];
        blob.offset = get<uint64_t>(at);
        blob.bytes = get<uint64_t>(at + 8);
        const uint32_t rows = get<uint32_t>(at + 16);
        blob.sum = get<Sum>(at + 24);
        if (!within(blob.offset, blob.bytes) || blob.bytes > largestBlob ||
            (rows != pictureHeight + 2 && rows != bufferBytes / (pictureWidth * 4))) {
            why = "damaged: a buffer lies outside it or has no size of one";
            return nullptr;
        }
        blob.rows = static_cast<int>(rows);
    }
    const uint8_t* at = table.data() + uint64_t{blobCount} * blobEntryBytes;
    for (uint32_t s = 0; s < snapshotCount; ++s, at += snapshotEntryBytes) {
        const auto frame = get<int64_t>(at);
        Entry entry;
        entry.stateOffset = get<uint64_t>(at + 8);
        entry.stateSum = get<Sum>(at + 16);
        for (int number = 0; number < showBufferCount; ++number)
            entry.blobs[number] = get<uint32_t>(at + 32 + 4 * number);
        const bool ascending = file->snapshotFrames.empty() || frame > file->snapshotFrames.back();
        const bool blobsKnown = std::all_of(entry.blobs.begin(), entry.blobs.end(),
                                            [blobCount](uint32_t b) { return b < blobCount; });
        if (frame < 0 || static_cast<uint64_t>(frame) >= frameCount || !ascending || !blobsKnown ||
            !within(entry.stateOffset, sizeof(ShowState))) {
            why = "damaged: a snapshot out of order or outside it";
            return nullptr;
        }
        file->snapshotFrames.push_back(frame);
        file->entries.push_back(entry);
    }
    file->fileBytes = size;
    file->unpacked.resize(blobCount);
    return file;
}

SeekIndexFile::~SeekIndexFile() {
    if (fd >= 0) ::close(fd);
}

int SeekIndexFile::nearestAtOrBefore(int64_t frame) const {
    const auto after = std::upper_bound(snapshotFrames.begin(), snapshotFrames.end(), frame);
    return static_cast<int>(after - snapshotFrames.begin()) - 1;
}

void SeekIndexFile::readAt(uint64_t offset, uint8_t* out, size_t count) const {
    if (!readFully(fd, offset, out, count))
        throw std::runtime_error("the seek index file could not be read");
}

ShowSnapshot SeekIndexFile::read(size_t number) {
    if (number >= entries.size()) throw std::out_of_range("no such snapshot in the file");
    const Entry& entry = entries[number];
    ShowSnapshot snapshot;
    snapshot.frame = snapshotFrames[number];
    std::vector<uint8_t> state(sizeof(ShowState));
    readAt(entry.stateOffset, state.data(), state.size());
    if (checkSums && checksum(state.data(), state.size()) != entry.stateSum)
        throw std::runtime_error("a snapshot's state does not match its checksum");
    std::memcpy(static_cast<void*>(&snapshot.state), state.data(), state.size());
    // The flags must hold a flag's bytes before they are read as flags (these two are all the
    // flags of a show's state).
    for (const bool* flag :
         {&snapshot.state.scene.canvasSaved, &snapshot.state.effects.pixelCrawl.crawlBlendOn}) {
        uint8_t byte;
        std::memcpy(&byte, flag, 1);
        if (byte > 1) throw std::runtime_error("a snapshot's state holds no flag where one is");
    }
    for (int bufferNumber = 0; bufferNumber < showBufferCount; ++bufferNumber) {
        const uint32_t b = entry.blobs[bufferNumber];
        if (unpacked[b] == nullptr) {
            const Blob& blob = blobs[b];
            std::vector<uint8_t> bytes(static_cast<size_t>(blob.bytes));
            readAt(blob.offset, bytes.data(), bytes.size());
            if (checkSums && checksum(bytes.data(), bytes.size()) != blob.sum)
                throw std::runtime_error("a stored buffer does not match its checksum");
            unpacked[b] = std::make_shared<const PackedBuffer>(blob.rows, std::move(bytes));
        }
        snapshot.buffers[bufferNumber] = unpacked[b];
    }
    return snapshot;
}
