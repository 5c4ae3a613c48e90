#include "ui/preview/magick_decoder.h"

#include <Magick++.h>

#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

namespace lumacore::ui {

namespace {

// Only these four coders may read, and nothing may be written, run or fetched. The system's own policy
// stays in force beside this one; where both speak the stricter holds. No "time" resource: the library
// counts it from the program's start, not per picture, and ends the whole program with a fatal error
// once it has passed; the four coders decode in time linear in their pixels, which are capped.
constexpr const char* kSecurityPolicy = R"(<policymap>
  <policy domain="delegate" rights="none" pattern="*"/>
  <policy domain="coder" rights="none" pattern="*"/>
  <policy domain="coder" rights="read" pattern="{PCX,PGX,SUN,TGA}"/>
  <policy domain="filter" rights="none" pattern="*"/>
  <policy domain="path" rights="none" pattern="@*"/>
  <policy domain="module" rights="none" pattern="{MSL,MVG,PS,PDF,XPS,URL,HTTP,HTTPS,FTP,TEXT,LABEL}"/>
  <policy domain="resource" name="thread" value="1"/>
  <policy domain="resource" name="memory" value="512MiB"/>
  <policy domain="resource" name="map" value="512MiB"/>
  <policy domain="resource" name="disk" value="0"/>
  <policy domain="resource" name="width" value="32KP"/>
  <policy domain="resource" name="height" value="32KP"/>
</policymap>)";

bool Initialise() {
    static bool ready = false;
    static std::once_flag once;
    std::call_once(once, [] {
        Magick::InitializeMagick(nullptr);
        MagickCore::ExceptionInfo* exception = MagickCore::AcquireExceptionInfo();
        ready = MagickCore::SetMagickSecurityPolicy(kSecurityPolicy, exception) == MagickCore::MagickTrue;
        MagickCore::DestroyExceptionInfo(exception);
        Magick::ResourceLimits::thread(1);
    });
    return ready;
}

bool AllowedCoder(std::string_view coder) {
    return coder == "PCX" || coder == "PGX" || coder == "SUN" || coder == "TGA";
}

}  // namespace

QImage DecodeWithImageMagick(std::span<const std::byte> data, const char* coder, QSize fitInto,
                             qint64 maxPixels) {
    if (data.empty() || coder == nullptr || !AllowedCoder(coder) || !Initialise()) return {};
    try {
        const Magick::Blob blob(data.data(), data.size());
        // "CODER:" as the file name makes the library take that coder instead of guessing from the data.
        const std::string explicitCoder = std::string(coder) + ":";
        Magick::Image header;
        header.quiet(true);
        header.magick(coder);
        header.fileName(explicitCoder);
        header.ping(blob);
        const qint64 pixels = qint64(header.columns()) * qint64(header.rows());
        if (pixels <= 0 || pixels > maxPixels) return {};

        Magick::Image image;
        image.quiet(true);
        image.magick(coder);
        image.fileName(explicitCoder);
        try {
            image.read(blob);
        } catch (const Magick::Warning&) {
            // A damaged picture that still decoded in part: show what there is.
        }
        if (!image.isValid() || image.columns() == 0 || image.rows() == 0) return {};
        QImage out(static_cast<int>(image.columns()), static_cast<int>(image.rows()),
                   QImage::Format_RGBA8888);
        if (out.isNull()) return {};
        for (int y = 0; y < out.height(); ++y) {
            image.write(0, y, image.columns(), 1, "RGBA", Magick::CharPixel, out.scanLine(y));
        }
        if (fitInto.isValid() && (out.width() > fitInto.width() || out.height() > fitInto.height())) {
            out = out.scaled(fitInto, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
        return out;
    } catch (...) {
        // Every failure of the library on this data is "does not decode".
        return {};
    }
}

}  // namespace lumacore::ui
