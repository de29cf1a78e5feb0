#pragma once

#include "platform/ini_file.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QWidget>

namespace vemla {

// The frame every dialog of vemla has: a title and a close button only.
constexpr Qt::WindowFlags DialogFlags =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;

// Caption, fixed client size and the small font of a dialog; then an OK button (the default,
// Enter presses it) and a "Отмена" button at the given places, calling accept and reject.
void SetUpDialog(QDialog& dialog, const QString& caption, QSize size, QPoint ok, QPoint cancel);

// Places window other centred over window main.
void CenterOver(const QWidget& main, QWidget& other);
// Places a window in the middle of the primary screen's free area.
void CenterOnScreen(QWidget& window);
// Shows a tool window and brings it to the front, out of the task bar when it was minimised.
void BringToFront(QWidget& window);
// Widens a message box so that a window manager shows its caption whole: the box sizes itself
// by its text alone, and a short question under a long caption gets it cut.
void FitCaption(QMessageBox& box);
// The width a title bar needs for the caption with its icon and buttons.
int CaptionWidth(const QString& caption, const QFont& font);

// The stored layout of a window: "Left", "Top", "Height", "Width" of its outer frame and, for
// each list column n from 1, "Column" + n + ".Width". Reading keeps the current value of a
// missing key; a window not shown yet gets its outer size once its frame is known.
void ReadWriteLayout(TIniFile& desktop, const char* section, QWidget& window, QHeaderView* columns,
                     bool reading);

} // namespace vemla
