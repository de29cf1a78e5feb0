#pragma once

#include "platform/messages.h"

namespace vemla::test {

// A language for one test's texts; Russian, the default, again when the test ends however it
// ends.
class TLanguageChoice {
  public:
    explicit TLanguageChoice(TLanguage language) { SetLanguage(language); }
    ~TLanguageChoice() { SetLanguage(TLanguage::Russian); }
    TLanguageChoice(const TLanguageChoice&) = delete;
    TLanguageChoice& operator=(const TLanguageChoice&) = delete;
};

} // namespace vemla::test
