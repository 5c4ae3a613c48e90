#include "session/raw_carving_report.h"

#include <algorithm>

namespace lumacore {

std::string CarvingReportText(const std::vector<CarvingReportLine>& lines) {
    const bool pieces = std::any_of(lines.begin(), lines.end(),
                                    [](const CarvingReportLine& line) { return line.fragments.size() > 1; });
    std::string text = "name\ttype\tfirst sector\tlength\tended\tsha256";
    text += pieces ? "\tfragments\n" : "\n";
    for (const CarvingReportLine& line : lines) {
        text += line.name + "\t" + line.type + "\t" + std::to_string(line.firstSector) + "\t" +
                std::to_string(line.length) + "\t" + std::string(RawFileEndText(line.ended)) + "\t" +
                line.sha256;
        if (pieces) {
            text += "\t";
            for (std::size_t i = 0; i < line.fragments.size() && line.fragments.size() > 1; ++i) {
                if (i > 0) text += " ";
                text += std::to_string(line.fragments[i].firstSector) + "+" +
                        std::to_string(line.fragments[i].length);
            }
        }
        text += "\n";
    }
    return text;
}

}  // namespace lumacore
