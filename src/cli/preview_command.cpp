// `preview`: what the desktop program's preview shows for one found file, as text.
#include <filesystem>
#include <iostream>

#include "cli/commands.h"
#include "cli/overwrite_prompt.h"
#include "cli/raw_options.h"
#include "cli/scan_plan.h"
#include "cli/volume_selection.h"
#include "core/scan_mode.h"
#include "preview/image_header.h"
#include "preview/image_type.h"
#include "preview/preview_plan.h"
#include "recovery/destination_guard.h"

namespace lumacore {

namespace {

int Fail(const std::string& message, int code) {
    std::cerr << "lumacore-cli preview: " << message << '\n';
    return code;
}

// The terminal decodes no pictures and opens no applications: a picture is named by its header, and
// every file is then shown the way the preview shows it when the picture does not decode and the
// desktop has no application for it.
std::string PreviewText(PreviewFamily family, const PreviewSource& source, std::span<const std::byte> data) {
    std::string out;
    if (const int type = ImageTypeFromName(source.name); type != 0) {
        out += std::string(ImageFormatName(type)) + " image (type code " + std::to_string(type) + ")";
        if (auto size = ImageDimensionsFromHeader(data, type)) {
            out += ", " + std::to_string(size->width) + " x " + std::to_string(size->height) + " pixels";
        } else {
            out += ", no size in its header";
        }
        out += "\n\n";
    }
    const PreviewPlan plan = PlanPreview(family, source.name, source.size, data, false, {});
    // The dump's rows are joined by CR LF as the window shows them; a terminal takes plain line breaks.
    std::string text = plan.text;
    if (plan.action == PreviewAction::ShowDump) {
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
    }
    out += text;
    if (!text.empty() && text.back() != '\n') out += '\n';
    return out;
}

// --save: the bytes the preview read, never onto the disk being read.
Result<void> SaveBytes(const DeviceMap& devices, const PartitionInfo& volume,
                       const std::filesystem::path& file, std::span<const std::byte> data,
                       bool overwriteConfirmed) {
    Result<FileDescriptor> out = RecoveryOutputGuard(devices, volume).Open(file, overwriteConfirmed);
    if (!out) return out.error();
    if (!WriteAllTo(out->get(), data.data(), data.size()) || out->Close() != 0) {
        return Error::Io("cannot write " + file.string());
    }
    return {};
}

int Show(const DeviceMap& devices, const PartitionInfo& volume, PreviewFamily family,
         const PreviewSource& source, const std::optional<std::string>& save, OverwritePolicy policy) {
    auto data = source.read(PreviewReadLength(family, source.name, source.size));
    if (!data) return Fail("cannot read " + source.name + ": " + data.error().message, kExitFailure);
    std::cout << PreviewText(family, source, *data);
    if (save) {
        if (auto saved = SaveBytes(devices, volume, *save, *data, ConfirmOverwrite(*save, policy)); !saved)
            return Fail(saved.error().message, kExitFailure);
    }
    return kExitOk;
}

}  // namespace

int RunPreviewCommand(const DeviceMap& devices, const std::vector<std::string>& arguments) {
    OptionParser options(
        "lumacore-cli preview",
        "Shows what the desktop program's preview shows for one found file: text kinds as text, "
        "everything else as a hexadecimal dump; a picture is first named with its size.");
    AddVolumeOptions(options);
    AddModeOption(options);
    AddOrphanSweepOption(options);
    options.Value("--file", "PATH", "the found file, named as scan lists it; required")
        .Value("--save", "FILE", "also write the bytes the preview read into FILE");
    AddOverwriteOption(options);
    AddRawOptions(options);
    options.Example("lumacore-cli --image disk.img preview --volume 0 --file Documents/notes.txt",
                    "a deleted text file's first bytes");
    if (auto parsed = options.Parse(arguments); !parsed) return Fail(parsed.error().message, kExitUsage);
    if (PrintHelpIfAsked(options)) return kExitOk;
    auto mode = ModeFromOptions(options);
    if (!mode) return Fail(mode.error().message, kExitUsage);
    const auto path = options.Get("--file");
    if (!path) return Fail("name the found file with --file PATH (as the scan lists it)", kExitUsage);
    const auto save = options.Get("--save");
    const auto policy = OverwritePolicyFrom(options.Get("--overwrite").value_or("ask"));
    if (!policy) return Fail(policy.error().message, kExitUsage);

    // Every found file can be previewed: no filter.
    auto plan = PlanScan(devices, options, *mode, false);
    if (!plan) return Fail(plan.error().message, ExitCodeOf(plan.error()));
    auto found = RunPlannedScan(devices, *plan);
    if (!found)
        return Fail(found.error().message, *mode == SCAN_RAW ? ExitCodeOf(found.error()) : kExitFailure);
    auto source = (*found)->FindForPreview(*path);
    if (!source) return Fail(source.error().message, kExitUsage);
    return Show(devices, plan->volume, (*found)->previewFamily(), *source, save, *policy);
}

}  // namespace lumacore
