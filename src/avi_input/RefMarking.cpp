#include "avi_input/RefMarking.h"

#include "avi_input/AVIStream.h"
#include "avi_input/BitReader.h"
#include "avi_input/BitWriter.h"
#include "avi_input/KeyFrameMpeg.h"
#include "support/Endian.h"

#include <optional>

namespace zarvex {

namespace {

// Past this many chunks after the key frame an encoder has long let go of older pictures.
constexpr int64_t MostChunks = 32;

struct TSps {
    int Id = -1;
    int FrameNumBits = 0;
    uint32_t PocType = 0;
    int PocLsbBits = 0;
    bool DeltaPocAlwaysZero = false;
    uint32_t RefFrames = 0;
    bool FrameMbsOnly = true;
    bool ColourPlane = false;
    bool Chroma = true;
};

struct TPps {
    int Id = -1;
    int SpsId = -1;
    bool Cabac = false;
    bool BottomFieldPoc = false;
    uint32_t RefL0 = 0, RefL1 = 0; // num_ref_idx_lX_default_active_minus1
    bool WeightedPred = false;
    uint32_t WeightedBipred = 0;
    bool DeblockingControl = false;
    bool RedundantPicCnt = false;
};

struct TMarkingOp {
    uint32_t Op = 0;
    uint32_t Value1 = 0, Value2 = 0;
};

// Where a slice header's dec_ref_pic_marking lies, in bits of the unescaped NAL unit.
struct TSliceMarking {
    uint32_t FrameNum = 0;
    uint64_t FrameNumAt = 0;
    uint64_t IdrIdAt = 0; // where an IDR's idr_pic_id goes
    uint64_t LsbAt = 0;   // pic_order_cnt_lsb, 0 when the stream has none
    uint32_t Lsb = 0;
    bool Reference = false;
    uint64_t MarkingFrom = 0, MarkingTo = 0;
    uint64_t HeaderEnd = 0; // where slice_data starts, before CABAC's alignment bits
    std::vector<TMarkingOp> Ops;
};

std::vector<uint8_t> UnescapeNal(const uint8_t* nal, size_t size) {
    std::vector<uint8_t> out;
    Unescape(nal, size, size, out);
    return out;
}

void AppendEscaped(const std::vector<uint8_t>& rbsp, std::vector<uint8_t>& out) {
    int zeros = 0;
    for (uint8_t b : rbsp) {
        if (zeros >= 2 && b <= 3) {
            out.push_back(3);
            zeros = 0;
        }
        out.push_back(b);
        zeros = b == 0 ? zeros + 1 : 0;
    }
    if (zeros > 0) // a NAL unit must not end on a zero byte
        out.push_back(3);
}

void SkipScalingList(TBitReader& bits, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size && next != 0; ++j) {
        next = (last + bits.Se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

std::optional<TSps> ParseSps(const std::vector<uint8_t>& nal) {
    TBitReader bits(nal.data() + 1, nal.size() - 1);
    TSps sps;
    const uint32_t profile = bits.Read(8);
    bits.Skip(16);
    sps.Id = int(bits.Ue());
    if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
        profile == 83 || profile == 86 || profile == 118 || profile == 128 || profile == 138 ||
        profile == 139 || profile == 134 || profile == 135) {
        const uint32_t chroma = bits.Ue();
        if (chroma == 3)
            sps.ColourPlane = bits.Bit();
        sps.Chroma = chroma != 0 && !sps.ColourPlane;
        bits.Ue();
        bits.Ue();
        bits.Skip(1);
        if (bits.Bit())
            for (int i = 0; i < (chroma == 3 ? 12 : 8); ++i)
                if (bits.Bit())
                    SkipScalingList(bits, i < 6 ? 16 : 64);
    }
    sps.FrameNumBits = int(bits.Ue()) + 4;
    sps.PocType = bits.Ue();
    if (sps.PocType == 0) {
        sps.PocLsbBits = int(bits.Ue()) + 4;
    } else if (sps.PocType == 1) {
        sps.DeltaPocAlwaysZero = bits.Bit();
        bits.Se();
        bits.Se();
        const uint32_t cycle = bits.Ue();
        for (uint32_t i = 0; i < cycle && !bits.Overrun(); ++i)
            bits.Se();
    }
    sps.RefFrames = bits.Ue();
    bits.Skip(1);
    bits.Ue();
    bits.Ue();
    sps.FrameMbsOnly = bits.Bit();
    if (bits.Overrun() || sps.FrameNumBits > 16 || sps.PocLsbBits > 16 || sps.PocType > 2)
        return std::nullopt;
    return sps;
}

std::optional<TPps> ParsePps(const std::vector<uint8_t>& nal) {
    TBitReader bits(nal.data() + 1, nal.size() - 1);
    TPps pps;
    pps.Id = int(bits.Ue());
    pps.SpsId = int(bits.Ue());
    pps.Cabac = bits.Bit();
    pps.BottomFieldPoc = bits.Bit();
    if (bits.Ue() != 0) // slice groups: not worth the header's extra field
        return std::nullopt;
    pps.RefL0 = bits.Ue();
    pps.RefL1 = bits.Ue();
    pps.WeightedPred = bits.Bit();
    pps.WeightedBipred = bits.Read(2);
    bits.Se();
    bits.Se();
    bits.Se();
    pps.DeblockingControl = bits.Bit();
    bits.Skip(1);
    pps.RedundantPicCnt = bits.Bit();
    if (bits.Overrun())
        return std::nullopt;
    return pps;
}

void SkipWeights(TBitReader& bits, uint32_t count, bool chroma) {
    for (uint32_t i = 0; i <= count && !bits.Overrun(); ++i) {
        if (bits.Bit()) {
            bits.Se();
            bits.Se();
        }
        if (chroma && bits.Bit())
            for (int k = 0; k < 4; ++k)
                bits.Se();
    }
}

// A slice header of a frame (not a field) as far as slice_data; nullopt when it cannot be read.
std::optional<TSliceMarking> ParseSlice(const std::vector<uint8_t>& nal, const TSps& sps,
                                        const TPps& pps) {
    const bool idr = (nal[0] & 0x1F) == 5;
    TSliceMarking slice;
    slice.Reference = (nal[0] & 0x60) != 0;
    TBitReader bits(nal.data() + 1, nal.size() - 1);
    bits.Ue();
    const uint32_t type = bits.Ue() % 5; // P, B, I, SP, SI
    if (int(bits.Ue()) != pps.Id)
        return std::nullopt;
    if (sps.ColourPlane)
        bits.Skip(2);
    slice.FrameNumAt = bits.Position();
    slice.FrameNum = bits.Read(sps.FrameNumBits);
    if (!sps.FrameMbsOnly && bits.Bit()) // a field
        return std::nullopt;
    slice.IdrIdAt = bits.Position();
    if (idr)
        bits.Ue();
    if (sps.PocType == 0) {
        slice.LsbAt = bits.Position();
        slice.Lsb = bits.Read(sps.PocLsbBits);
        if (pps.BottomFieldPoc)
            bits.Se();
    } else if (sps.PocType == 1 && !sps.DeltaPocAlwaysZero) {
        bits.Se();
        if (pps.BottomFieldPoc)
            bits.Se();
    }
    if (pps.RedundantPicCnt)
        bits.Ue();
    if (type == 1)
        bits.Skip(1); // direct_spatial_mv_pred_flag
    uint32_t l0 = pps.RefL0, l1 = pps.RefL1;
    if ((type == 0 || type == 1 || type == 3) && bits.Bit()) {
        l0 = bits.Ue();
        if (type == 1)
            l1 = bits.Ue();
    }
    for (int list = 0; list < (type == 1 ? 2 : type == 2 || type == 4 ? 0 : 1); ++list)
        if (bits.Bit())
            for (uint32_t idc = bits.Ue(); idc != 3 && !bits.Overrun(); idc = bits.Ue())
                bits.Ue();
    if ((pps.WeightedPred && (type == 0 || type == 3)) || (pps.WeightedBipred == 1 && type == 1)) {
        bits.Ue();
        if (sps.Chroma)
            bits.Ue();
        SkipWeights(bits, l0, sps.Chroma);
        if (type == 1)
            SkipWeights(bits, l1, sps.Chroma);
    }
    slice.MarkingFrom = bits.Position();
    if (slice.Reference) {
        if (idr)
            bits.Skip(2);
        else if (bits.Bit())
            for (uint32_t op = bits.Ue(); op != 0 && !bits.Overrun(); op = bits.Ue()) {
                TMarkingOp m{op};
                if (op == 1 || op == 2 || op == 3)
                    m.Value1 = bits.Ue();
                if (op == 3 || op == 4 || op == 6)
                    m.Value2 = bits.Ue();
                slice.Ops.push_back(m);
            }
    }
    slice.MarkingTo = bits.Position();
    if (pps.Cabac && type != 2 && type != 4)
        bits.Ue();
    bits.Se();
    if (type == 3 || type == 4) {
        if (type == 3)
            bits.Skip(1);
        bits.Se();
    }
    if (pps.DeblockingControl && bits.Ue() != 1) {
        bits.Se();
        bits.Se();
    }
    slice.HeaderEnd = bits.Position();
    if (bits.Overrun())
        return std::nullopt;
    return slice;
}

void CopyBits(const std::vector<uint8_t>& from, uint64_t begin, uint64_t end, TBitWriter& to) {
    for (uint64_t i = begin; i < end; ++i)
        to.Bit(from[i >> 3] >> (7 - (i & 7)));
}

// The rest of a re-packed NAL unit, whose header up to its marking `out` holds; empty when it
// cannot be re-packed.
std::vector<uint8_t> RepackedRest(const std::vector<uint8_t>& nal, const TSliceMarking& slice,
                                  bool cabac, TBitWriter& out);

// The NAL unit with only the given marking commands; empty when it cannot be re-packed.
std::vector<uint8_t> Repacked(const std::vector<uint8_t>& nal, const TSliceMarking& slice,
                              const std::vector<TMarkingOp>& ops, bool cabac) {
    TBitWriter out;
    const uint64_t base = 8; // bit positions count from the NAL header's end
    CopyBits(nal, 0, base + slice.MarkingFrom, out);
    out.Bit(ops.empty() ? 0 : 1);
    if (!ops.empty()) {
        for (const TMarkingOp& m : ops) {
            out.Ue(m.Op);
            if (m.Op == 1 || m.Op == 2 || m.Op == 3)
                out.Ue(m.Value1);
            if (m.Op == 3 || m.Op == 4 || m.Op == 6)
                out.Ue(m.Value2);
        }
        out.Ue(0);
    }
    return RepackedRest(nal, slice, cabac, out);
}

// A non-IDR I slice as an IDR picture's: frame_num 0, idr_pic_id 0 and the IDR's marking
// (prior pictures output, no long-term reference). Its picture order count stays; the
// pictures after it have their frame_num lowered to match (see TFrameNumShift).
std::vector<uint8_t> AsIdr(const std::vector<uint8_t>& nal, const TSliceMarking& slice,
                           int frameNumBits, bool cabac) {
    TBitWriter out;
    const uint64_t base = 8;
    for (int i = 0; i < 8; ++i)
        out.Bit(((nal[0] & 0xE0) | 5) >> (7 - i) & 1);
    CopyBits(nal, base, base + slice.FrameNumAt, out);
    out.Write(0, frameNumBits);
    CopyBits(nal, base + slice.FrameNumAt + uint64_t(frameNumBits), base + slice.IdrIdAt, out);
    out.Ue(0);
    CopyBits(nal, base + slice.IdrIdAt, base + slice.MarkingFrom, out);
    out.Bit(0);
    out.Bit(0);
    return RepackedRest(nal, slice, cabac, out);
}

std::vector<uint8_t> RepackedRest(const std::vector<uint8_t>& nal, const TSliceMarking& slice,
                                  bool cabac, TBitWriter& out) {
    const uint64_t base = 8;
    if (cabac) {
        // The slice data is byte-aligned after cabac_alignment_one_bits: copied as it is.
        CopyBits(nal, base + slice.MarkingTo, base + slice.HeaderEnd, out);
        while (!out.Aligned())
            out.Bit(1);
        const size_t data = size_t((base + slice.HeaderEnd + 7) / 8);
        std::vector<uint8_t> result = out.Data();
        result.insert(result.end(), nal.begin() + std::ptrdiff_t(data), nal.end());
        return result;
    }
    // CAVLC: everything up to rbsp_stop_one_bit moves by the marking's change in length.
    size_t last = nal.size();
    while (last > 0 && nal[last - 1] == 0)
        --last;
    if (last == 0)
        return {};
    int stop = 0;
    while ((nal[last - 1] >> stop & 1) == 0)
        ++stop;
    const uint64_t stopBit = uint64_t(last) * 8 - 1 - uint64_t(stop);
    if (stopBit < base + slice.HeaderEnd)
        return {};
    CopyBits(nal, base + slice.MarkingTo, stopBit, out);
    out.Bit(1);
    while (!out.Aligned())
        out.Bit(0);
    return out.Data();
}

struct TNalSpan {
    size_t Begin = 0, End = 0; // payload after the start code
};

std::vector<TNalSpan> NalSpans(const std::vector<uint8_t>& data) {
    std::vector<TNalSpan> spans;
    size_t start = AfterStartCode(data.data(), data.size(), 0);
    while (start < data.size()) {
        const size_t next = AfterStartCode(data.data(), data.size(), start);
        size_t end = next < data.size() ? next - 3 : data.size();
        while (end > start && data[end - 1] == 0) // the next start code's leading zero
            --end;
        spans.push_back({start, end});
        start = next;
    }
    return spans;
}

class TRepairer {
public:
    // Takes the SPS and PPS that data holds.
    void Learn(const std::vector<uint8_t>& data) {
        for (const TNalSpan& s : NalSpans(data)) {
            if (s.End <= s.Begin)
                continue;
            const int type = data[s.Begin] & 0x1F;
            if (type == 7)
                if (auto sps = ParseSps(UnescapeNal(data.data() + s.Begin, s.End - s.Begin)))
                    Sps = sps;
            if (type == 8)
                if (auto pps = ParsePps(UnescapeNal(data.data() + s.Begin, s.End - s.Begin)))
                    Pps = pps;
        }
    }
    bool Ready() const { return Sps && Pps && Pps->SpsId == Sps->Id; }
    uint32_t RefFrames() const { return Sps->RefFrames; }
    uint32_t MaxFrameNum() const { return 1u << Sps->FrameNumBits; }

    // The first slice's header; nullopt without one.
    std::optional<TSliceMarking> FirstSlice(const std::vector<uint8_t>& data, bool& idr) const {
        for (const TNalSpan& s : NalSpans(data)) {
            const int type = s.End > s.Begin ? data[s.Begin] & 0x1F : 0;
            if (type == 1 || type == 5) {
                idr = type == 5;
                return ParseSlice(UnescapeNal(data.data() + s.Begin, s.End - s.Begin), *Sps, *Pps);
            }
        }
        return std::nullopt;
    }

    // The frame number that a short-term marking command of a picture with frameNum names.
    uint32_t Target(uint32_t frameNum, const TMarkingOp& m) const {
        return uint32_t((int64_t(frameNum) - int64_t(m.Value1) - 1 + MaxFrameNum()) %
                        MaxFrameNum());
    }

    // The chunk with every slice put through rewrite, which gives the slice's new payload, an
    // empty one to keep it, or none when it cannot be done; empty when nothing changed or a
    // slice failed.
    template <typename F>
    std::vector<uint8_t> RewriteSlices(const std::vector<uint8_t>& data, F rewrite) const {
        std::vector<uint8_t> out;
        size_t copied = 0;
        for (const TNalSpan& s : NalSpans(data)) {
            const int type = s.End > s.Begin ? data[s.Begin] & 0x1F : 0;
            if (type != 1)
                continue;
            const std::vector<uint8_t> nal = UnescapeNal(data.data() + s.Begin, s.End - s.Begin);
            const std::optional<TSliceMarking> slice = ParseSlice(nal, *Sps, *Pps);
            if (!slice)
                return {};
            const std::optional<std::vector<uint8_t>> packed = rewrite(nal, *slice);
            if (!packed)
                return {};
            if (packed->empty())
                continue;
            out.insert(out.end(), data.begin() + std::ptrdiff_t(copied),
                       data.begin() + std::ptrdiff_t(s.Begin));
            AppendEscaped(*packed, out);
            copied = s.End;
        }
        if (copied == 0)
            return {};
        out.insert(out.end(), data.begin() + std::ptrdiff_t(copied), data.end());
        return out;
    }

    // The chunk with the short-term marking commands for frames that `held` refuses dropped
    // from each slice; empty when nothing was dropped or a slice could not be re-packed.
    template <typename F>
    std::vector<uint8_t> Repair(const std::vector<uint8_t>& data, F held) const {
        return RewriteSlices(
            data,
            [&](const std::vector<uint8_t>& nal,
                const TSliceMarking& slice) -> std::optional<std::vector<uint8_t>> {
                std::vector<TMarkingOp> kept;
                for (const TMarkingOp& m : slice.Ops)
                    if ((m.Op != 1 && m.Op != 3) || held(Target(slice.FrameNum, m)))
                        kept.push_back(m);
                if (kept.size() == slice.Ops.size())
                    return std::vector<uint8_t>();
                std::vector<uint8_t> packed = Repacked(nal, slice, kept, Pps->Cabac);
                if (packed.empty())
                    return std::nullopt;
                return packed;
            });
    }

    // The chunk of a non-IDR I picture with each slice made an IDR picture's; empty when a
    // slice cannot be re-packed.
    std::vector<uint8_t> Restarted(const std::vector<uint8_t>& data) const {
        return RewriteSlices(
            data,
            [&](const std::vector<uint8_t>& nal,
                const TSliceMarking& slice) -> std::optional<std::vector<uint8_t>> {
                if (!slice.Reference)
                    return std::nullopt;
                std::vector<uint8_t> packed = AsIdr(nal, slice, Sps->FrameNumBits, Pps->Cabac);
                if (packed.empty())
                    return std::nullopt;
                return packed;
            });
    }

    // Sets pic_order_cnt_lsb in every slice of data; false when a slice has none.
    bool SetPocLsb(std::vector<uint8_t>& data, uint32_t lsb) const {
        if (lsb >> Sps->PocLsbBits != 0)
            return false;
        return SetInSlices(data, [&](const TSliceMarking& slice) -> std::optional<TField> {
            if (slice.LsbAt == 0)
                return std::nullopt;
            return TField{slice.LsbAt, Sps->PocLsbBits, lsb};
        });
    }
    // Lowers frame_num by drop in every slice of data; false when a slice cannot be read.
    bool LowerFrameNum(std::vector<uint8_t>& data, uint32_t drop) const {
        return SetInSlices(data, [&](const TSliceMarking& slice) -> std::optional<TField> {
            const uint32_t range = MaxFrameNum();
            return TField{slice.FrameNumAt, Sps->FrameNumBits,
                          uint32_t((uint64_t(slice.FrameNum) + range - drop % range) % range)};
        });
    }
    int PocLsbBits() const { return Sps->PocLsbBits; }

private:
    struct TField {
        uint64_t At = 0; // in bits of the unescaped NAL unit after its header byte
        int Bits = 0;
        uint32_t Value = 0;
    };

    // Sets a fixed-length field, which field gives for each slice, in every slice of data;
    // false, leaving data as it was, when a slice cannot be read or lacks it.
    template <typename F> bool SetInSlices(std::vector<uint8_t>& data, F field) const {
        std::vector<uint8_t> out;
        size_t copied = 0;
        for (const TNalSpan& s : NalSpans(data)) {
            const int type = s.End > s.Begin ? data[s.Begin] & 0x1F : 0;
            if (type != 1 && type != 5)
                continue;
            std::vector<uint8_t> nal = UnescapeNal(data.data() + s.Begin, s.End - s.Begin);
            const auto slice = ParseSlice(nal, *Sps, *Pps);
            const std::optional<TField> f = slice ? field(*slice) : std::nullopt;
            if (!f)
                return false;
            for (int i = 0; i < f->Bits; ++i) {
                const uint64_t at = 8 + f->At + uint64_t(i);
                const auto mask = uint8_t(0x80 >> (at & 7));
                const bool bit = f->Value >> (f->Bits - 1 - i) & 1;
                nal[at >> 3] = uint8_t(bit ? nal[at >> 3] | mask : nal[at >> 3] & ~mask);
            }
            out.insert(out.end(), data.begin() + std::ptrdiff_t(copied),
                       data.begin() + std::ptrdiff_t(s.Begin));
            AppendEscaped(nal, out);
            copied = s.End;
        }
        out.insert(out.end(), data.begin() + std::ptrdiff_t(copied), data.end());
        data = std::move(out);
        return true;
    }

    std::optional<TSps> Sps;
    std::optional<TPps> Pps;
};

// The short-term reference frames a decoder of the copy holds, oldest first. Frames missing
// from the copy are held as the "non-existing" frames that decoders put in their place.
class TReferences {
public:
    TReferences(uint32_t capacity, uint32_t maxFrameNum, uint32_t last)
        : Capacity(std::max<uint32_t>(capacity, 1)), MaxFrameNum(maxFrameNum), Last(last) {}

    bool Holds(uint32_t frame) const { return Find(frame) != Frames.end(); }
    // Whether a frame that is not one of the copy's own pictures is still held.
    bool HoldsStandIns() const {
        return std::any_of(Frames.begin(), Frames.end(), [](const TFrame& f) { return !f.Own; });
    }
    void Remove(uint32_t frame) {
        if (const auto at = Find(frame); at != Frames.end())
            Frames.erase(at);
    }
    // The frames of a gap in frame numbers before a picture with this one, which decoders
    // put in place before they decode the picture.
    void FillGapTo(uint32_t frame) {
        for (uint32_t i = 0; i < MaxFrameNum && Last != frame && (Last + 1) % MaxFrameNum != frame;
             ++i)
            Push((Last + 1) % MaxFrameNum, false, true);
    }
    // A reference picture with this frame number, after its gap.
    void Add(uint32_t frame, bool own, bool slidingWindow) {
        FillGapTo(frame);
        Push(frame, own, slidingWindow);
    }

private:
    struct TFrame {
        uint32_t Number = 0;
        bool Own = false;
    };
    std::vector<TFrame>::const_iterator Find(uint32_t frame) const {
        return std::find_if(Frames.begin(), Frames.end(),
                            [&](const TFrame& f) { return f.Number == frame; });
    }
    void Push(uint32_t frame, bool own, bool slidingWindow) {
        if (slidingWindow && Frames.size() >= Capacity)
            Frames.erase(Frames.begin());
        Frames.push_back({frame, own});
        Last = frame;
    }

    std::vector<TFrame> Frames;
    uint32_t Capacity;
    uint32_t MaxFrameNum;
    uint32_t Last;
};

// A parser that knows the parameter sets of the stream's format, if it has any.
TRepairer StreamParser(const TAVIStream& video) {
    TRepairer parser;
    constexpr size_t BitmapHeaderBytes = 40;
    const std::vector<uint8_t>& format = video.Format;
    if (format.size() > BitmapHeaderBytes)
        parser.Learn(std::vector<uint8_t>(format.begin() + BitmapHeaderBytes, format.end()));
    return parser;
}

} // namespace

std::map<int64_t, std::vector<uint8_t>> RefMarkingRepairs(const TAVIStream& video, int64_t key,
                                                          int64_t leftOutTo, uint32_t before) {
    std::map<int64_t, std::vector<uint8_t>> repairs;
    const std::vector<uint8_t>& format = video.Format;
    const uint32_t compression = format.size() >= 20 ? GetU32(format.data() + 16) : 0;
    if (KeyFrameRuleFor(compression, video.Header.fccHandler) != TKeyFrameRule::H264 || key < 0 ||
        key >= int64_t(video.EntryCount()))
        return repairs;
    TRepairer repairer = StreamParser(video);
    const std::vector<uint8_t> keyData = video.ChunkBytes(key);
    repairer.Learn(keyData);
    bool idr = false;
    const auto keySlice = repairer.Ready() ? repairer.FirstSlice(keyData, idr) : std::nullopt;
    if (!keySlice || idr)
        return repairs;
    const uint32_t range = repairer.MaxFrameNum();
    const uint64_t first =
        before == 0 ? keySlice->FrameNum : uint64_t(keySlice->FrameNum) + 2 * range - before - 1;
    TReferences held(repairer.RefFrames(), range, uint32_t(first % range));
    for (uint32_t i = before; i > 0; --i)
        held.Add((keySlice->FrameNum + range - i) % range, false, true);
    held.Add(keySlice->FrameNum, true, true);
    uint32_t references = 0;
    for (int64_t e = key + 1; e < int64_t(video.EntryCount()) && e <= key + MostChunks &&
                              (references < repairer.RefFrames() || held.HoldsStandIns());
         ++e) {
        const std::vector<uint8_t> data = video.ChunkBytes(e);
        const auto slice = repairer.FirstSlice(data, idr);
        if (idr || (!slice && !data.empty())) // past what can be followed
            break;
        if (!slice || !slice->Reference || e <= leftOutTo)
            continue;
        ++references;
        held.FillGapTo(slice->FrameNum);
        const auto holds = [&](uint32_t frame) { return held.Holds(frame); };
        std::vector<uint8_t> repaired = repairer.Repair(data, holds);
        bool marks = false;
        for (const TMarkingOp& m : slice->Ops) {
            const bool shortTerm = m.Op == 1 || m.Op == 3;
            const uint32_t target = repairer.Target(slice->FrameNum, m);
            marks = marks || !shortTerm || holds(target);
            if (shortTerm)
                held.Remove(target);
        }
        held.Add(slice->FrameNum, true, !marks);
        if (!repaired.empty())
            repairs.emplace(e, std::move(repaired));
    }
    return repairs;
}

std::optional<TPictureOrder> PictureOrderOf(const TAVIStream& video, int64_t entry) {
    if (entry < 0 || entry >= int64_t(video.EntryCount()))
        return std::nullopt;
    TRepairer parser = StreamParser(video);
    const std::vector<uint8_t> data = video.ChunkBytes(entry);
    parser.Learn(data);
    bool idr = false;
    const auto slice = parser.Ready() ? parser.FirstSlice(data, idr) : std::nullopt;
    if (!slice || slice->LsbAt == 0)
        return std::nullopt;
    return TPictureOrder{slice->Lsb, 1u << parser.PocLsbBits(), slice->FrameNum,
                         parser.MaxFrameNum(), slice->Reference};
}

uint32_t ReferenceFramesOf(const std::vector<uint8_t>& chunk) {
    TRepairer parser;
    parser.Learn(chunk);
    return parser.Ready() ? parser.RefFrames() : 0;
}

bool IsIdrChunk(const std::vector<uint8_t>& chunk) {
    for (const TNalSpan& s : NalSpans(chunk)) {
        const int type = s.End > s.Begin ? chunk[s.Begin] & 0x1F : 0;
        if (type == 1 || type == 5)
            return type == 5;
    }
    return false;
}

std::optional<TPictureOrder> PictureOrderIn(const std::vector<uint8_t>& chunk,
                                            const std::vector<uint8_t>& sets) {
    TRepairer parser;
    parser.Learn(sets);
    parser.Learn(chunk);
    bool idr = false;
    const auto slice = parser.Ready() ? parser.FirstSlice(chunk, idr) : std::nullopt;
    if (!slice || slice->LsbAt == 0)
        return std::nullopt;
    return TPictureOrder{slice->Lsb, 1u << parser.PocLsbBits(), slice->FrameNum,
                         parser.MaxFrameNum(), slice->Reference};
}

bool SetPocLsb(std::vector<uint8_t>& chunk, const std::vector<uint8_t>& sets, uint32_t lsb) {
    TRepairer parser;
    parser.Learn(sets);
    parser.Learn(chunk);
    return parser.Ready() && parser.SetPocLsb(chunk, lsb);
}

namespace {

// Annex B parameter sets (SPS and PPS) of data, each behind a 4-byte start code.
std::vector<uint8_t> ParameterSets(const std::vector<uint8_t>& data) {
    std::vector<uint8_t> sets;
    for (const TNalSpan& s : NalSpans(data)) {
        const int type = s.End > s.Begin ? data[s.Begin] & 0x1F : 0;
        if (type != 7 && type != 8)
            continue;
        sets.insert(sets.end(), {0, 0, 0, 1});
        sets.insert(sets.end(), data.begin() + std::ptrdiff_t(s.Begin),
                    data.begin() + std::ptrdiff_t(s.End));
    }
    return sets;
}

bool HasSps(const std::vector<uint8_t>& data) {
    for (const TNalSpan& s : NalSpans(data)) {
        const int type = s.End > s.Begin ? data[s.Begin] & 0x1F : 0;
        if (type == 7)
            return true;
        if (type == 1 || type == 5)
            return false;
    }
    return false;
}

} // namespace

std::vector<uint8_t> RestartedKey(const TAVIStream& video, int64_t key) {
    const std::vector<uint8_t>& format = video.Format;
    const uint32_t compression = format.size() >= 20 ? GetU32(format.data() + 16) : 0;
    if (KeyFrameRuleFor(compression, video.Header.fccHandler) != TKeyFrameRule::H264 || key < 0 ||
        key >= int64_t(video.EntryCount()))
        return {};
    const std::vector<uint8_t> data = video.ChunkBytes(key);
    TKeyState state = KeyStateFor(format.data(), format.size());
    bool idr = false;
    if (data.empty() || H264PictureType(data.data(), data.size(), state, idr) != TPictureType::I ||
        idr)
        return {};
    TRepairer repairer = StreamParser(video);
    repairer.Learn(data);
    const auto slice = repairer.Ready() ? repairer.FirstSlice(data, idr) : std::nullopt;
    if (!slice)
        return {};
    const std::vector<uint8_t> restarted = repairer.Restarted(data);
    if (restarted.empty())
        return {};
    std::vector<uint8_t> header = {0, 0, 0, 1, 0x0A}; // end of sequence
    if (HasSps(data)) {
        header.insert(header.end(), restarted.begin(), restarted.end());
        return header;
    }
    // Annex B codec data comes first; else the stream's first picture.
    constexpr size_t BitmapHeaderBytes = 40;
    std::vector<uint8_t> sets;
    if (format.size() > BitmapHeaderBytes && format[BitmapHeaderBytes] != 1)
        sets = ParameterSets({format.begin() + BitmapHeaderBytes, format.end()});
    int64_t first = 0;
    while (first < key && video.EntrySize(first) == 0)
        ++first;
    if (sets.empty() && first < key)
        sets = ParameterSets(video.ChunkBytes(first));
    if (sets.empty())
        return {};
    header.insert(header.end(), sets.begin(), sets.end());
    header.insert(header.end(), restarted.begin(), restarted.end());
    return header;
}

struct TFrameNumShift::TState {
    TRepairer Parser;
};

TFrameNumShift::TFrameNumShift(const TAVIStream& video, int64_t key, uint32_t drop)
    : State(std::make_shared<TState>()), Drop(drop) {
    State->Parser = StreamParser(video);
    if (key < 0 || key >= int64_t(video.EntryCount()))
        return;
    int64_t first = 0; // the stream's first picture, which carries x264's parameter sets
    while (first < key && video.EntrySize(first) == 0)
        ++first;
    if (first < key)
        State->Parser.Learn(video.ChunkBytes(first));
    State->Parser.Learn(video.ChunkBytes(key));
}

bool TFrameNumShift::Apply(std::vector<uint8_t>& chunk) {
    if (Done || Drop == 0 || chunk.empty())
        return false;
    TRepairer& parser = State->Parser;
    parser.Learn(chunk);
    bool idr = false;
    if (!parser.Ready() || !parser.FirstSlice(chunk, idr) || idr) {
        Done = idr; // an IDR picture starts the numbers afresh
        return false;
    }
    return parser.LowerFrameNum(chunk, Drop);
}

} // namespace zarvex
