#pragma once

#include "platform/ini_file.h"
#include "platform/messages.h"

#include <QCoreApplication>
#include <QDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QTranslator>
#include <QWidget>
#include <memory>
#include <vector>

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

// The windows' texts in a language while it lives: vemla's own (English from the embedded
// catalogue; the sources' texts are Russian) and Qt's standard buttons and dialogs (Russian from
// the system's Qt translations; Qt's own texts are English).
class TTranslations {
  public:
    explicit TTranslations(TLanguage language);
    ~TTranslations();
    TTranslations(const TTranslations&) = delete;
    TTranslations& operator=(const TTranslations&) = delete;
    // Whether every catalogue of the language loaded.
    bool Loaded() const { return AllLoaded; }

  private:
    std::vector<std::unique_ptr<QTranslator>> Installed;
    bool AllLoaded = true;
};

// The translations of the language in force; English texts that do not load (a build fault) are
// reported on standard error, and the program goes on in Russian.
std::unique_ptr<TTranslations> InstallTranslations();

} // namespace vemla
