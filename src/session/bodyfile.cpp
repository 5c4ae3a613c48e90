#include "session/bodyfile.h"

#include <optional>

namespace lumacore {

namespace {

char TypeLetter(std::uint16_t unixMode) {
    switch (unixMode & 0xF000) {
        case 0x4000: return 'd';
        case 0xA000: return 'l';
        case 0x2000: return 'c';
        case 0x6000: return 'b';
        case 0x1000: return 'p';
        case 0xC000: return 's';
        case 0x8000: return 'r';
        default: return '-';
    }
}

std::string SafeName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '|') c = '^';
    }
    return out;
}

std::string Seconds(const std::optional<FileTime>& time) {
    return time ? std::to_string(time->seconds) : "0";
}

}  // namespace

std::string BodyfileModeText(std::uint16_t unixMode) {
    if (unixMode == 0) return "r/rrwxrwxrwx";
    const char type = TypeLetter(unixMode);
    std::string text{type, '/', type};
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit) text += (unixMode & (0400 >> bit)) != 0 ? letters[bit] : '-';
    auto special = [&](std::size_t at, std::uint16_t flag, char set) {
        if ((unixMode & flag) == 0) return;
        text[at] = text[at] == 'x' ? set : static_cast<char>(set - 'a' + 'A');
    };
    special(5, 04000, 's');
    special(8, 02000, 's');
    special(11, 01000, 't');
    return text;
}

std::string BodyfileLine(const ListedFile& file) {
    std::string line = "0|/" + SafeName(file.path);
    if (file.deleted) line += " (deleted)";
    line += "|" + std::to_string(file.id) + "|" + BodyfileModeText(file.unixMode) + "|0|0|" +
            std::to_string(file.size) + "|" + Seconds(file.times.accessed) + "|" + Seconds(file.times.modified) +
            "|" + Seconds(file.changed) + "|" + Seconds(file.times.created) + "\n";
    return line;
}

void WriteBodyfile(const FoundFiles& found, std::ostream& out) {
    found.VisitListedFiles([&](const ListedFile& file) { out << BodyfileLine(file); });
}

}  // namespace lumacore
