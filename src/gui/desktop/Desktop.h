// The one door through which the windows ask the user something or reach the desktop:
// message boxes now; file dialogs, the Trash and opening files join it as the windows grow.
#pragma once

#include "common/Hooks.h"

#include <memory>

class QWidget;

namespace corvelle {

/// Every question a window asks goes through here, so window logic can be tested offscreen
/// with scripted answers.
class Desktop : public MessageSink {
public:
    /// The parent window of the dialogs shown from now on (may be null).
    virtual void setParentWindow(QWidget* parent) = 0;
};

/// The real desktop: Qt message boxes.
std::unique_ptr<Desktop> makeLinuxDesktop();

} // namespace corvelle
