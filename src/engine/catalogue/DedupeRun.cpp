#include "catalogue/DedupeRun.h"

#include "catalogue/clsDatabase.h"

namespace corvelle {

DedupeFiles DedupeFiles::in(const std::filesystem::path& folder)
{
    return DedupeFiles{folder / exportFileName, folder / pairFileName};
}

Outcome runDedupe(clsDatabase& catalogue, const DedupeSettings& settings, const DedupeFiles& files,
                  GridModel& duplicates, const DedupeRunHooks& hooks)
{
    WorkHooks pass = hooks.work;
    pass.caption = nullptr;

    setCaptionOn(hooks.status, stepExportCaption);
    if (catalogue.ExportRecordset(files.exportFile, pass) == Outcome::Failed) {
        return Outcome::Failed;
    }
    setCaptionOn(hooks.status, stepGroupCaption);
    if (pass.stopRequested()) {
        return Outcome::Stopped;
    }
    WorkHooks grouping = pass;
    grouping.caption = hooks.count;
    const Outcome grouped =
        catalogue.FindDupes(files.exportFile, files.pairFile, settings, grouping);
    // Nothing of this run reads the export again: its memory goes before the rows are built.
    catalogue.forgetExport();
    if (grouped == Outcome::Failed) {
        return Outcome::Failed;
    }
    if (pass.stopRequested()) {
        return Outcome::Stopped;
    }
    return catalogue.AddDupes(files.pairFile, duplicates, pass);
}

} // namespace corvelle
