#include "recovery/recovery_report.h"

#include <cstdio>

namespace lumacore {

namespace {

// XML 1.0 cannot carry control characters at all, not even as references: they are written as the
// sanitiser would have made them.
std::string XmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += static_cast<unsigned char>(c) < 0x20 ? '_' : c;
        }
    }
    return out;
}

void AddTime(std::string& out, const char* element, const std::optional<FileTime>& time) {
    if (!time) return;
    out += "    <";
    out += element;
    out += '>';
    out += Iso8601Utc(*time);
    out += "</";
    out += element;
    out += ">\n";
}

}  // namespace

std::string DfxmlReportText(const std::vector<RecoveredFileRecord>& files, const std::string& source) {
    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<dfxml xmloutputversion=\"1.0\">\n"
        "  <creator>\n    <program>lumacore-cli</program>\n  </creator>\n"
        "  <source>\n    <image_filename>" +
        XmlText(source) + "</image_filename>\n  </source>\n";
    for (const RecoveredFileRecord& file : files) {
        out += "  <fileobject>\n    <filename>" + XmlText(file.path) + "</filename>\n";
        out += "    <filesize>" + std::to_string(file.size) + "</filesize>\n";
        AddTime(out, "mtime", file.times.modified);
        AddTime(out, "atime", file.times.accessed);
        AddTime(out, "crtime", file.times.created);
        if (!file.byteRuns.empty()) {
            out += "    <byte_runs>\n";
            for (const SourceByteRun& run : file.byteRuns) {
                out += "      <byte_run file_offset=\"" + std::to_string(run.fileOffset) +
                       "\" img_offset=\"" + std::to_string(run.imageOffset) + "\" len=\"" +
                       std::to_string(run.length) + "\"/>\n";
            }
            out += "    </byte_runs>\n";
        }
        if (file.sha256) out += "    <hashdigest type=\"sha256\">" + *file.sha256 + "</hashdigest>\n";
        out += "  </fileobject>\n";
    }
    out += "</dfxml>\n";
    return out;
}

std::string Sha256ListText(const std::vector<RecoveredFileRecord>& files) {
    std::string out;
    for (const RecoveredFileRecord& file : files) {
        if (!file.sha256) continue;
        const bool escape = file.path.find_first_of("\\\n") != std::string::npos;
        if (escape) out += '\\';
        out += *file.sha256;
        out += "  ";
        for (const char c : file.path) {
            if (escape && c == '\\') {
                out += "\\\\";
            } else if (escape && c == '\n') {
                out += "\\n";
            } else {
                out += c;
            }
        }
        out += '\n';
    }
    return out;
}

}  // namespace lumacore
