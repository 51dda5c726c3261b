#include "export/JpegFile.h"

#include "support/Errors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>

// jpeglib.h needs <cstdio> first
#include <jerror.h>
#include <jpeglib.h>

namespace zarvex {

namespace {

// libjpeg reports errors by calling error_exit, which must not return. Unwinding a C++ exception
// through libjpeg's C frames is not safe, so error_exit jumps back into Compress, whose frame
// holds only plain C objects.
struct TJpegError {
    jpeg_error_mgr Pub;
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
};

// Collects the output in a vector that grows as libjpeg fills it.
struct TJpegDest {
    jpeg_destination_mgr Pub;
    std::vector<uint8_t>* Out;
};

bool Grow(std::vector<uint8_t>& v, size_t size) noexcept {
    try {
        v.resize(size);
        return true;
    } catch (...) {
        return false;
    }
}

extern "C" void JpegErrorExit(j_common_ptr cinfo) {
    TJpegError* err = reinterpret_cast<TJpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// Warnings are not worth a line on anyone's terminal.
extern "C" void JpegOutputMessage(j_common_ptr) {}

extern "C" void JpegInitDest(j_compress_ptr cinfo) {
    TJpegDest* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
    if (!Grow(*d->Out, 1 << 16))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    d->Pub.next_output_byte = d->Out->data();
    d->Pub.free_in_buffer = d->Out->size();
}

// Called when the whole buffer is full: double it and go on behind what is there.
extern "C" boolean JpegEmptyDest(j_compress_ptr cinfo) {
    TJpegDest* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
    const size_t used = d->Out->size();
    if (!Grow(*d->Out, used * 2))
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 2);
    d->Pub.next_output_byte = d->Out->data() + used;
    d->Pub.free_in_buffer = d->Out->size() - used;
    return TRUE;
}

extern "C" void JpegTermDest(j_compress_ptr cinfo) {
    TJpegDest* d = reinterpret_cast<TJpegDest*>(cinfo->dest);
    d->Out->resize(d->Out->size() - d->Pub.free_in_buffer);
}

// No object with a destructor lives in this frame: longjmp may leave it at any call.
bool Compress(JSAMPROW* rows, int width, int height, int quality, bool progressive,
              std::vector<uint8_t>* out, char* message) {
    jpeg_compress_struct cinfo;
    TJpegError err;
    TJpegDest dest;
    cinfo.err = jpeg_std_error(&err.Pub);
    err.Pub.error_exit = JpegErrorExit;
    err.Pub.output_message = JpegOutputMessage;
    if (setjmp(err.Jump)) {
        std::snprintf(message, JMSG_LENGTH_MAX, "%s", err.Message);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    dest.Pub.init_destination = JpegInitDest;
    dest.Pub.empty_output_buffer = JpegEmptyDest;
    dest.Pub.term_destination = JpegTermDest;
    dest.Out = out;
    cinfo.dest = &dest.Pub;
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height)
        jpeg_write_scanlines(&cinfo, rows + cinfo.next_scanline,
                             cinfo.image_height - cinfo.next_scanline);
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

std::vector<uint8_t> JpegFileBytes(const TBitmap24& bitmap, int quality, bool progressive) {
    if (bitmap.Width <= 0 || bitmap.Height <= 0 || quality < 1 || quality > 100)
        throw EZarvexError("Invalid JPEG parameters");
    // Top-down RGB rows from the bitmap's bottom-up BGR ones.
    const size_t row = size_t(bitmap.Width) * 3;
    std::vector<uint8_t> rgb(row * size_t(bitmap.Height));
    std::vector<JSAMPROW> rows(size_t(bitmap.Height));
    for (int32_t y = 0; y < bitmap.Height; ++y) {
        const uint8_t* src = bitmap.Bits.data() + (bitmap.Height - 1 - y) * bitmap.Stride();
        uint8_t* dst = rgb.data() + size_t(y) * row;
        for (size_t x = 0; x < row; x += 3) {
            dst[x] = src[x + 2];
            dst[x + 1] = src[x + 1];
            dst[x + 2] = src[x];
        }
        rows[size_t(y)] = dst;
    }
    std::vector<uint8_t> out;
    char message[JMSG_LENGTH_MAX] = {};
    if (!Compress(rows.data(), bitmap.Width, bitmap.Height, quality, progressive, &out, message))
        throw EZarvexError(std::string("JPEG error: ") + message);
    return out;
}

void SaveJpegFile(const TBitmap24& bitmap, const std::string& path, int quality, bool progressive) {
    WriteWholeFile(path, JpegFileBytes(bitmap, quality, progressive));
}

} // namespace zarvex
