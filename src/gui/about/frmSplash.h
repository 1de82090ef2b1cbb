// frmSplash: the name and version over a picture, shown at start and gone by itself after two
// seconds.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;

namespace corvelle {

class frmSplash final : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr, int intervalMs = 2000);

    QLabel* lblVersion = nullptr;
    QTimer Timer;

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace corvelle
