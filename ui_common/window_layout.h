#pragma once

#include "platform/ini_file.h"

#include <QHeaderView>
#include <QWidget>

namespace vemla {

// Places window other centred over window main.
void CenterOver(const QWidget& main, QWidget& other);

// The stored layout of a tool window: "Left", "Top", "Height", "Width" and, for each list
// column n from 1, "Column" + n + ".Width". Reading keeps the current value of a missing key.
void ReadWriteLayout(TIniFile& desktop, const char* section, QWidget& window, QHeaderView* columns,
                     bool reading);

} // namespace vemla
