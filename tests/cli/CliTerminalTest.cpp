// The progress line and the messages as a terminal receives them.
#include "CliTerminal.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

namespace corvelle {
namespace {

/// What a terminal shows last: the text after the final "erase the line" sequence.
std::string lastDrawn(const std::string& written)
{
    const std::size_t erase = written.rfind("\r\033[K");
    return erase == std::string::npos ? written : written.substr(erase + 4);
}

class TerminalCapture {
public:
    TerminalCapture()
        : m_file(std::tmpfile())
    {}
    ~TerminalCapture() { std::fclose(m_file); }
    TerminalCapture(const TerminalCapture&) = delete;
    TerminalCapture& operator=(const TerminalCapture&) = delete;

    [[nodiscard]] std::FILE* file() const { return m_file; }
    [[nodiscard]] std::string written() const
    {
        std::fflush(m_file);
        std::rewind(m_file);
        std::string text;
        for (int c = std::fgetc(m_file); c != EOF; c = std::fgetc(m_file)) {
            text += static_cast<char>(c);
        }
        return text;
    }

private:
    std::FILE* m_file;
};

TEST(TerminalDisplay, theProgressLineEndsOnTheFinalCountOfEachIntake)
{
    TerminalCapture terminal;
    cli::TerminalDisplay display(true, terminal.file());
    // Counts far faster than the redraw interval: most are skipped.
    for (int count = 1; count <= 9594; ++count) {
        display.filesProcessed(count);
    }
    display.intakeDone(9594);
    EXPECT_EQ(lastDrawn(terminal.written()), "Cataloguing: 9594 file(s) processed");

    // A second intake adds to the first.
    display.filesProcessed(1);
    display.filesProcessed(2);
    display.intakeDone(3);
    EXPECT_EQ(lastDrawn(terminal.written()), "Cataloguing: 9597 file(s) processed");
}

TEST(TerminalDisplay, aMessageIsALineOfItsOwnAndTheProgressComesBack)
{
    TerminalCapture terminal;
    cli::TerminalDisplay display(true, terminal.file());
    display.intakeDone(2);
    Message message{"Error adding file '/x/a\tb'", MessageIcon::Information, MessageButtons::Ok};
    message.reason = "Permission denied";
    display.messages().show(message);
    const std::string written = terminal.written();
    EXPECT_NE(
        written.find("\r\033[Kcorvelle-cli: Error adding file '/x/a\\tb': Permission denied\n"),
        std::string::npos)
        << written;
    EXPECT_EQ(lastDrawn(written), "Cataloguing: 2 file(s) processed");
    display.clear();
    EXPECT_EQ(lastDrawn(terminal.written()), "");
}

TEST(TerminalDisplay, withoutATerminalOnlyTheMessagesAreWritten)
{
    TerminalCapture terminal;
    cli::TerminalDisplay display(false, terminal.file());
    display.filesProcessed(1);
    display.intakeDone(1);
    display.say("no duplicates among 1 file catalogued");
    display.clear();
    EXPECT_EQ(terminal.written(), "corvelle-cli: no duplicates among 1 file catalogued\n");
}

} // namespace
} // namespace corvelle
