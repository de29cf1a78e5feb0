#include "platform/cp1251.h"
#include "platform/messages.h"
#include "tests/support/language.h"

#include <array>
#include <gtest/gtest.h>
#include <set>

namespace vemla {
namespace {

// The places %1..%9 a text fills.
std::multiset<char> Places(std::string_view text) {
    std::multiset<char> places;
    for (size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at + 1))
        if (at + 1 < text.size() && text[at + 1] >= '1' && text[at + 1] <= '9')
            places.insert(text[at + 1]);
    return places;
}

bool HasCyrillic(std::string_view utf8) {
    // Cyrillic letters are D0..D3 xx in UTF-8.
    for (unsigned char ch : utf8)
        if (ch >= 0xD0 && ch <= 0xD3) return true;
    return false;
}

TEST(Messages, EveryMessageHasBothLanguagesWithTheSamePlaces) {
    for (int i = 0; i < static_cast<int>(TMessage::Count); ++i) {
        const auto id = static_cast<TMessage>(i);
        const std::string_view russian = CatalogueText(id, TLanguage::Russian);
        const std::string_view english = CatalogueText(id, TLanguage::English);
        ASSERT_FALSE(russian.empty()) << "message " << i;
        ASSERT_FALSE(english.empty()) << "message " << i;
        EXPECT_EQ(Places(russian), Places(english)) << russian << " / " << english;
        EXPECT_FALSE(HasCyrillic(english)) << english;
        // Every Russian text can be written in CP1251, the encoding of records and logs.
        EXPECT_EQ(Cp1251ToUtf8(Utf8ToCp1251(std::string(russian))), russian);
    }
}

TEST(Messages, PlacesAreFilledOnceInTheLanguagesOrder) {
    struct {
        TLanguage Language;
        TMessage Id;
        std::array<const char*, 3> Arguments;
        const char* Text; // UTF-8
    } cases[] = {
        {TLanguage::Russian, TMessage::PortOpened, {"COM 3", "", ""}, "COM 3: открыт"},
        {TLanguage::English,
         TMessage::PortOpened,
         {"COM 3", ", parity mark", ""},
         "COM 3: opened, parity mark"},
        // An argument's own "%2" is a file name, not a place.
        {TLanguage::English,
         TMessage::TriggerFileLoadError,
         {"a%2.txt", "x", ""},
         "Error loading file \"a%2.txt\": x"},
        {TLanguage::Russian,
         TMessage::TriggerSyntaxError,
         {"syntax error", "5", "}"},
         "syntax error в строке 5 ,около `}'"},
        {TLanguage::English,
         TMessage::TriggerSyntaxError,
         {"syntax error", "5", "}"},
         "syntax error in line 5 near `}'"},
        // A place given twice, and a text without places.
        {TLanguage::English,
         TMessage::PermissionJoinGroup,
         {"dialout", "", ""},
         "the device belongs to group dialout: sudo usermod -aG dialout $USER, then log in again"},
        {TLanguage::Russian, TMessage::StateWaiting, {"", "", ""}, "ожидание устройства"},
    };
    for (const auto& c : cases) {
        test::TLanguageChoice language(c.Language);
        // Arguments beyond a text's places are not used.
        const std::string filled =
            MessageText(c.Id, {c.Arguments[0], c.Arguments[1], c.Arguments[2]});
        EXPECT_EQ(Cp1251ToUtf8(filled), c.Text);
    }
}

TEST(Messages, LanguageNames) {
    struct {
        const char* Value;
        const char* Locale;
        std::optional<TLanguage> Language;
    } cases[] = {
        {"ru", "en_US.UTF-8", TLanguage::Russian},
        {"en", "ru_RU.UTF-8", TLanguage::English},
        {"auto", "ru_RU.UTF-8", TLanguage::Russian},
        {"auto", "ru-RU", TLanguage::Russian},
        {"auto", "de_DE.UTF-8", TLanguage::English},
        {"auto", "", TLanguage::English},
        {"auto", "C", TLanguage::English},
        {"xx", "ru_RU", std::nullopt},
        {"", "ru_RU", std::nullopt},
        {"EN", "", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseLanguage(c.Value, c.Locale), c.Language) << c.Value << " " << c.Locale;
}

} // namespace
} // namespace vemla
