#pragma once

#include "engines/raw/format_verdict.h"

namespace lumacore::formats {

// One parser per format family, each in its own file. Every parser reads only through the input,
// walks with a bound, and allocates nothing sized by what it reads.
FormatVerdict ParseJpeg(CarveInput& in);
FormatVerdict ParsePng(CarveInput& in);
FormatVerdict ParseGif(CarveInput& in);
FormatVerdict ParseBmp(CarveInput& in);
FormatVerdict ParseIco(CarveInput& in);
FormatVerdict ParsePcx(CarveInput& in);
FormatVerdict ParseTiff(CarveInput& in);
FormatVerdict ParsePsd(CarveInput& in);
FormatVerdict ParseRiff(CarveInput& in);
FormatVerdict ParseIff(CarveInput& in);
FormatVerdict ParseIsoBmff(CarveInput& in);
FormatVerdict ParseMatroska(CarveInput& in);
FormatVerdict ParseMp3(CarveInput& in);
FormatVerdict ParseFlac(CarveInput& in);
FormatVerdict ParseOgg(CarveInput& in);
FormatVerdict ParseMpegPs(CarveInput& in);
FormatVerdict ParseMpegTs(CarveInput& in);
FormatVerdict ParseAsf(CarveInput& in);
FormatVerdict ParseFlv(CarveInput& in);
FormatVerdict ParseMidi(CarveInput& in);
FormatVerdict ParseZip(CarveInput& in);
FormatVerdict ParsePdf(CarveInput& in);
FormatVerdict ParseRtf(CarveInput& in);
FormatVerdict ParseOle2(CarveInput& in);
FormatVerdict ParseSqlite(CarveInput& in);
FormatVerdict ParseGzip(CarveInput& in);
FormatVerdict ParseBzip2(CarveInput& in);
FormatVerdict ParseXz(CarveInput& in);
FormatVerdict ParseZstd(CarveInput& in);
FormatVerdict Parse7z(CarveInput& in);
FormatVerdict ParseRar(CarveInput& in);
FormatVerdict ParseCab(CarveInput& in);
FormatVerdict ParseAr(CarveInput& in);
FormatVerdict ParseTar(CarveInput& in);
FormatVerdict ParseIso9660(CarveInput& in);
FormatVerdict ParseElf(CarveInput& in);
FormatVerdict ParsePe(CarveInput& in);
FormatVerdict ParsePst(CarveInput& in);
FormatVerdict ParseText(CarveInput& in);
FormatVerdict ParseMail(CarveInput& in);

}  // namespace lumacore::formats
