#pragma once

#include <QFont>
#include <QString>
#include <QStringList>

namespace vemla {

// The family of the traffic view's font: Courier where it is installed, else the first
// Courier-like monospace of normal weight that is (a font matcher's stand-in for Courier is
// often a thin face), else the system's fixed font.
QString MonospaceFamily(const QStringList& installed, const QString& systemFixed);
// The main window's font: that family at 13 pixels.
QFont ViewFont();

} // namespace vemla
