#pragma once

#include "platform/messages.h"

#include <QTranslator>
#include <memory>
#include <vector>

namespace vemla {

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
