#include "session/raw_carving_report.h"

namespace lumacore {

std::string CarvingReportText(const std::vector<CarvingReportLine>& lines) {
    std::string text = "name\ttype\tfirst sector\tlength\tended\tsha256\n";
    for (const CarvingReportLine& line : lines) {
        text += line.name + "\t" + line.type + "\t" + std::to_string(line.firstSector) + "\t" +
                std::to_string(line.length) + "\t" + std::string(RawFileEndText(line.ended)) + "\t" +
                line.sha256 + "\n";
    }
    return text;
}

}  // namespace lumacore
