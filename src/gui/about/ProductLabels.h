// The two labels the about and splash windows share: the product's name and its version.
#pragma once

#include <QtGlobal>

class QLabel;
class QWidget;

namespace corvelle {

/// "Corvelle" in bold, `scale` times the parent's font size.
QLabel* makeProductNameLabel(QWidget* parent, qreal scale);
/// The version text of this build ("V1.0.0" in the layout until it is set).
QLabel* makeVersionLabel(QWidget* parent);

} // namespace corvelle
