#include "media/Mpeg4Headers.h"

#include <cstring>

namespace zarvex::media {

int VopType(const uint8_t* data, int size) {
    for (int i = 0; i + 4 < size; ++i)
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && data[i + 3] == 0xB6)
            return data[i + 4] >> 6;
    return -1;
}

// Looks for the start codes' 01 bytes with memchr: every packet of a stream passes here.
bool SeveralVops(const uint8_t* data, int size) {
    int found = 0;
    const uint8_t* end = data + size;
    for (const uint8_t* p = data + 2; p + 1 < end; ++p) {
        p = static_cast<const uint8_t*>(std::memchr(p, 1, size_t(end - 1 - p)));
        if (!p)
            return false;
        if (p[-2] == 0 && p[-1] == 0 && p[1] == 0xB6 && ++found == 2)
            return true;
    }
    return false;
}

namespace {

// Reads an MPEG-4 part 2 header field by field, most significant bit first; zeros past the end.
struct TBitReader {
    const uint8_t* Data;
    size_t Size, Pos = 0;
    uint32_t Get(int bits) {
        uint32_t v = 0;
        for (; bits > 0; --bits, ++Pos)
            v = (v << 1) | (Pos / 8 < Size ? (Data[Pos / 8] >> (7 - Pos % 8)) & 1 : 0);
        return v;
    }
};

} // namespace

// The layer header's fields up to the flag, in their order.
bool Mpeg4Interlaced(const AVCodecParameters& par) {
    const uint8_t* d = par.extradata;
    const size_t size = par.extradata ? size_t(par.extradata_size) : 0;
    size_t at = 0;
    while (at + 4 < size &&
           !(d[at] == 0 && d[at + 1] == 0 && d[at + 2] == 1 && (d[at + 3] & 0xF0) == 0x20))
        ++at;
    if (at + 4 >= size)
        return false;
    TBitReader r{d + at + 4, size - at - 4};
    r.Get(9); // random access, object type
    int verid = 1;
    if (r.Get(1)) {
        verid = int(r.Get(4));
        r.Get(3);
    }
    if (r.Get(4) == 15) // extended pixel aspect ratio
        r.Get(16);
    if (r.Get(1)) { // chroma format, low delay, buffer parameters
        r.Get(3);
        if (r.Get(1))
            r.Get(79);
    }
    const uint32_t shape = r.Get(2);
    if (shape == 3 && verid != 1)
        r.Get(4);
    r.Get(1);
    const uint32_t resolution = r.Get(16);
    r.Get(1);
    if (r.Get(1)) {
        int bits = 1;
        while (bits < 16 && (1u << bits) < resolution)
            ++bits;
        r.Get(bits);
    }
    if (shape == 2) // binary only: no picture
        return false;
    if (shape == 0)
        r.Get(29); // width and height between markers
    return r.Get(1) != 0;
}

} // namespace zarvex::media
