// The picture adapter on real files of every type code (tests/fixtures/pictures, made by
// make-pictures.sh), its size bound, and its behaviour on damaged and random data.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTest>
#include <vector>

#include "preview/image_header.h"
#include "preview/image_type.h"
#include "ui/preview/image_decoder.h"

namespace lumacore {

namespace {

std::vector<std::byte> ReadPicture(const QString& name) {
    QFile file(QStringLiteral(LUMACORE_SOURCE_DIR "/tests/fixtures/pictures/") + name);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QByteArray bytes = file.readAll();
    const auto* first = reinterpret_cast<const std::byte*>(bytes.constData());
    return {first, first + bytes.size()};
}

QStringList Samples() {
    return QDir(QStringLiteral(LUMACORE_SOURCE_DIR "/tests/fixtures/pictures"))
        .entryList(QDir::Files, QDir::Name);
}

void PutU32le(std::vector<std::byte>& data, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) data[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(v >> (8 * i));
}
void PutU16be(std::vector<std::byte>& data, std::size_t at, std::uint16_t v) {
    data[at] = static_cast<std::byte>(v >> 8);
    data[at + 1] = static_cast<std::byte>(v);
}
void PutU32be(std::vector<std::byte>& data, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        data[at + static_cast<std::size_t>(i)] = static_cast<std::byte>(v >> (24 - 8 * i));
}

// Whatever a decoder makes of bad data, it is a null image or a picture within the bound.
bool Sane(const QImage& image) {
    return image.isNull() || qint64{image.width()} * image.height() <= ui::kMaxDecodedPixels;
}

}  // namespace

class ImageDecoderTest : public QObject {
    Q_OBJECT

  private Q_SLOTS:
    void everyTypeCodeWithASampleDecodes() {
        const QStringList samples = Samples();
        QVERIFY(samples.size() >= 15);
        QSet<int> codes;
        for (const QString& name : samples) {
            const int code = ImageTypeFromName(name.toStdString());
            QVERIFY2(code != 0, qPrintable(name));
            codes.insert(code);
            const auto data = ReadPicture(name);
            const QImage image = ui::DecodeImage(data, code);
            QVERIFY2(!image.isNull(), qPrintable(name));
            QCOMPARE(image.size(), QSize(48, 32));
            // The gradient runs blue to red from left to right and a white bar crosses rows 12 to 15;
            // the one-bit and grey kinds keep only the bar.
            const QRgb bar = image.pixel(24, 13);
            QVERIFY2(qRed(bar) > 200 && qGreen(bar) > 200 && qBlue(bar) > 200, qPrintable(name));
            const bool colour = !name.endsWith(QStringLiteral("wbmp")) && code != 13;
            if (colour) {
                const QRgb left = image.pixel(1, 2), right = image.pixel(46, 2);
                QVERIFY2(qBlue(left) > 180 && qRed(left) < 80, qPrintable(name));
                QVERIFY2(qRed(right) > 180 && qBlue(right) < 80, qPrintable(name));
            }
            // Thumbnails come back scaled into their cell.
            const QImage thumbnail = ui::DecodeImage(data, code, QSize(16, 16));
            QVERIFY2(!thumbnail.isNull() && thumbnail.width() <= 16 && thumbnail.height() <= 16,
                     qPrintable(name));
            // The command line's header reading agrees where it reads the size.
            if (auto size = ImageDimensionsFromHeader(data, code)) {
                QCOMPARE(QSize(int(size->width), int(size->height)), QSize(48, 32));
            }
        }
        // Every code but WMF/EMF (10) has a sample, and decodes; sample.wbmp is named code 1 (its last three
        // characters), decodes all the same, and decodes under its own code 9 too.
        QCOMPARE(codes.size(), 13);
        QVERIFY(!codes.contains(10) && !codes.contains(9));
        QCOMPARE(ui::DecodeImage(ReadPicture(QStringLiteral("sample.wbmp")), 9).size(), QSize(48, 32));
    }

    // The picture library's own "time" limit ran from the program's start, not per picture: a TGA
    // previewed more than 20 s after start ended the whole program. A preview must work at any time.
    void legacyPicturesStillDecodeLongAfterStart() {
        QTest::qWait(21'000);
        for (const char* name : {"sample.tga", "sample.pcx"}) {
            const auto data = ReadPicture(QLatin1String(name));
            const QImage image = ui::DecodeImage(data, ImageTypeFromName(name));
            QCOMPARE(image.size(), QSize(48, 32));
        }
    }

    void headersClaimingHugePicturesAreRefusedBeforeDecoding() {
        // 20000 x 20000 = 400 megapixels, claimed by the headers of otherwise real files.
        auto bmp = ReadPicture(QStringLiteral("sample.bmp"));
        PutU32le(bmp, 18, 20000);
        PutU32le(bmp, 22, 20000);
        auto jpeg = ReadPicture(QStringLiteral("sample.jpg"));
        std::size_t sof = 2;
        while (sof + 9 < jpeg.size() && !(jpeg[sof] == std::byte{0xFF} && jpeg[sof + 1] == std::byte{0xC0}))
            ++sof;
        QVERIFY(sof + 9 < jpeg.size());
        PutU16be(jpeg, sof + 5, 20000);
        PutU16be(jpeg, sof + 7, 20000);
        auto j2k = ReadPicture(QStringLiteral("sample.j2k"));
        PutU32be(j2k, 8, 20000);  // SIZ: Xsiz and Ysiz
        PutU32be(j2k, 12, 20000);
        auto pcx = ReadPicture(QStringLiteral("sample.pcx"));
        pcx[8] = std::byte{0x1F};  // Xmax, Ymax = 20000 - 1
        pcx[9] = std::byte{0x4E};
        pcx[10] = std::byte{0x1F};
        pcx[11] = std::byte{0x4E};
        const std::pair<std::vector<std::byte>*, int> cases[] = {
            {&bmp, 1}, {&jpeg, 3}, {&j2k, 11}, {&pcx, 8}};
        for (const auto& [data, code] : cases) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY2(ui::DecodeImage(*data, code).isNull(), qPrintable(QString::number(code)));
            QVERIFY2(ui::DecodeImage(*data, code, QSize(96, 96)).isNull(), qPrintable(QString::number(code)));
            QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(code)));
        }
    }

    void damagedAndRandomDataNeverTakesTheProgramDown() {
        QRandomGenerator random(11);
        int decodedDamaged = 0;
        for (const QString& name : Samples()) {
            const int code = ImageTypeFromName(name.toStdString());
            const auto data = ReadPicture(name);
            // Cut short at many lengths.
            const std::size_t step = data.size() / 41 + 1;
            for (std::size_t length = 0; length < data.size(); length += step) {
                QVERIFY(Sane(ui::DecodeImage(std::span(data).first(length), code)));
            }
            // Bytes overwritten at random places, headers included.
            for (int round = 0; round < 60; ++round) {
                auto damaged = data;
                const int hits = 1 + static_cast<int>(random.bounded(8));
                for (int i = 0; i < hits; ++i) {
                    const std::size_t at = random.bounded(static_cast<quint32>(
                        std::min<std::size_t>(damaged.size(), round % 2 ? 64 : damaged.size())));
                    damaged[at] = static_cast<std::byte>(random.bounded(256));
                }
                const QImage image = ui::DecodeImage(damaged, code, round % 3 == 0 ? QSize(20, 20) : QSize());
                QVERIFY(Sane(image));
                decodedDamaged += image.isNull() ? 0 : 1;
            }
        }
        // Random bytes under every type code.
        for (int code = 0; code <= 15; ++code) {
            for (std::size_t size : {1u, 7u, 64u, 700u, 9000u}) {
                std::vector<std::byte> noise(size);
                for (auto& b : noise) b = static_cast<std::byte>(random.bounded(256));
                QVERIFY(ui::DecodeImage(noise, code).isNull() || code == 7 || code == 9);
            }
        }
        // The damage hit pixels often enough for decoders to have worked on broken data, not only
        // refused it at the header.
        QVERIFY(decodedDamaged > 50);
    }
};

}  // namespace lumacore

QTEST_MAIN(lumacore::ImageDecoderTest)
#include "image_decoder_test.moc"
