#include "avi_input/KeyFrameMpeg.h"

#include "avi_input/BitReader.h"

#include <algorithm>
#include <initializer_list>

namespace zarvex {

namespace {

// The bits of vop_time_increment as a VOL header gives them (0 when it cannot be read).
int VolTimeIncrementBits(const uint8_t* data, size_t size) {
    TBitReader bits(data, size);
    bits.Skip(1 + 8); // random_accessible_vol, video_object_type_indication
    uint32_t verid = 1;
    if (bits.Bit()) { // is_object_layer_identifier
        verid = bits.Read(4);
        bits.Skip(3);
    }
    if (bits.Read(4) == 15)
        bits.Skip(16); // extended pixel aspect ratio
    if (bits.Bit()) {  // vol_control_parameters
        bits.Skip(3);  // chroma_format, low_delay
        if (bits.Bit())
            bits.Skip(79); // vbv parameters with their markers
    }
    if (bits.Read(2) == 3 && verid != 1)
        bits.Skip(4); // grayscale shape extension
    bits.Skip(1);
    const uint32_t resolution = bits.Read(16);
    if (bits.Overrun() || resolution == 0)
        return 0;
    int count = 1;
    while ((1u << count) < resolution)
        ++count;
    return count;
}

// False only for a VOP that says it is not coded and is as short as such a placeholder is: a
// wrong bit count from a damaged VOL must not hide an I-VOP.
bool VopCoded(TBitReader& bits, int incrementBits, size_t vopBytes) {
    if (incrementBits == 0 || vopBytes > 16)
        return true;
    while (bits.Bit() == 1) // modulo_time_base
        ;
    bits.Skip(1 + incrementBits + 1);
    const uint32_t coded = bits.Bit();
    return bits.Overrun() || coded == 1;
}

// True when an SEI payload holds a recovery point message (type 6).
bool HasRecoveryPoint(const std::vector<uint8_t>& sei) {
    size_t i = 0;
    while (i + 1 < sei.size()) {
        uint32_t type = 0;
        uint64_t length = 0;
        for (; i < sei.size() && sei[i] == 0xFF; ++i)
            type += 255;
        if (i >= sei.size())
            return false;
        type += sei[i++];
        for (; i < sei.size() && sei[i] == 0xFF; ++i)
            length += 255;
        if (i >= sei.size())
            return false;
        length += sei[i++];
        if (type == 6)
            return true;
        i += size_t(std::min<uint64_t>(length, sei.size()));
    }
    return false;
}

// slice_type 2 and 7 are I slices; the header starts with first_mb_in_slice.
bool IsIntraSlice(const std::vector<uint8_t>& header) {
    TBitReader bits(header.data(), header.size());
    bits.Ue();
    const uint32_t type = bits.Ue();
    return !bits.Overrun() && (type == 2 || type == 7);
}

// Visits the NAL units of an Annex B byte stream until visit returns 0 or 1; -1 when none did.
template <typename F> int ForEachNal(const uint8_t* data, size_t size, F visit) {
    size_t start = AfterStartCode(data, size, 0);
    while (start < size) {
        const size_t next = AfterStartCode(data, size, start);
        const size_t end = next < size ? next - 3 : size;
        const int decision = visit(data + start, end - start);
        if (decision >= 0)
            return decision;
        start = next;
    }
    return -1;
}

// The same for NAL units behind big-endian lengths of lengthSize bytes (as in MP4).
template <typename F>
int ForEachSizedNal(const uint8_t* data, size_t size, int lengthSize, F visit) {
    size_t at = 0;
    while (size - at >= size_t(lengthSize)) {
        uint64_t length = 0;
        for (int i = 0; i < lengthSize; ++i)
            length = length << 8 | data[at++];
        const size_t available = size - at;
        const int decision = visit(data + at, size_t(std::min<uint64_t>(length, available)));
        if (decision >= 0 || length >= available)
            return decision;
        at += size_t(length);
    }
    return -1;
}

bool StartsWith(const uint8_t* data, size_t size, std::initializer_list<uint8_t> bytes) {
    return size >= bytes.size() && std::equal(bytes.begin(), bytes.end(), data);
}

// How this chunk frames its NAL units: 0 for start codes, else the bytes of each length. A chunk
// opening with 00 00 01 may also be a length of 256 to 511 bytes: the stream's framing decides.
int NalFraming(const uint8_t* data, size_t size, TKeyState& state) {
    if (StartsWith(data, size, {0, 0, 0, 1})) {
        if (state.NalLengthSize < 0)
            state.NalLengthSize = 0;
        return 0;
    }
    if (state.NalLengthSize >= 0)
        return state.NalLengthSize;
    // Learn lengths only from a length that is followed by a NAL header: a stream of start codes
    // may open with extra zero bytes.
    const bool sized = size > 4 && (data[0] | data[1] | data[2] | data[3]) != 0 &&
                       (data[4] & 0x80) == 0 && (data[4] & 0x1F) != 0 &&
                       !StartsWith(data, size, {0, 0, 1});
    if (sized)
        state.NalLengthSize = 4;
    return sized ? 4 : 0;
}

} // namespace

const std::vector<uint8_t>& Unescape(const uint8_t* nal, size_t size, size_t limit,
                                     std::vector<uint8_t>& out) {
    out.clear();
    int zeros = 0;
    for (size_t i = 0; i < size && out.size() < limit; ++i) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        out.push_back(nal[i]);
        zeros = nal[i] == 0 ? zeros + 1 : 0;
    }
    return out;
}

size_t AfterStartCode(const uint8_t* data, size_t size, size_t from) {
    for (size_t i = from; i + 3 <= size; ++i)
        if (data[i + 2] <= 1 && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            return i + 3;
    return size;
}

// picture_start_code, then 10 bits of temporal reference and 3 of picture_coding_type (1 = I).
bool Mpeg12IsKey(const uint8_t* data, size_t size) {
    for (size_t at = AfterStartCode(data, size, 0); at < size;
         at = AfterStartCode(data, size, at)) {
        if (data[at] != 0x00)
            continue;
        TBitReader bits(data + at + 1, size - at - 1);
        bits.Skip(10);
        const uint32_t type = bits.Read(3);
        return !bits.Overrun() && type == 1;
    }
    return false;
}

// Packed bitstreams put several VOPs in one chunk: the first coded one decides. Headers (VOS,
// VO, VOL, GOV, user data) before it do not count; a chunk without a coded VOP is a placeholder.
TPictureType Mpeg4PictureType(const uint8_t* data, size_t size, TKeyState& state) {
    for (size_t at = AfterStartCode(data, size, 0); at < size;) {
        const size_t next = AfterStartCode(data, size, at);
        const uint8_t code = data[at];
        if (code >= 0x20 && code <= 0x2F) {
            state.TimeIncrementBits = VolTimeIncrementBits(data + at + 1, size - at - 1);
        } else if (code == 0xB6) {
            TBitReader bits(data + at + 1, size - at - 1);
            const uint32_t type = bits.Read(2); // I, P, B, S(GMC)
            if (bits.Overrun())
                return TPictureType::None;
            if (VopCoded(bits, state.TimeIncrementBits, next - at))
                return type == 0   ? TPictureType::I
                       : type == 1 ? TPictureType::P
                       : type == 2 ? TPictureType::B
                                   : TPictureType::Other;
        }
        at = next;
    }
    return TPictureType::None;
}

bool Mpeg4IsKey(const uint8_t* data, size_t size, TKeyState& state) {
    return Mpeg4PictureType(data, size, state) == TPictureType::I;
}

TPictureType H264PictureType(const uint8_t* data, size_t size, TKeyState& state, bool& idr) {
    idr = false;
    TPictureType found = TPictureType::None;
    const auto visit = [&](const uint8_t* nal, size_t length) {
        const int type = length == 0 ? 0 : nal[0] & 0x1F;
        if (type != 1 && type != 2 && type != 5)
            return -1;
        idr = type == 5;
        const std::vector<uint8_t>& header = Unescape(nal + 1, length - 1, 16, state.Buffer);
        TBitReader bits(header.data(), header.size());
        bits.Ue(); // first_mb_in_slice
        const uint32_t slice = bits.Ue() % 5;
        found = bits.Overrun() ? TPictureType::None
                : slice == 0   ? TPictureType::P
                : slice == 1   ? TPictureType::B
                : slice == 2   ? TPictureType::I
                               : TPictureType::Other;
        return 0;
    };
    const int framing = NalFraming(data, size, state);
    if (framing == 0)
        ForEachNal(data, size, visit);
    else
        ForEachSizedNal(data, size, framing, visit);
    return found;
}

// Key: an IDR slice, or a recovery point SEI before an I slice. The first slice decides.
bool H264IsKey(const uint8_t* data, size_t size, TKeyState& state) {
    bool recovery = false;
    const auto visit = [&](const uint8_t* nal, size_t length) {
        if (length == 0)
            return -1;
        const int type = nal[0] & 0x1F;
        if (type == 5)
            return 1;
        if (type == 6 && !recovery)
            recovery = HasRecoveryPoint(Unescape(nal + 1, length - 1, length, state.Buffer));
        if (type == 1 || type == 2) // a slice, or partition A with the slice header
            return recovery && IsIntraSlice(Unescape(nal + 1, length - 1, 16, state.Buffer)) ? 1
                                                                                             : 0;
        return -1;
    };
    const int framing = NalFraming(data, size, state);
    const int decision =
        framing == 0 ? ForEachNal(data, size, visit) : ForEachSizedNal(data, size, framing, visit);
    return decision == 1;
}

} // namespace zarvex
