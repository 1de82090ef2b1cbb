#include "about/frmSplash.h"

#include "about/ProductLabels.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QVBoxLayout>

namespace corvelle {

frmSplash::frmSplash(QWidget* parent, int intervalMs)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint)
{
    setModal(true);
    setFixedSize(360, 200);
    setAccessibleName(QStringLiteral("Corvelle"));

    auto* Label1 = makeProductNameLabel(this, 2.5);
    lblVersion = makeVersionLabel(this);
    for (QLabel* label : {Label1, lblVersion}) {
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    }
    auto* layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(Label1);
    layout->addWidget(lblVersion);
    layout->addStretch();
    Timer.setInterval(intervalMs);
    Timer.setSingleShot(true);
    connect(&Timer, &QTimer::timeout, this, &QDialog::accept);
    Timer.start();
}

void frmSplash::paintEvent(QPaintEvent* /*event*/)
{
    // The picture: two overlapping pages on a blue field, drawn rather than stored.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient field(0, 0, width(), height());
    field.setColorAt(0.0, QColor(30, 64, 125));
    field.setColorAt(1.0, QColor(58, 110, 190));
    painter.fillRect(rect(), field);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 255, 255, 40));
    painter.drawRoundedRect(QRectF(24, 30, 70, 90), 6, 6);
    painter.drawRoundedRect(QRectF(44, 50, 70, 90), 6, 6);
}

} // namespace corvelle
