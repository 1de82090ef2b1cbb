#include "about/ProductLabels.h"

#include "common/Version.h"

#include <QLabel>

namespace corvelle {

QLabel* makeProductNameLabel(QWidget* parent, qreal scale)
{
    auto* label = new QLabel(QStringLiteral("Corvelle"), parent);
    QFont font = label->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * scale);
    label->setFont(font);
    return label;
}

QLabel* makeVersionLabel(QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("V1.0.0"), parent);
    // Read aloud as shown ("V1.2.3"); what it is goes in the description.
    label->setAccessibleDescription(QStringLiteral("Version"));
    label->setText(QString::fromStdString(versionText()));
    return label;
}

} // namespace corvelle
