// The one door through which the windows ask the user something or reach the desktop: message
// boxes, the file and folder choosers, and opening addresses with the desktop's handlers.
#pragma once

#include "common/Hooks.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace corvelle {

/// Every question a window asks goes through here, so window logic can be tested offscreen
/// with scripted answers. Paths are the file system's bytes.
class Desktop : public MessageSink {
public:
    /// The parent window of the dialogs shown from now on (may be null).
    virtual void setParentWindow(QWidget* parent) = 0;

    /// Lets the user pick existing files, starting in `startFolder`; their full paths, or none
    /// when cancelled. `filter` is "Description|pattern" ("All Files (*.*)|*.*").
    virtual std::vector<std::string> chooseFiles(std::string_view title, std::string_view filter,
                                                 std::string_view startFolder) = 0;
    /// Lets the user pick an existing folder, starting in `startFolder`; nothing when
    /// cancelled.
    virtual std::optional<std::string> chooseFolder(std::string_view title,
                                                    std::string_view startFolder) = 0;
    /// Opens an address (a web page, "mailto:…", a local file's URL) with the desktop's
    /// handler. False when the desktop could not.
    virtual bool openUrl(std::string_view url) = 0;
    /// Opens a file with the desktop's default handler for it. `path` is the file system's
    /// bytes, whatever they are. Reports nothing.
    virtual void openPath(std::string_view path) = 0;
    /// Shows the file in the file manager: selected in its folder where the file manager can
    /// do that, otherwise its folder opened. Reports nothing.
    virtual void showInFolder(std::string_view path) = 0;
};

/// The real desktop: Qt message boxes and dialogs, and the desktop's handlers.
std::unique_ptr<Desktop> makeLinuxDesktop();

} // namespace corvelle
