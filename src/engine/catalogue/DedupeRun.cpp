#include "catalogue/DedupeRun.h"

#include "catalogue/clsDatabase.h"

namespace corvelle {

DedupeFiles DedupeFiles::in(const std::filesystem::path& folder)
{
    return DedupeFiles{folder / "dedupe.dat", folder / "dupelist.dat"};
}

Outcome runDedupe(clsDatabase& catalogue, const DedupeSettings& settings, const DedupeFiles& files,
                  GridModel& duplicates, const DedupeRunHooks& hooks)
{
    const auto status = [&](std::string_view text) {
        if (hooks.status != nullptr) {
            hooks.status->setCaption(text);
        }
    };
    WorkHooks work{hooks.progress, nullptr, hooks.stop, hooks.yield, hooks.messages};
    const auto stopped = [&] { return hooks.stop != nullptr && hooks.stop->requested(); };

    status(stepExportCaption);
    const Outcome exported = catalogue.ExportRecordset(files.exportFile, work);
    if (exported == Outcome::Failed) {
        return Outcome::Failed;
    }
    status(stepGroupCaption);
    if (stopped()) {
        return Outcome::Stopped;
    }
    work.caption = hooks.count;
    const Outcome grouped = catalogue.FindDupes(files.exportFile, files.pairFile, settings, work);
    if (grouped == Outcome::Failed) {
        return Outcome::Failed;
    }
    if (stopped()) {
        return Outcome::Stopped;
    }
    work.caption = nullptr;
    return catalogue.AddDupes(files.pairFile, duplicates, work);
}

} // namespace corvelle
