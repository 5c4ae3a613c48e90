// Fuzz target: what the preview does with a found file's bytes short of decoding them: the header sizes
// the command line reads, the dump, and the per-family plan. The first byte picks the type code and the
// family; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "preview/hex_dump_text.h"
#include "preview/image_header.h"
#include "preview/preview_plan.h"

using namespace lumacore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const int typeCode = data[0] % 16;
    const auto family = static_cast<PreviewFamily>((data[0] >> 4) % 4);
    const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data + 1), size - 1);

    (void)ImageDimensionsFromHeader(file, typeCode);
    // Every row but the last is 79 characters and its CR LF; the last shows its own bytes only.
    const auto shown = file.first(std::min<std::size_t>(file.size(), 4096));
    const std::string dump = HexDumpText(shown);
    const std::size_t rows = (shown.size() + 15) / 16;
    const std::size_t last = shown.size() - (rows == 0 ? 0 : (rows - 1) * 16);
    const std::size_t lastWidth = rows == 0 ? 0 : 10 + last * 3 + (last / 4) + 1 + last;
    if (dump.size() != (rows == 0 ? 0 : (rows - 1) * 81 + lastWidth)) std::abort();

    static const char* const kNames[] = {"a.jpg", "a.doc", "a.txt", "Inbox.dbx", "a.bin", "x.c"};
    const char* name = kNames[size % 6];
    const PreviewPlan plan = PlanPreview(family, name, file.size(), file, (size & 1) != 0,
                                         [](const std::string&) { return true; });
    if (plan.byteCount > file.size()) std::abort();
    return 0;
}
