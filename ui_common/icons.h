#pragma once

#include <QIcon>

namespace vemla {

// An 18 x 18 icon drawn from the SVG of that name in the compiled-in resources.
QIcon LoadIcon(const char* name);

} // namespace vemla
