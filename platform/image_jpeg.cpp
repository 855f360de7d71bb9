// JPEG through libjpeg, read from memory. The error manager longjmps back here
// instead of exiting; the function holding the setjmp keeps no object with a
// destructor (the output vector is sized by the caller between two passes).
#include "platform/image_decoders.h"

#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <jerror.h>
#include <jpeglib.h>

#include <csetjmp>
#include <cstring>

namespace plat::imagecodec {
namespace {

struct JpegErrors {
    jpeg_error_mgr mgr; // first, so libjpeg's pointer can be cast back
    std::jmp_buf jump;
    bool truncated;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void JpegOnError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<JpegErrors*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings are silent, but a file that ends early is remembered: libjpeg would
// otherwise fill the missing part with grey and report success.
void JpegOnMessage(j_common_ptr cinfo, int level)
{
    auto* err = reinterpret_cast<JpegErrors*>(cinfo->err);
    if (level < 0) {
        cinfo->err->num_warnings++;
        // A file that ends early would otherwise be padded with grey rows to its
        // declared size, however large: refuse it at once.
        if (cinfo->err->msg_code == JWRN_JPEG_EOF) {
            err->truncated = true;
            std::strcpy(err->message, "JPEG file is truncated");
            std::longjmp(err->jump, 1);
        }
    }
}

// Corrupt progressive files can declare endless scans; stop long before that hurts.
void JpegOnProgress(j_common_ptr cinfo)
{
    if (!cinfo->is_decompressor)
        return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > 500) {
        std::strcpy(reinterpret_cast<JpegErrors*>(cinfo->err)->message, "JPEG has too many scans");
        std::longjmp(reinterpret_cast<JpegErrors*>(cinfo->err)->jump, 1);
    }
}

struct JpegJob {
    const uint8_t* data;
    size_t size;
    uint32_t width;
    uint32_t height;
    uint32_t* pixels; // null for the header pass
    JpegErrors errors;
};

bool RunJpeg(JpegJob* job)
{
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    std::memset(&cinfo, 0, sizeof cinfo);
    cinfo.err = jpeg_std_error(&job->errors.mgr);
    job->errors.mgr.error_exit = JpegOnError;
    job->errors.mgr.emit_message = JpegOnMessage;
    job->errors.truncated = false;
    job->errors.message[0] = '\0';
    if (setjmp(job->errors.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    progress.progress_monitor = JpegOnProgress;
    cinfo.progress = &progress;
    jpeg_mem_src(&cinfo, job->data, static_cast<unsigned long>(job->size));
    jpeg_read_header(&cinfo, TRUE);
    if (cinfo.image_width == 0 || cinfo.image_height == 0 || cinfo.image_width > kMaxDimension ||
        cinfo.image_height > kMaxDimension) {
        std::strcpy(job->errors.message, "JPEG has an unusable size");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (!job->pixels) {
        job->width = cinfo.image_width;
        job->height = cinfo.image_height;
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    cinfo.out_color_space = cmyk ? JCS_CMYK : grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const uint32_t w = cinfo.output_width, h = cinfo.output_height;
    const int comps = cinfo.output_components;
    if (w != job->width || h != job->height || comps != (cmyk ? 4 : grey ? 1 : 3)) {
        std::strcpy(job->errors.message, "JPEG output does not match its header");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                JDIMENSION(w) * JDIMENSION(comps), 1);
    while (cinfo.output_scanline < h) {
        const uint32_t y = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, row, 1) != 1)
            break;
        uint32_t* dst = job->pixels + size_t(y) * w;
        const JSAMPLE* s = row[0];
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t r, g, b;
            if (grey) {
                r = g = b = s[x];
            } else if (cmyk) {
                // Inverted CMYK as Adobe writes it: k scales the other three.
                const uint32_t k = s[4 * x + 3];
                r = s[4 * x] * k / 255;
                g = s[4 * x + 1] * k / 255;
                b = s[4 * x + 2] * k / 255;
            } else {
                r = s[3 * x];
                g = s[3 * x + 1];
                b = s[3 * x + 2];
            }
            dst[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    if (cinfo.output_scanline < h || job->errors.truncated) {
        std::strcpy(job->errors.message, "JPEG file is truncated");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_finish_decompress(&cinfo);
    const bool truncated = job->errors.truncated;
    jpeg_destroy_decompress(&cinfo);
    if (truncated)
        std::strcpy(job->errors.message, "JPEG file is truncated");
    return !truncated;
}

} // namespace

bool DecodeJpeg(const uint8_t* data, size_t size, RawImage& out, std::string& error)
{
    JpegJob job{};
    job.data = data;
    job.size = size;
    if (!RunJpeg(&job)) {
        error = job.errors.message[0] ? job.errors.message : "JPEG header could not be read";
        return false;
    }
    out.width = job.width;
    out.height = job.height;
    out.pixels.assign(size_t(job.width) * job.height, 0u);
    job.pixels = out.pixels.data();
    if (!RunJpeg(&job)) {
        error = job.errors.message[0] ? job.errors.message : "JPEG could not be decoded";
        out = RawImage{};
        return false;
    }
    return true;
}

} // namespace plat::imagecodec
