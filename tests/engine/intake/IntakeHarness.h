// A catalogue, a file list and hooks that record everything an intake does, in order.
#pragma once

#include "TestSupport.h"
#include "catalogue/clsDatabase.h"
#include "controls/GridModel.h"
#include "controls/ListColumns.h"
#include "intake/FileIntake.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace corvelle::test {

/// Every progress value, caption, message and yield, as one ordered log.
struct EventLog final : ProgressSink, CaptionSink, MessageSink {
    std::vector<std::string> events;
    std::vector<float> progress;
    std::vector<std::string> captions;
    std::vector<Message> messages;

    void setValue(float percent) override
    {
        progress.push_back(percent);
        events.push_back("progress " + std::to_string(percent));
    }
    void setCaption(std::string_view text) override
    {
        captions.emplace_back(text);
        events.push_back("caption " + std::string(text));
    }
    MessageAnswer show(const Message& message) override
    {
        messages.push_back(message);
        events.push_back("message " + message.text);
        return MessageAnswer::Ok;
    }
    [[nodiscard]] std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> texts;
        for (const Message& m : messages) {
            texts.push_back(m.text);
        }
        return texts;
    }
};

class IntakeHarness {
public:
    IntakeHarness()
    {
        catalogue.OpenProject(store.path() / "data.dat");
        files.ColumnFormat(fileListFormat());
    }

    /// An intake wired to this harness. `stopAtYield` > 0 asks for a stop at that yield.
    std::unique_ptr<FileIntake> intake(IntakeMode mode, int stopAtYield = 0, int readers = 2)
    {
        WorkHooks hooks;
        hooks.progress = &log;
        hooks.caption = &log;
        hooks.messages = &log;
        hooks.stop = &stop;
        auto yields = std::make_shared<int>(0);
        hooks.yield = [this, yields, stopAtYield] {
            log.events.emplace_back("yield");
            if (++*yields == stopAtYield) {
                stop.request();
            }
        };
        auto result = std::make_unique<FileIntake>(catalogue, &files, std::move(hooks));
        result->setMode(mode);
        result->setReaderThreads(readers);
        result->setTrashEnvironment(trash);
        return result;
    }

    /// Scans `folder` with the window's settings: filter "*.*" and a 1 MB checksum.
    Outcome scan(IntakeMode mode, const std::filesystem::path& folder, bool recursive,
                 int stopAtYield = 0, const IntakeFaults& faults = {})
    {
        auto run = intake(mode, stopAtYield);
        run->setFaults(faults);
        return run->Run(IntakeRequest::folderScan(folder, 1024 * 1024, recursive));
    }

    std::vector<CatalogueRecord> records()
    {
        std::vector<CatalogueRecord> out;
        if (catalogue.RecordCount() == 0) {
            return out;
        }
        catalogue.MoveFirst();
        while (!catalogue.Eof()) {
            out.push_back(catalogue.currentRecord());
            catalogue.MoveNext();
        }
        return out;
    }

    /// The full paths of the catalogue, in record order.
    std::vector<std::string> fullPaths()
    {
        std::vector<std::string> out;
        for (const CatalogueRecord& r : records()) {
            out.push_back(r.path + r.file + r.extension);
        }
        return out;
    }

    std::vector<std::vector<std::string>> rows() const
    {
        std::vector<std::vector<std::string>> out;
        for (int row = 1; row < files.RowCount(); ++row) {
            std::vector<std::string> cells;
            for (int col = 0; col < files.ColCount(); ++col) {
                cells.emplace_back(files.CellText(row, col));
            }
            EXPECT_EQ(toString(files.recordIdAt(row)), cells[0]) << "row " << row;
            EXPECT_EQ(toString(files.recordAt(row).size), cells[4]) << "row " << row;
            out.push_back(cells);
        }
        return out;
    }

    TempDir store;
    clsDatabase catalogue;
    GridModel files;
    EventLog log;
    StopFlag stop;
    /// The home trash folder scans pass over: none of the real one's.
    TrashEnvironment trash{store.path() / "Trash", ::geteuid()};
};

} // namespace corvelle::test
