#include <algorithm>
#include <array>
#include <cctype>

#include "engines/raw/format_verdict.h"
#include "engines/raw/formats/format_parsers.h"

namespace lumacore {

namespace {

using namespace formats;

struct Binding {
    std::string_view extension;
    FormatParser parser;
};

// Which parser ends which type of the catalogue. Types not listed are carved from header to header.
constexpr std::array kBindings = std::to_array<Binding>({
    {"jpg", ParseJpeg},      {"jpeg", ParseJpeg},     {"png", ParsePng},      {"mng", ParsePng},
    {"jng", ParsePng},       {"apng", ParsePng},      {"gif", ParseGif},      {"bmp", ParseBmp},
    {"dib", ParseBmp},       {"ico", ParseIco},       {"cur", ParseIco},      {"pcx", ParsePcx},
    {"tif", ParseTiff},      {"tiff", ParseTiff},     {"cr2", ParseTiff},     {"nef", ParseTiff},
    {"nrw", ParseTiff},      {"dng", ParseTiff},      {"arw", ParseTiff},     {"sr2", ParseTiff},
    {"srf", ParseTiff},      {"orf", ParseTiff},      {"rw2", ParseTiff},     {"pef", ParseTiff},
    {"erf", ParseTiff},      {"3fr", ParseTiff},      {"kdc", ParseTiff},     {"mos", ParseTiff},
    {"iiq", ParseTiff},      {"dcr", ParseTiff},      {"psd", ParsePsd},      {"psb", ParsePsd},
    {"wav", ParseRiff},      {"avi", ParseRiff},      {"webp", ParseRiff},    {"ani", ParseRiff},
    {"rmi", ParseRiff},      {"cdr", ParseRiff},      {"aif", ParseIff},      {"aiff", ParseIff},
    {"mp4", ParseIsoBmff},   {"m4a", ParseIsoBmff},   {"m4v", ParseIsoBmff},  {"m4b", ParseIsoBmff},
    {"mov", ParseIsoBmff},   {"3gp", ParseIsoBmff},   {"3g2", ParseIsoBmff},  {"heic", ParseIsoBmff},
    {"avif", ParseIsoBmff},  {"cr3", ParseIsoBmff},   {"jp2", ParseIsoBmff},  {"f4v", ParseIsoBmff},
    {"mkv", ParseMatroska},  {"webm", ParseMatroska}, {"mka", ParseMatroska}, {"mp3", ParseMp3},
    {"flac", ParseFlac},     {"ogg", ParseOgg},       {"opus", ParseOgg},     {"ogv", ParseOgg},
    {"mpg", ParseMpegPs},    {"mpeg", ParseMpegPs},   {"vob", ParseMpegPs},   {"ts", ParseMpegTs},
    {"wmv", ParseAsf},       {"wma", ParseAsf},       {"asf", ParseAsf},      {"flv", ParseFlv},
    {"mid", ParseMidi},      {"zip", ParseZip},       {"docx", ParseZip},     {"xlsx", ParseZip},
    {"pptx", ParseZip},      {"odt", ParseZip},       {"ods", ParseZip},      {"odp", ParseZip},
    {"odg", ParseZip},       {"epub", ParseZip},      {"jar", ParseZip},      {"apk", ParseZip},
    {"xps", ParseZip},       {"vsdx", ParseZip},      {"kmz", ParseZip},      {"pdf", ParsePdf},
    {"ai", ParsePdf},        {"rtf", ParseRtf},       {"doc", ParseOle2},     {"xls", ParseOle2},
    {"ppt", ParseOle2},      {"msg", ParseOle2},      {"msi", ParseOle2},     {"vsd", ParseOle2},
    {"sqlite", ParseSqlite}, {"db", ParseSqlite},     {"gz", ParseGzip},      {"tgz", ParseGzip},
    {"bz2", ParseBzip2},     {"xz", ParseXz},         {"zst", ParseZstd},     {"7z", Parse7z},
    {"rar", ParseRar},       {"cab", ParseCab},       {"deb", ParseAr},       {"a", ParseAr},
    {"tar", ParseTar},       {"iso", ParseIso9660},   {"elf", ParseElf},      {"exe", ParsePe},
    {"dll", ParsePe},        {"pst", ParsePst},       {"ost", ParsePst},      {"html", ParseText},
    {"htm", ParseText},      {"xml", ParseText},      {"svg", ParseText},     {"txt", ParseText},
    {"sh", ParseText},       {"py", ParseText},       {"php", ParseText},     {"json", ParseText},
    {"csv", ParseText},      {"eml", ParseMail},      {"mbox", ParseMail},    {"vcf", ParseText},
    {"ics", ParseText},      {"tex", ParseText},      {"ps", ParseText},      {"eps", ParseText},
    {"m3u", ParseText},      {"pl", ParseText},       {"srt", ParseText},     {"kml", ParseText},
    {"gpx", ParseText},      {"rss", ParseText},
});

}  // namespace

FormatParser FindFormatParser(std::string_view extension) {
    for (const Binding& binding : kBindings) {
        if (binding.extension.size() != extension.size()) continue;
        if (std::equal(extension.begin(), extension.end(), binding.extension.begin(),
                       [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; })) {
            return binding.parser;
        }
    }
    return nullptr;
}

}  // namespace lumacore
