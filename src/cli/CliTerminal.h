// What corvelle-cli shows on stderr while it works: a live progress line (only on a
// terminal), and the engine's messages, one line each.
#pragma once

#include "common/Hooks.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

namespace corvelle::cli {

/// Every line corvelle-cli writes on stderr starts with this.
inline constexpr std::string_view messagePrefix = "corvelle-cli: ";

/// One line on stderr (or `out`): the prefix, then the text with control characters, "\" and
/// bytes that are not UTF-8 escaped.
void printMessageLine(std::string_view text, std::FILE* out = stderr);

/// A message's line: its text, and its reason after ": " when it has one.
std::string messageLine(const Message& message);

/// "12.5 MiB": a count of bytes for a person, in powers of 1024.
std::string bytesForPeople(double bytes);

/// A count of work done since a moment, and how fast it goes: "120 files/s", "85.2 MiB/s".
class Rate {
public:
    Rate();
    /// `amount` done since the start, as per second: in bytes when `unit` is empty.
    [[nodiscard]] std::string perSecond(double amount, std::string_view unit = {}) const;

private:
    std::chrono::steady_clock::time_point m_start;
};

class TerminalDisplay {
public:
    /// `live`: draw the progress line (stderr is a terminal and no -q). Everything goes to
    /// `out`.
    explicit TerminalDisplay(bool live, std::FILE* out = stderr);
    ~TerminalDisplay();
    TerminalDisplay(const TerminalDisplay&) = delete;
    TerminalDisplay& operator=(const TerminalDisplay&) = delete;

    [[nodiscard]] bool live() const { return m_live; }

    /// The count of files the current intake has processed so far.
    void filesProcessed(std::int64_t processed);
    /// Adds the files of a finished intake to the running total, and shows it: the line ends
    /// on the final count, not on the last one that the redraw interval let through.
    void intakeDone(std::int64_t processed);

    ProgressSink& dedupeProgress() { return m_dedupeProgress; }
    CaptionSink& dedupeStatus() { return m_dedupeStatus; }
    CaptionSink& dedupeCount() { return m_dedupeCount; }

    /// Shows a line of the work going on ("Verifying: ..."), redrawn at most every interval
    /// unless `force`.
    void showWork(std::string_view text, bool force = false);
    /// Runs `work` on another thread, and meanwhile redraws the line `text` gives, about ten
    /// times a second; then draws it a last time. Exceptions of the work reach the caller.
    void showWhile(const std::function<void()>& work, const std::function<std::string()>& text);

    /// Messages: one line on stderr each (see messageLine).
    MessageSink& messages() { return m_messages; }
    /// One line of corvelle-cli's own, printed as a message is.
    void say(std::string_view text);

    /// Removes the progress line, before the program ends or prints something.
    void clear();

private:
    struct DedupeProgress final : ProgressSink {
        TerminalDisplay* owner = nullptr;
        void setValue(float percent) override;
    };
    struct DedupeText final : CaptionSink {
        TerminalDisplay* owner = nullptr;
        std::string* target = nullptr;
        bool drawAtOnce = false; // a new step shows at once; a running count can wait
        void setCaption(std::string_view text) override;
    };
    struct Messages final : MessageSink {
        TerminalDisplay* owner = nullptr;
        MessageAnswer show(const Message& message) override;
    };

    void draw(bool force);

    bool m_live;
    std::FILE* m_out;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_lastDraw{};
    std::int64_t m_filesBefore = 0;
    std::int64_t m_filesNow = 0;
    enum class Stage { Intake, Dedupe, Work };
    Stage m_stage = Stage::Intake;
    std::string m_workText;
    float m_percent = 0.0f;
    std::string m_statusText;
    std::string m_countText;

    DedupeProgress m_dedupeProgress;
    DedupeText m_dedupeStatus;
    DedupeText m_dedupeCount;
    Messages m_messages;
};

} // namespace corvelle::cli
