#include "media/OverviewJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

// jpeglib.h needs <cstdio> first
#include <jpeglib.h>

namespace zarvex::media {

namespace {

constexpr int Quality = 85;
constexpr int MaxSide = 1024;

// error_exit must not return, and exceptions must not cross libjpeg's C frames: jump back.
struct TError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
};

extern "C" void OverviewJpegExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<TError*>(info->err)->Jump, 1);
}
extern "C" void OverviewJpegQuiet(j_common_ptr) {}

void SetUp(TError& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = OverviewJpegExit;
    err.Pub.output_message = OverviewJpegQuiet;
}

// 0xffRRGGBB words lie in memory as B, G, R, X on a little-endian host.
constexpr J_COLOR_SPACE PixelSpace =
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? JCS_EXT_BGRX : JCS_EXT_XRGB;

} // namespace

std::vector<uint8_t> PackThumbnail(const TThumbnail& picture) {
    if (picture.Width <= 0 || picture.Height <= 0 ||
        picture.Pixels.size() != size_t(picture.Width) * size_t(picture.Height))
        return {};
    jpeg_compress_struct info{};
    TError err;
    SetUp(err);
    info.err = &err.Pub;
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    if (setjmp(err.Jump)) {
        jpeg_destroy_compress(&info);
        std::free(out);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = JDIMENSION(picture.Width);
    info.image_height = JDIMENSION(picture.Height);
    info.input_components = 4;
    info.in_color_space = PixelSpace;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, Quality, TRUE);
    info.dct_method = JDCT_IFAST;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(
            picture.Pixels.data() + size_t(info.next_scanline) * size_t(picture.Width)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> bytes(out, out + outSize);
    std::free(out);
    return bytes;
}

bool UnpackThumbnail(const uint8_t* data, size_t size, TThumbnail& picture) {
    jpeg_decompress_struct info{};
    TError err;
    SetUp(err);
    info.err = &err.Pub;
    if (setjmp(err.Jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK || info.image_width == 0 ||
        info.image_height == 0 || info.image_width > MaxSide || info.image_height > MaxSide) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    info.out_color_space = PixelSpace;
    info.dct_method = JDCT_IFAST;
    jpeg_start_decompress(&info);
    picture.Width = int(info.output_width);
    picture.Height = int(info.output_height);
    picture.Pixels.assign(size_t(picture.Width) * size_t(picture.Height), 0xff000000u);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = reinterpret_cast<JSAMPROW>(picture.Pixels.data() +
                                                  size_t(info.output_scanline) * picture.Width);
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    // The fourth byte comes back as whatever libjpeg fills it with; the contract says 0xff.
    for (uint32_t& p : picture.Pixels)
        p |= 0xff000000u;
    return true;
}

} // namespace zarvex::media
