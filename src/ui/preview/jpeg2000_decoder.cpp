#include "ui/preview/jpeg2000_decoder.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace lumacore::ui {

namespace {

// The stream reads from memory in blocks of this size.
constexpr OPJ_SIZE_T kStreamBlock = 64 * 1024;
// A thumbnail is never decoded more than this many halvings down (OpenJPEG allows 32 levels).
constexpr OPJ_UINT32 kMaxReduce = 10;

struct MemoryStream {
    std::span<const std::byte> data;
    OPJ_SIZE_T position = 0;
};

OPJ_SIZE_T ReadStream(void* buffer, OPJ_SIZE_T bytes, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const OPJ_SIZE_T left = s->data.size() - s->position;
    if (left == 0) return static_cast<OPJ_SIZE_T>(-1);
    const OPJ_SIZE_T n = std::min(bytes, left);
    std::memcpy(buffer, s->data.data() + s->position, n);
    s->position += n;
    return n;
}

OPJ_OFF_T SkipStream(OPJ_OFF_T bytes, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    const auto size = static_cast<OPJ_OFF_T>(s->data.size());
    const auto at = static_cast<OPJ_OFF_T>(s->position);
    const OPJ_OFF_T to = std::clamp<OPJ_OFF_T>(bytes > size - at ? size : at + bytes, 0, size);
    s->position = static_cast<OPJ_SIZE_T>(to);
    return to - at;
}

OPJ_BOOL SeekStream(OPJ_OFF_T to, void* user) {
    auto* s = static_cast<MemoryStream*>(user);
    if (to < 0 || static_cast<std::uint64_t>(to) > s->data.size()) return OPJ_FALSE;
    s->position = static_cast<OPJ_SIZE_T>(to);
    return OPJ_TRUE;
}

void Quiet(const char*, void*) {}

struct CodecDeleter {
    void operator()(opj_codec_t* c) const { opj_destroy_codec(c); }
};
struct StreamDeleter {
    void operator()(opj_stream_t* s) const { opj_stream_destroy(s); }
};
struct ImageDeleter {
    void operator()(opj_image_t* i) const { opj_image_destroy(i); }
};

bool StartsWith(std::span<const std::byte> data, std::initializer_list<unsigned char> bytes) {
    if (data.size() < bytes.size()) return false;
    std::size_t i = 0;
    for (unsigned char b : bytes) {
        if (data[i++] != std::byte{b}) return false;
    }
    return true;
}

// One component's sample for output pixel (x, y) of a w x h picture, scaled to 0..255.
int Sample(const opj_image_comp_t& comp, OPJ_UINT32 x, OPJ_UINT32 y, OPJ_UINT32 w, OPJ_UINT32 h) {
    const OPJ_UINT32 cx =
        std::min<OPJ_UINT32>(static_cast<OPJ_UINT32>(std::uint64_t{x} * comp.w / w), comp.w - 1);
    const OPJ_UINT32 cy =
        std::min<OPJ_UINT32>(static_cast<OPJ_UINT32>(std::uint64_t{y} * comp.h / h), comp.h - 1);
    std::int64_t v = comp.data[std::size_t{cy} * comp.w + cx];
    const int precision = std::clamp<int>(static_cast<int>(comp.prec), 1, 31);
    if (comp.sgnd != 0) v += std::int64_t{1} << (precision - 1);
    v = precision > 8 ? v >> (precision - 8) : v << (8 - precision);
    return static_cast<int>(std::clamp<std::int64_t>(v, 0, 255));
}

QRgb YccToRgb(int y, int cb, int cr) {
    cb -= 128;
    cr -= 128;
    const auto clamp = [](double v) { return std::clamp(static_cast<int>(v + 0.5), 0, 255); };
    return qRgb(clamp(y + 1.402 * cr), clamp(y - 0.344136 * cb - 0.714136 * cr), clamp(y + 1.772 * cb));
}

QImage ToQImage(const opj_image_t& image) {
    if (image.numcomps == 0 || image.comps == nullptr) return {};
    const opj_image_comp_t& first = image.comps[0];
    const OPJ_UINT32 w = first.w, h = first.h;
    if (w == 0 || h == 0) return {};
    const OPJ_UINT32 used = std::min<OPJ_UINT32>(image.numcomps, 4);
    for (OPJ_UINT32 c = 0; c < used; ++c) {
        if (image.comps[c].data == nullptr || image.comps[c].w == 0 || image.comps[c].h == 0) return {};
    }
    const bool colour = used >= 3;
    const bool alpha = used == 2 || used == 4;
    QImage out(static_cast<int>(w), static_cast<int>(h),
               alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    if (out.isNull()) return {};
    for (OPJ_UINT32 y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(static_cast<int>(y)));
        for (OPJ_UINT32 x = 0; x < w; ++x) {
            const int a = alpha ? Sample(image.comps[used - 1], x, y, w, h) : 255;
            QRgb rgb;
            if (colour) {
                const int c0 = Sample(image.comps[0], x, y, w, h);
                const int c1 = Sample(image.comps[1], x, y, w, h);
                const int c2 = Sample(image.comps[2], x, y, w, h);
                rgb = image.color_space == OPJ_CLRSPC_SYCC ? YccToRgb(c0, c1, c2) : qRgb(c0, c1, c2);
            } else {
                const int g = Sample(image.comps[0], x, y, w, h);
                rgb = qRgb(g, g, g);
            }
            line[x] = qRgba(qRed(rgb), qGreen(rgb), qBlue(rgb), a);
        }
    }
    return out;
}

}  // namespace

QImage DecodeJpeg2000(std::span<const std::byte> data, QSize fitInto, qint64 maxSamples) {
    OPJ_CODEC_FORMAT format;
    if (StartsWith(data, {0x00, 0x00, 0x00, 0x0C, 'j', 'P', ' ', ' '})) {
        format = OPJ_CODEC_JP2;
    } else if (StartsWith(data, {0xFF, 0x4F, 0xFF, 0x51})) {
        format = OPJ_CODEC_J2K;
    } else {
        return {};
    }
    std::unique_ptr<opj_codec_t, CodecDeleter> codec(opj_create_decompress(format));
    if (!codec) return {};
    opj_set_info_handler(codec.get(), Quiet, nullptr);
    opj_set_warning_handler(codec.get(), Quiet, nullptr);
    opj_set_error_handler(codec.get(), Quiet, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.get(), &parameters)) return {};

    MemoryStream memory{data, 0};
    std::unique_ptr<opj_stream_t, StreamDeleter> stream(opj_stream_create(kStreamBlock, OPJ_TRUE));
    if (!stream) return {};
    opj_stream_set_user_data(stream.get(), &memory, nullptr);
    opj_stream_set_user_data_length(stream.get(), data.size());
    opj_stream_set_read_function(stream.get(), ReadStream);
    opj_stream_set_skip_function(stream.get(), SkipStream);
    opj_stream_set_seek_function(stream.get(), SeekStream);

    opj_image_t* header = nullptr;
    if (!opj_read_header(stream.get(), codec.get(), &header)) {
        opj_image_destroy(header);
        return {};
    }
    std::unique_ptr<opj_image_t, ImageDeleter> image(header);
    if (image->x1 <= image->x0 || image->y1 <= image->y0 || image->numcomps == 0) return {};
    qint64 width = image->x1 - image->x0;
    qint64 height = image->y1 - image->y0;

    // Thumbnails: the smallest resolution level that still covers the cell.
    OPJ_UINT32 reduce = 0;
    if (fitInto.isValid()) {
        while (reduce < kMaxReduce && (width >> (reduce + 1)) >= fitInto.width() &&
               (height >> (reduce + 1)) >= fitInto.height()) {
            ++reduce;
        }
        while (reduce > 0 && !opj_set_decoded_resolution_factor(codec.get(), reduce)) --reduce;
        width = (width + (qint64{1} << reduce) - 1) >> reduce;
        height = (height + (qint64{1} << reduce) - 1) >> reduce;
    }
    if (width * height * image->numcomps > maxSamples) return {};

    if (!opj_decode(codec.get(), stream.get(), image.get()) ||
        !opj_end_decompress(codec.get(), stream.get())) {
        return {};
    }
    QImage out = ToQImage(*image);
    if (!out.isNull() && fitInto.isValid() &&
        (out.width() > fitInto.width() || out.height() > fitInto.height())) {
        out = out.scaled(fitInto, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    return out;
}

}  // namespace lumacore::ui
