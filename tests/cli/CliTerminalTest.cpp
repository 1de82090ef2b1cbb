// The progress line and the messages as a terminal receives them.
#include "CliTerminal.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace corvelle {
namespace {

/// What a display wrote, and what a terminal shows last: the text after the final erase.
struct Terminal {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* file = open_memstream(&buffer, &size);

    ~Terminal()
    {
        std::fclose(file);
        std::free(buffer);
    }
    std::string written()
    {
        std::fflush(file);
        return {buffer, size};
    }
    std::string lastDrawn()
    {
        const std::string text = written();
        const std::size_t erase = text.rfind("\r\033[K");
        return erase == std::string::npos ? text : text.substr(erase + 4);
    }
};

TEST(TerminalDisplay, theProgressLineEndsOnTheFinalCountOfEachIntake)
{
    Terminal terminal;
    cli::TerminalDisplay display(true, terminal.file);
    // Counts far faster than the redraw interval: most are skipped.
    for (int count = 1; count <= 9594; ++count) {
        display.filesProcessed(count);
    }
    display.intakeDone(9594);
    EXPECT_EQ(terminal.lastDrawn(), "Cataloguing: 9594 file(s) processed");
    display.filesProcessed(1);
    display.intakeDone(3); // a second intake adds to the first
    EXPECT_EQ(terminal.lastDrawn(), "Cataloguing: 9597 file(s) processed");
}

TEST(TerminalDisplay, aMessageIsALineOfItsOwnAndTheProgressComesBack)
{
    Terminal terminal;
    cli::TerminalDisplay display(true, terminal.file);
    display.intakeDone(2);
    Message message{"Error adding file '/x/a\tb'", MessageIcon::Information, MessageButtons::Ok};
    message.reason = "Permission denied";
    display.messages().show(message);
    EXPECT_NE(terminal.written().find(
                  "\r\033[Kcorvelle-cli: Error adding file '/x/a\\tb': Permission denied\n"),
              std::string::npos);
    EXPECT_EQ(terminal.lastDrawn(), "Cataloguing: 2 file(s) processed");
}

} // namespace
} // namespace corvelle
