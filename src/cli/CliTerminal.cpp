#include "CliTerminal.h"

#include "CliOutput.h"

#include <array>
#include <cstdio>
#include <future>

namespace corvelle::cli {
namespace {

/// Redrawing more often than this only costs time; nobody reads that fast.
constexpr auto redrawInterval = std::chrono::milliseconds(100);
constexpr int barWidth = 24;

} // namespace

void printMessageLine(std::string_view text, std::FILE* out)
{
    const std::string line = std::string(messagePrefix) + escapeReadable(text) + "\n";
    std::fputs(line.c_str(), out);
    std::fflush(out);
}

std::string messageLine(const Message& message)
{
    return message.reason.empty() ? message.text : message.text + ": " + message.reason;
}

std::string bytesForPeople(double bytes)
{
    static constexpr std::array<const char*, 5> units{"bytes", "KiB", "MiB", "GiB", "TiB"};
    std::size_t unit = 0;
    while (bytes >= 1024.0 && unit + 1 < units.size()) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

Rate::Rate()
    : m_start(std::chrono::steady_clock::now())
{}

std::string Rate::perSecond(double amount, std::string_view unit) const
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_start;
    const double rate = elapsed.count() > 0.0 ? amount / elapsed.count() : 0.0;
    if (unit.empty()) {
        return bytesForPeople(rate) + "/s";
    }
    return withThousands(static_cast<std::int64_t>(rate + 0.5)) + " " + std::string(unit) + "/s";
}

TerminalDisplay::TerminalDisplay(bool live, std::FILE* out)
    : m_live(live)
    , m_out(out)
{
    m_dedupeProgress.owner = this;
    m_dedupeStatus.owner = this;
    m_dedupeStatus.target = &m_statusText;
    m_dedupeStatus.drawAtOnce = true;
    m_dedupeCount.owner = this;
    m_dedupeCount.target = &m_countText;
    m_messages.owner = this;
}

TerminalDisplay::~TerminalDisplay()
{
    clear();
}

void TerminalDisplay::intakeDone(std::int64_t processed)
{
    m_filesBefore += processed;
    m_filesNow = 0;
    draw(true);
}

void TerminalDisplay::clear()
{
    if (m_drawn) {
        std::fputs("\r\033[K", m_out);
        std::fflush(m_out);
        m_drawn = false;
    }
}

void TerminalDisplay::draw(bool force)
{
    if (!m_live) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (!force && m_drawn && now - m_lastDraw < redrawInterval) {
        return;
    }
    m_lastDraw = now;
    std::string line = "\r\033[K";
    if (m_stage == Stage::Intake) {
        line += "Cataloguing: " + counted(m_filesBefore + m_filesNow, "file") + " processed";
    } else if (m_stage == Stage::Work) {
        line += m_workText;
    } else {
        const int filled = static_cast<int>(m_percent / 100.0f * barWidth + 0.5f);
        line += '[';
        for (int i = 0; i < barWidth; ++i) {
            line += i < filled ? '#' : '-';
        }
        char percent[16];
        std::snprintf(percent, sizeof percent, "] %3d%%  ", static_cast<int>(m_percent));
        line += percent;
        line += m_statusText;
        if (!m_countText.empty()) {
            line += "  " + m_countText;
        }
    }
    std::fputs(line.c_str(), m_out);
    std::fflush(m_out);
    m_drawn = true;
}

void TerminalDisplay::filesProcessed(std::int64_t processed)
{
    m_filesNow = processed;
    draw(false);
}

void TerminalDisplay::DedupeProgress::setValue(float percent)
{
    owner->m_stage = Stage::Dedupe;
    owner->m_percent = percent;
    owner->draw(false);
}

void TerminalDisplay::DedupeText::setCaption(std::string_view text)
{
    owner->m_stage = Stage::Dedupe;
    target->assign(text);
    owner->draw(drawAtOnce);
}

void TerminalDisplay::showWork(std::string_view text, bool force)
{
    m_stage = Stage::Work;
    m_workText = text;
    draw(force);
}

void TerminalDisplay::showWhile(const std::function<void()>& work,
                                const std::function<std::string()>& text)
{
    if (!m_live) {
        work();
        return;
    }
    std::future<void> done = std::async(std::launch::async, work);
    while (done.wait_for(redrawInterval) != std::future_status::ready) {
        showWork(text());
    }
    showWork(text(), true);
    done.get();
}

void TerminalDisplay::say(std::string_view text)
{
    const bool redraw = m_drawn;
    clear();
    printMessageLine(text, m_out);
    if (redraw) {
        draw(true);
    }
}

MessageAnswer TerminalDisplay::Messages::show(const Message& message)
{
    owner->say(messageLine(message));
    return message.buttons == MessageButtons::YesNo ? MessageAnswer::No : MessageAnswer::Ok;
}

} // namespace corvelle::cli
