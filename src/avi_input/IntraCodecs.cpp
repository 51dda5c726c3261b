#include "avi_input/IntraCodecs.h"

#include "avi_input/FourCC.h"

#include <algorithm>
#include <iterator>

namespace zarvex {

namespace {

// Upper-case codes; a code shorter than four characters is padded with blanks. FFV1 is not one
// of them: its frames after the first of a group carry the coder's state over.
// clang-format off
constexpr const char* IntraCodes[] = {
    // motion JPEG and lossless JPEG
    "MJPG", "AVRN", "AVDJ", "JPEG", "DMB1", "LJPG", "JPGL", "MJLS", "SP5X",
    // DV
    "DVSD", "DVHD", "DVSL", "DV25", "DV50", "DVH1", "DVH2", "DVH3", "DVH4", "DVH5", "DVH6",
    "DVC ", "DVCS", "DVCP", "DVPP", "DVPN", "DVP ", "CDVC", "CDVH", "CDV5", "SLDV", "SL25",
    "SL50", "AVD1", "MDVF", "PDVC", "AVDV",
    // lossless and intermediate codecs
    "HFYU", "FFVH", "LAGS", "MAGY", "M8RG", "M8RA", "M8G0", "M8Y0", "M8Y2", "M8Y4", "M8YA",
    "ULRG", "ULRA", "ULY0", "ULY2", "ULY4", "ULH0", "ULH2", "ULH4", "UQY2", "UQRG", "UQRA",
    "UMY2", "UMH2", "UMY4", "UMH4", "UMRG", "UMRA", "CLLC", "CHQX", "CUVC", "AVDN", "AVDH",
    "ZLIB", "MSZH",
    // ProRes, JPEG 2000, PNG
    "APCH", "APCN", "APCS", "APCO", "AP4H", "AP4X", "MJ2C", "MJP2", "LJ2C", "LJ2K", "MPNG",
    "PNG1", "PNG ",
    // uncompressed pictures under a code
    "DIB ", "RGB ", "RAW ", "YUY2", "UYVY", "YV12", "I420", "IYUV", "Y800", "V210", "2VUY",
};
// clang-format on

} // namespace

bool IsIntraOnlyCode(uint32_t code) {
    if (code == 0 || code == 3)
        return true; // BI_RGB, BI_BITFIELDS
    const uint32_t upper = UpperFourCC(code);
    return std::any_of(std::begin(IntraCodes), std::end(IntraCodes),
                       [upper](const char* c) { return FourCCOf(c) == upper; });
}

} // namespace zarvex
