#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engines/raw/signature_entry.h"

namespace lumacore {

// The signature search's options ("SetQuickOptions..."): the size limit, the sector range inside the
// chosen partition and the file types, without any window. The dialog shows these values and texts
// and hands its edits and check boxes back.
class RawOptions {
  public:
    // One row of the file-type list: a run of consecutive entries with the same description.
    struct Row {
        std::string extension;
        std::string description;
        std::size_t firstEntry = 0;
        bool checked = false;
    };

    enum class Verdict { Accepted, StartTooLow, EndTooHigh, StartNotBeforeEnd };
    struct Outcome {
        Verdict verdict = Verdict::Accepted;
        std::string message;  // empty when accepted
        // The value the refused field is reset to (start or end), shown again in its edit.
        std::optional<std::uint32_t> resetStart;
        std::optional<std::uint32_t> resetEnd;
    };

    // `lowest` and `highest` are the partition's first and end sectors; a start or end of 0 means "not
    // chosen yet" and shows the partition's bound. Loads the signature list when it is empty.
    RawOptions(std::uint32_t lowest, std::uint32_t highest, std::uint32_t scanStart, std::uint32_t scanEnd,
               int sizeLimitKb, RawTypeSelection& selection);

    std::uint32_t lowest() const { return lowest_; }
    std::uint32_t highest() const { return highest_; }
    std::uint32_t start() const { return start_; }
    std::uint32_t end() const { return end_; }
    int sizeLimit() const { return sizeLimit_; }

    std::string LowestText() const;   // "> %d"
    std::string HighestText() const;  // "< %d"
    std::string TotalText() const;    // "%d", highest - lowest

    std::vector<Row>& rows() { return rows_; }
    const std::vector<Row>& rows() const { return rows_; }
    void SelectAll();
    void DeselectAll();

    // OK: checks the edits in the dialog's order. When one is refused the dialog stays open with the
    // message, and the refused field goes back to its bound. When all pass, the values are kept and
    // every entry takes its row's check state.
    Outcome Accept(std::int64_t start, std::int64_t end, int sizeLimitKb);

  private:
    std::uint32_t lowest_;
    std::uint32_t highest_;
    std::uint32_t start_;
    std::uint32_t end_;
    int sizeLimit_;
    RawTypeSelection& selection_;
    std::vector<Row> rows_;
};

// The dialog's fixed texts.
inline constexpr const char* kRawOptionsTitle = "SetQuickOptions...";
inline constexpr const char* kRawOptionsIntro = "Search by any or all of the criteria below.";
inline constexpr const char* kRawOptionsSizeLabel = "Maximal file size(KB) : ";
inline constexpr const char* kRawOptionsStartLabel = "Start Sector : ";
inline constexpr const char* kRawOptionsEndLabel = "End Sector :  ";
inline constexpr const char* kRawOptionsTotalLabel = "Total Sectors : ";
inline constexpr const char* kRawOptionsTypeLabel = "File Type :";
inline constexpr const char* kRawOptionsSelectAll = "Select All";
inline constexpr const char* kRawOptionsDeselectAll = "Deselect All";

}  // namespace lumacore
