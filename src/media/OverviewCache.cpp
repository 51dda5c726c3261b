#include "media/OverviewCache.h"

#include "support/Endian.h"
#include "support/OSFile.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace zarvex::media {

namespace {

constexpr uint32_t Magic = 0x564f5a58; // "XZOV"
constexpr uint32_t Version = 1;
constexpr uint32_t NotDone = 0xFFFFFFFFu;
constexpr int64_t MaxFile = int64_t(1) << 30;

uint64_t Fnv(const uint8_t* p, size_t n) {
    uint64_t h = 14695981039346656037ull;
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 1099511628211ull;
    return h;
}

struct TWriter {
    std::vector<uint8_t> Out;
    void U32(uint32_t v) {
        const size_t at = Out.size();
        Out.resize(at + 4);
        PutU32(Out.data() + at, v);
    }
    void U64(uint64_t v) {
        U32(uint32_t(v));
        U32(uint32_t(v >> 32));
    }
    void Bytes(const void* p, size_t n) {
        const uint8_t* b = static_cast<const uint8_t*>(p);
        Out.insert(Out.end(), b, b + n);
    }
};

// Every read is checked against what is left, so a damaged file cannot drive an allocation.
struct TReader {
    const uint8_t* P;
    size_t Left;
    bool Ok = true;
    bool Need(size_t n) {
        Ok = Ok && n <= Left;
        return Ok;
    }
    uint32_t U32() {
        if (!Need(4))
            return 0;
        const uint32_t v = GetU32(P);
        P += 4;
        Left -= 4;
        return v;
    }
    uint64_t U64() {
        const uint64_t lo = U32();
        return lo | uint64_t(U32()) << 32;
    }
    template <class T> bool Bytes(std::vector<T>& v, size_t n) {
        if (!Need(n))
            return false;
        v.assign(reinterpret_cast<const T*>(P), reinterpret_cast<const T*>(P) + n);
        P += n;
        Left -= n;
        return true;
    }
};

void PutKey(TWriter& w, const TOverviewCacheKey& key) {
    w.U32(Magic);
    w.U32(Version);
    w.U64(key.Size);
    w.U64(uint64_t(key.ModifiedNs));
    w.U32(uint32_t(key.Path.size()));
    w.Bytes(key.Path.data(), key.Path.size());
    w.U32(key.KeyFrames);
    w.U32(key.PeakBlocks);
}

bool ReadBody(TReader& r, const TOverviewCacheKey& key, TOverviewSnapshot& s) {
    TWriter expected;
    PutKey(expected, key);
    std::vector<uint8_t> head;
    if (!r.Bytes(head, expected.Out.size()) || head != expected.Out)
        return false;
    s.Pictures.resize(key.KeyFrames);
    s.PictureDone.assign(key.KeyFrames, 0);
    for (uint32_t i = 0; i < key.KeyFrames && r.Ok; ++i) {
        const uint32_t n = r.U32();
        if (n != NotDone && r.Bytes(s.Pictures[i], n))
            s.PictureDone[i] = 1;
    }
    s.SampleRate = int(r.U32());
    const uint64_t buckets = r.U64();
    if (!r.Ok || buckets > r.Left / 2)
        return false;
    r.Bytes(s.Low, size_t(buckets));
    r.Bytes(s.High, size_t(buckets));
    r.Bytes(s.BlockDone, key.PeakBlocks);
    return r.Ok && r.Left == 0;
}

} // namespace

bool OverviewCacheKeyOf(const std::string& path, TOverviewCacheKey& key) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    key.Path = ec ? path : full.lexically_normal().string();
    key.Size = uint64_t(st.st_size);
    key.ModifiedNs = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

std::string OverviewCacheFile(const std::string& folder, const TOverviewCacheKey& key) {
    char name[32];
    std::snprintf(name, sizeof name, "%016llx.overview",
                  static_cast<unsigned long long>(
                      Fnv(reinterpret_cast<const uint8_t*>(key.Path.data()), key.Path.size())));
    return (std::filesystem::path(folder) / name).string();
}

bool LoadOverviewCache(const std::string& file, const TOverviewCacheKey& key,
                       TOverviewSnapshot& snapshot) {
    std::vector<uint8_t> bytes;
    try {
        TOSFile f = TOSFile::OpenRead(file);
        const int64_t size = f.Size();
        if (size < 8 || size > MaxFile)
            return false;
        bytes.resize(size_t(size));
        if (f.ReadAt(bytes.data(), size, 0) != size)
            return false;
    } catch (const std::exception&) {
        return false;
    }
    // The last eight bytes are the checksum of the rest.
    const size_t body = bytes.size() - 8;
    if (GetU64(bytes.data() + body) != Fnv(bytes.data(), body))
        return false;
    TReader r{bytes.data(), body};
    if (ReadBody(r, key, snapshot))
        return true;
    snapshot = TOverviewSnapshot{};
    return false;
}

void SaveOverviewCache(const std::string& file, const TOverviewCacheKey& key,
                       const TOverviewSnapshot& s) {
    TWriter w;
    PutKey(w, key);
    for (size_t i = 0; i < key.KeyFrames; ++i) {
        const bool done = i < s.PictureDone.size() && s.PictureDone[i];
        w.U32(done ? uint32_t(s.Pictures[i].size()) : NotDone);
        if (done)
            w.Bytes(s.Pictures[i].data(), s.Pictures[i].size());
    }
    w.U32(uint32_t(s.SampleRate));
    w.U64(s.Low.size());
    w.Bytes(s.Low.data(), s.Low.size());
    w.Bytes(s.High.data(), s.High.size());
    std::vector<uint8_t> blocks = s.BlockDone;
    blocks.resize(key.PeakBlocks, 0);
    w.Bytes(blocks.data(), blocks.size());
    w.U64(Fnv(w.Out.data(), w.Out.size()));
    // Two overviews of one file may save at once, in this process or another.
    static std::atomic<unsigned> saves{0};
    const std::string temp =
        file + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(saves++);
    try {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        TOSFile f = TOSFile::Create(temp);
        f.WriteAt(w.Out.data(), int64_t(w.Out.size()), 0);
        f.Close();
        std::filesystem::rename(temp, file);
    } catch (const std::exception&) {
        std::error_code ec;
        std::filesystem::remove(temp, ec);
        return;
    }
    PruneOverviewCache(std::filesystem::path(file).parent_path().string(), OverviewCacheLimit,
                       file);
}

void PruneOverviewCache(const std::string& folder, uintmax_t limit, const std::string& keep) {
    namespace fs = std::filesystem;
    struct TFile {
        fs::file_time_type Written;
        uintmax_t Size;
        fs::path Path;
    };
    std::vector<TFile> files;
    uintmax_t total = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code e;
        const fs::path& p = it->path();
        // The spots found in a recording live beside its overview and go the same way.
        if ((p.extension() != ".overview" && p.extension() != ".spots") || !it->is_regular_file(e))
            continue;
        const TFile f{it->last_write_time(e), it->file_size(e), p};
        if (e)
            continue;
        total += f.Size;
        if (p != fs::path(keep))
            files.push_back(f);
    }
    std::sort(files.begin(), files.end(),
              [](const TFile& a, const TFile& b) { return a.Written < b.Written; });
    for (const TFile& f : files) {
        if (total <= limit)
            break;
        if (fs::remove(f.Path, ec))
            total -= f.Size;
    }
}

} // namespace zarvex::media
