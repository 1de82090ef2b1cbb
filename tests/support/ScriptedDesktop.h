// A Desktop for window tests: records every question and dialog, and answers from queues
// filled by the test (then No, Cancel, or nothing), so no test ever waits on a real dialog.
#pragma once

#include "desktop/Desktop.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace corvelle::test {

class ScriptedDesktop final : public Desktop {
public:
    struct FileRequest {
        std::string title;
        std::string filter;
        std::string startFolder;
    };

    void setParentWindow(QWidget* parent) override { parentWindow = parent; }

    MessageAnswer show(const Message& message) override
    {
        messages.push_back(message);
        if (message.buttons != MessageButtons::YesNo) {
            return MessageAnswer::Ok;
        }
        return takeFront(answers).value_or(MessageAnswer::No);
    }

    std::vector<std::string> chooseFiles(std::string_view title, std::string_view filter,
                                         std::string_view startFolder) override
    {
        fileRequests.push_back(
            FileRequest{std::string(title), std::string(filter), std::string(startFolder)});
        return takeFront(fileChoices).value_or(std::vector<std::string>{});
    }

    std::optional<std::string> chooseFolder(std::string_view title,
                                            std::string_view startFolder) override
    {
        folderRequests.emplace_back(title);
        folderStarts.emplace_back(startFolder);
        return takeFront(folderChoices).value_or(std::nullopt);
    }

    bool openUrl(std::string_view url) override
    {
        openedUrls.emplace_back(url);
        return true;
    }

    void openPath(std::string_view path) override { openedPaths.emplace_back(path); }
    void showInFolder(std::string_view path) override { shownInFolder.emplace_back(path); }

    /// The texts of the messages shown so far.
    [[nodiscard]] std::vector<std::string> texts() const
    {
        std::vector<std::string> out;
        for (const Message& message : messages) {
            out.push_back(message.text);
        }
        return out;
    }

    // What the test queues.
    std::deque<MessageAnswer> answers;
    std::deque<std::vector<std::string>> fileChoices;
    std::deque<std::optional<std::string>> folderChoices;

    // What the window asked.
    std::vector<Message> messages;
    std::vector<FileRequest> fileRequests;
    std::vector<std::string> folderRequests;
    std::vector<std::string> folderStarts;
    std::vector<std::string> openedUrls;
    std::vector<std::string> openedPaths;
    std::vector<std::string> shownInFolder;
    QWidget* parentWindow = nullptr;

private:
    template <class T> static std::optional<T> takeFront(std::deque<T>& queue)
    {
        if (queue.empty()) {
            return std::nullopt;
        }
        T front = std::move(queue.front());
        queue.pop_front();
        return front;
    }
};

} // namespace corvelle::test
