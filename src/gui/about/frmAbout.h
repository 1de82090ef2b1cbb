// frmAbout: the product's name and version, the maker, and links to write to or visit them.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace corvelle {

class Desktop;

/// The maker's line and addresses the about window shows.
inline constexpr const char* makerLine = "The Corvelle developers, 2026";
inline constexpr const char* contactAddress = "corvelle@example.org";
inline constexpr const char* webAddress = "https://example.org/corvelle/";

class frmAbout final : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(Desktop& desktop, QWidget* parent = nullptr);

    QLabel* lblVersion = nullptr;
    QLabel* lblMail = nullptr;
    QLabel* lblURL = nullptr;
    QPushButton* cmdExit = nullptr;

private:
    void lblMail_Click();
    void lblURL_Click();

    Desktop& m_desktop;
};

} // namespace corvelle
