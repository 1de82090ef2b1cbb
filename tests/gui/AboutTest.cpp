// The about and splash windows: the version text, the links through the desktop, the splash
// closing by itself.
#include "ScriptedDesktop.h"
#include "about/frmAbout.h"
#include "about/frmSplash.h"
#include "common/Version.h"

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace corvelle {

class AboutTest : public QObject {
    Q_OBJECT

private slots:
    void versionHasNoLeadingZeros()
    {
        QCOMPARE(versionText(1, 2, 3), std::string("V1.2.3"));
        QCOMPARE(versionText(1, 10, 0), std::string("V1.10.0"));
    }

    void aboutShowsTheBuildsVersionAndOpensItsLinks()
    {
        test::ScriptedDesktop desktop;
        frmAbout about(desktop);
        QCOMPARE(about.windowTitle(), QString("About Corvelle"));
        QCOMPARE(about.lblVersion->text(), QString::fromStdString(versionText()));
        emit about.lblMail->linkActivated("#");
        emit about.lblURL->linkActivated("#");
        QCOMPARE(desktop.openedUrls,
                 (std::vector<std::string>{std::string("mailto:") + contactAddress, webAddress}));
        QSignalSpy closed(&about, &QDialog::accepted);
        about.cmdExit->click();
        QCOMPARE(closed.count(), 1);
    }

    void splashClosesByItself()
    {
        frmSplash splash(nullptr, 10);
        QCOMPARE(splash.lblVersion->text(), QString::fromStdString(versionText()));
        QSignalSpy closed(&splash, &QDialog::accepted);
        QVERIFY(closed.wait(5000));
    }
};

} // namespace corvelle

QTEST_MAIN(corvelle::AboutTest)
#include "AboutTest.moc"
