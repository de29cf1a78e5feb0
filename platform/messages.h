#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

namespace vemla {

// The language of vemla's own texts: the records' messages, the trigger loader's errors, the
// status texts and, through Qt's translations, the windows.
enum class TLanguage { Russian, English };

// Set once by a program's main before any thread starts, as an installed Qt translator is;
// Russian when nobody sets it. Reading it from any thread is safe.
void SetLanguage(TLanguage language);
TLanguage CurrentLanguage();

// "ru", "en" or "auto" (Russian when the user's locale is Russian, English otherwise).
std::optional<TLanguage> ParseLanguage(std::string_view value, std::string_view localeName);

// Every message of the layers below the windows, one id each. A message's arguments take the
// places %1, %2, ... so that each language keeps its own word order.
enum class TMessage {
    PortOpened,
    PortClosedByUser,
    PortNotSent,
    PortNotForwarded,
    PortReceiveOverrun,
    PortNewSettings,
    PortParityMark,
    PortParitySpace,
    PortPeerLine,
    TapNoTriggers,
    PeriodTooShort,
    TriggerFileOpenError,
    TriggerFileLoadError,
    TriggerSyntaxError,
    TriggerConflict,
    TriggerMaskError,
    TriggerTemplateError,
    TriggerSwitchedOff,
    TriggerMissingCommand,
    TriggerTooManyCommands,
    TriggerAnswerError,
    StateOpen,
    StateClosed,
    StateWaiting,
    StateApplicationConnected,
    StateApplicationAwaited,
    StateClosedByUser,
    LineRawTcp,
    Counters,
    CountersUnmatched,
    SendHexOddDigits,
    SendHexBadDigit,
    SendBadEscape,
    SendTemplateAt,
    SendTemplateBadElement,
    SendTemplateNoRequest,
    SendTemplateChecksumRange,
    SettingsNoPort,
    SettingsBadNetPort,
    SettingsBadRate,
    SettingsBadGap,
    SettingsBadPacketSize,
    SettingsUntilExit,
    SettingsNotSaved,
    ScrollbackOutOfRange,
    FileOpenError,
    LogLinesNotSaved,
    LogLinesSavedTo,
    ConfigMissing,
    ConfigNotRead,
    ConfigBadLanguage,
    SecondPortIsDevicePort,
    MainCaption,
    CaptionWarning,
    CaptionError,
    PermissionSandboxed,
    PermissionLogInAgain,
    PermissionJoinGroup,
    ServerLongNegotiation,
    ServerRefusedRfc2217,
    ServerDidNotConfirm,
    CommandRate,
    CommandDataBits,
    CommandParity,
    CommandStopBits,
    CommandFlowControl,
    CommandPurge,
    ApplicationSet,
    PtyLinkNotALink,
    Count
};

// The message in the current language, in CP1251, with its places filled by the arguments
// (CP1251 too) as given: an argument's own "%1" stays as it is.
std::string MessageText(TMessage id, std::initializer_list<std::string_view> arguments = {});
// A language's text of a message as the catalogue holds it (UTF-8, places unfilled).
std::string_view CatalogueText(TMessage id, TLanguage language);

} // namespace vemla
