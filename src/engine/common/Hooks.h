// How long-running engine work talks to whoever drives it: progress, captions, a stop flag,
// a yield callback and messages. The engine never shows anything itself.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace corvelle {

/// Receives a percentage from 0 to 100, as a progress bar would.
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setValue(float percent) = 0;
};

/// Receives the text of a label that the work keeps up to date ("12 File(s) Processed").
class CaptionSink {
public:
    virtual ~CaptionSink() = default;
    virtual void setCaption(std::string_view text) = 0;
};

/// Sets the caption when there is a sink to take it.
inline void setCaptionOn(CaptionSink* sink, std::string_view text)
{
    if (sink != nullptr) {
        sink->setCaption(text);
    }
}

/// A stop request: set by a Stop button (or a signal handler), read by the running loop at
/// its checkpoints. Atomic so that it may be set from another thread.
class StopFlag {
public:
    void request() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    void clear() noexcept { m_requested.store(false, std::memory_order_relaxed); }
    [[nodiscard]] bool requested() const noexcept
    {
        return m_requested.load(std::memory_order_relaxed);
    }

private:
    std::atomic<bool> m_requested{false};
};

enum class MessageIcon { None, Critical, Question, Exclamation, Information };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

/// The application's title, which every message box carries.
inline constexpr std::string_view applicationTitle = "Corvelle";

struct Message {
    std::string text;
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
    std::string title = std::string(applicationTitle);
    /// Why it happened, as the system said it ("Permission denied"); may be empty. A message
    /// box shows the text alone; a line on stderr adds the reason after it.
    std::string reason{};
    /// For a question: the answer Enter gives. No where a Yes cannot be taken back.
    MessageAnswer defaultAnswer = MessageAnswer::Yes;
};

/// Shows a message and returns the answer: a message box in the window, a line on stderr in
/// the command-line program, a recording in tests.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    virtual MessageAnswer show(const Message& message) = 0;
};

/// A sink that writes each message as one line on stderr and answers Ok (or No to a question).
class StderrMessageSink final : public MessageSink {
public:
    MessageAnswer show(const Message& message) override;
};

/// The way a long operation ended. A stop is a normal end, never a failure.
enum class Outcome { Completed, Stopped, Failed };

/// done / total as a percentage, in the single precision a progress bar takes.
float percentOf(double done, double total);

/// The hooks one long operation receives. Every member may be left empty; the helpers then do
/// nothing (messages then go to stderr, so that no failure is silently dropped).
struct WorkHooks {
    ProgressSink* progress = nullptr;
    CaptionSink* caption = nullptr;
    const StopFlag* stop = nullptr;
    std::function<void()> yield;
    MessageSink* messages = nullptr;

    void setProgress(float percent) const
    {
        if (progress != nullptr) {
            progress->setValue(percent);
        }
    }
    void setCaption(std::string_view text) const { setCaptionOn(caption, text); }
    [[nodiscard]] bool stopRequested() const { return stop != nullptr && stop->requested(); }
    void yieldNow() const
    {
        if (yield) {
            yield();
        }
    }
    MessageAnswer report(const Message& message) const;

    /// The end of one unit of work: the progress becomes done / total, the driver gets its
    /// turn, and the answer says whether to go on (false once a stop was asked).
    [[nodiscard]] bool checkpoint(double done, double total) const
    {
        setProgress(percentOf(done, total));
        yieldNow();
        return !stopRequested();
    }
};

} // namespace corvelle
