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
    label->setAccessibleName(QStringLiteral("Version"));
    label->setText(QString::fromStdString(versionText()));
    return label;
}

} // namespace corvelle
