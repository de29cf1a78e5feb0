#include "platform/messages.h"

#include "platform/cp1251.h"

#include <array>
#include <atomic>

namespace vemla {
namespace {

struct TEntry {
    TMessage Id;
    const char* Russian;
    const char* English;
};

// The catalogue: every message once, Russian and English, written as UTF-8.
constexpr TEntry Catalogue[] = {
    {TMessage::PortOpened, "%1: открыт%2", "%1: opened%2"},
    {TMessage::PortClosedByUser, "%1: закрыт пользователем", "%1: closed by the user"},
    {TMessage::PortNotSent, "%1: порт закрыт, не передано байт: %2",
     "%1: port closed, bytes not sent: %2"},
    {TMessage::PortNotForwarded, "%1: не передано, порт закрыт: %2 байт",
     "%1: not passed on, port closed: %2 bytes"},
    {TMessage::PortReceiveOverrun, "%1: переполнение приёма, потеряно байт: %2",
     "%1: receive overrun, bytes lost: %2"},
    {TMessage::PortNewSettings, "Новые настройки порта: %1 %2", "New port settings: %1 %2"},
    {TMessage::PortParityMark, ", чётность mark", ", parity mark"},
    {TMessage::PortParitySpace, ", чётность space", ", parity space"},
    {TMessage::PortPeerLine, "%1: по настройкам приложения %2 бит/с, стоп-битов %3%4",
     "%1: as the application set it, %2 bit/s, stop bits %3%4"},
    {TMessage::TapNoTriggers, "Прослушивание двух линий: файл триггеров %1 не загружен",
     "Listening to two lines: trigger file %1 not loaded"},
    {TMessage::PeriodTooShort,
     "Период %1 мс короче передачи пакета (%2 мс при %3 бит/с): пакеты идут подряд",
     "Period %1 ms is shorter than sending the packet (%2 ms at %3 bit/s): packets go back to "
     "back"},
    {TMessage::TriggerFileOpenError, "Ошибка открытия файла :%1 -  %2%3",
     "Error opening file %1: %2%3"},
    {TMessage::TriggerFileLoadError, "Ошибка загрузки файла \"%1\": %2",
     "Error loading file \"%1\": %2"},
    {TMessage::TriggerSyntaxError, "%1 в строке %2 ,около `%3'", "%1 in line %2 near `%3'"},
    {TMessage::TriggerConflict,
     "конфликт триггеров.(Триггеры \"%1\" и \"%2\" реагируют на один пакет данных)",
     "trigger conflict (triggers \"%1\" and \"%2\" react to the same data packet)"},
    {TMessage::TriggerMaskError, "ошибка в маске", "error in mask"},
    {TMessage::TriggerTemplateError, "ошибка в шаблоне ответа", "error in answer template"},
    {TMessage::TriggerSwitchedOff, "отключен", "switched off"},
    {TMessage::TriggerMissingCommand, "ошибка: запрошенная команда не существует",
     "error: the command asked for does not exist"},
    {TMessage::TriggerTooManyCommands, "ошибка: слишком много команд без WAIT",
     "error: too many commands without WAIT"},
    {TMessage::TriggerAnswerError, "ошибка в ответе", "error in the answer"},
    {TMessage::StateOpen, "открыт", "open"},
    {TMessage::StateClosed, "закрыт", "closed"},
    {TMessage::StateWaiting, "ожидание устройства", "waiting for the device"},
    {TMessage::StateApplicationConnected, "приложение подключено", "application connected"},
    {TMessage::StateApplicationAwaited, "ожидание приложения", "waiting for the application"},
    {TMessage::StateClosedByUser, "закрыт пользователем", "closed by the user"},
    {TMessage::LineRawTcp, "TCP, без настроек", "TCP, no settings"},
    {TMessage::Counters, "принято %1 Б, передано %2 Б", "received %1 B, sent %2 B"},
    {TMessage::CountersUnmatched, ", без триггера %1", ", unmatched %1"},
    {TMessage::SendHexOddDigits, "Нечётное число шестнадцатеричных цифр перед позицией %1",
     "Odd number of hex digits before position %1"},
    {TMessage::SendHexBadDigit, "Не шестнадцатеричная цифра в позиции %1",
     "Not a hex digit at position %1"},
    {TMessage::SendBadEscape,
     "Неверная последовательность <0xNN> (знак < пишется <0x3C>) в позиции %1",
     "Invalid <0xNN> sequence (write < as <0x3C>) at position %1"},
    {TMessage::SendTemplateAt, "%1 в позиции %2", "%1 at position %2"},
    {TMessage::SendTemplateBadElement, "Неверный элемент шаблона «%1»",
     "Invalid template element \"%1\""},
    {TMessage::SendTemplateNoRequest, "%1: байтов запроса при передаче нет",
     "%1: there are no request bytes when sending"},
    {TMessage::SendTemplateChecksumRange, "Диапазон контрольной суммы за пределами пакета",
     "Checksum range lies outside the packet"},
    {TMessage::SettingsNoPort, "Укажите порт", "Enter a port"},
    {TMessage::SettingsBadNetPort,
     "Порт: rfc2217://ХОСТ:ПОРТ или tcp://ХОСТ:ПОРТ, порт от 1 до 65535, адрес IPv6 в скобках: "
     "[::1]",
     "Port: rfc2217://HOST:PORT or tcp://HOST:PORT, port 1 to 65535, an IPv6 address in "
     "brackets: [::1]"},
    {TMessage::SettingsBadRate, "Скорость: целое число бит/с больше нуля",
     "Rate: a whole number of bit/s above zero"},
    {TMessage::SettingsBadGap, "Пауза: целое число миллисекунд",
     "Gap: a whole number of milliseconds"},
    {TMessage::SettingsBadPacketSize, "Размер пакета: целое число байт больше нуля",
     "Packet size: a whole number of bytes above zero"},
    {TMessage::SettingsUntilExit,
     "Настройки порта действуют до выхода из программы: файл %1 не прочитан и не изменён.\n%2",
     "The port settings hold until the program ends: file %1 was not read and not changed.\n%2"},
    {TMessage::SettingsNotSaved, "Настройки порта не сохранены в %1:\n%2",
     "The port settings were not saved to %1:\n%2"},
    {TMessage::ScrollbackOutOfRange,
     "Scrollback=%1 вне диапазона 0..1000000: просмотр хранит %2 строк",
     "Scrollback=%1 out of range 0..1000000: the view keeps %2 lines"},
    {TMessage::FileOpenError, "Ошибка открытия файла: %1\n\r%2", "Error opening file: %1\n\r%2"},
    {TMessage::LogLinesNotSaved, "Строки журнала не удалось сохранить.",
     "The log lines could not be saved."},
    {TMessage::LogLinesSavedTo, "Строки журнала сохранены в файл %1",
     "The log lines were saved to file %1"},
    {TMessage::ConfigMissing, "Файл \"%1\" не найден. Будет использоваться \"config.ini\"",
     "File \"%1\" not found. \"config.ini\" will be used"},
    {TMessage::ConfigNotRead,
     "Файл настроек %1 не прочитан: %2. Действуют настройки по умолчанию; в этот файл ничего не "
     "будет записано.",
     "Configuration file %1 not read: %2. The default settings hold; nothing will be written to "
     "this file."},
    {TMessage::ConfigBadLanguage, "Language=%1: язык ru, en или auto; действует ru",
     "Language=%1: the language is ru, en or auto; ru is used"},
    {TMessage::SecondPortIsDevicePort, "Второй порт %1 совпадает с портом устройства: он не открыт",
     "Second port %1 is the device's port: it is not opened"},
    {TMessage::MainCaption, "Терминал", "Terminal"},
    {TMessage::CaptionWarning, "Внимание", "Warning"},
    {TMessage::CaptionError, "Ошибка", "Error"},
    {TMessage::PermissionSandboxed,
     "vemla работает в песочнице Flatpak, где устройств не видно: flatpak override --user "
     "--device=all и запуск заново",
     "vemla runs in a Flatpak sandbox, where no device is seen: flatpak override --user "
     "--device=all and start it again"},
    {TMessage::PermissionLogInAgain,
     "вы в группе %1, но этот сеанс начат раньше: войдите в систему заново",
     "you are in group %1, but this session began before: log in again"},
    {TMessage::PermissionJoinGroup,
     "устройство принадлежит группе %1: sudo usermod -aG %1 $USER, затем войдите в систему "
     "заново",
     "the device belongs to group %1: sudo usermod -aG %1 $USER, then log in again"},
    {TMessage::ServerLongNegotiation, "сервер прислал согласование длиннее %1 байт",
     "the server sent a negotiation longer than %1 bytes"},
    {TMessage::ServerRefusedRfc2217, "сервер отказался от RFC 2217: настройки порта не переданы",
     "the server refused RFC 2217: the port settings were not passed on"},
    {TMessage::ServerDidNotConfirm, "сервер не подтвердил: %1", "the server did not confirm: %1"},
    {TMessage::CommandRate, "скорость", "rate"},
    {TMessage::CommandDataBits, "биты данных", "data bits"},
    {TMessage::CommandParity, "чётность", "parity"},
    {TMessage::CommandStopBits, "стоповые биты", "stop bits"},
    {TMessage::CommandFlowControl, "управление потоком", "flow control"},
    {TMessage::CommandPurge, "очистка приёма", "receive purge"},
    {TMessage::ApplicationSet, "приложение задало %1", "the application set %1"},
    {TMessage::PtyLinkNotALink, "там не ссылка, она оставлена как есть",
     "not a link there; it is left as it is"},
};

constexpr size_t MessageCount = static_cast<size_t>(TMessage::Count);
static_assert(std::size(Catalogue) == MessageCount, "every message has one catalogue entry");

constexpr bool InIdOrder() {
    for (size_t i = 0; i < MessageCount; ++i)
        if (static_cast<size_t>(Catalogue[i].Id) != i) return false;
    return true;
}
static_assert(InIdOrder(), "the catalogue lists the messages in the order of their ids");

std::atomic<TLanguage> Language{TLanguage::Russian};

// Each language's texts in CP1251, converted once.
const std::array<std::string, MessageCount>& Texts(TLanguage language) {
    auto convert = [](bool english) {
        std::array<std::string, MessageCount> texts;
        for (size_t i = 0; i < MessageCount; ++i)
            texts[i] = Utf8ToCp1251(english ? Catalogue[i].English : Catalogue[i].Russian);
        return texts;
    };
    static const std::array<std::string, MessageCount> russian = convert(false);
    static const std::array<std::string, MessageCount> english = convert(true);
    return language == TLanguage::English ? english : russian;
}

} // namespace

void SetLanguage(TLanguage language) {
    Language.store(language, std::memory_order_relaxed);
}

TLanguage CurrentLanguage() {
    return Language.load(std::memory_order_relaxed);
}

std::optional<TLanguage> ParseLanguage(std::string_view value, std::string_view localeName) {
    if (value == "ru") return TLanguage::Russian;
    if (value == "en") return TLanguage::English;
    if (value != "auto") return std::nullopt;
    return localeName.substr(0, 2) == "ru" ? TLanguage::Russian : TLanguage::English;
}

std::string MessageText(TMessage id, std::initializer_list<std::string_view> arguments) {
    const std::string& text = Texts(CurrentLanguage())[static_cast<size_t>(id)];
    std::string filled;
    filled.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        const bool place = text[i] == '%' && next >= '1' && next <= '9' &&
                           static_cast<size_t>(next - '1') < arguments.size();
        if (place) {
            filled += arguments.begin()[next - '1'];
            ++i;
        } else {
            filled += text[i];
        }
    }
    return filled;
}

std::string_view CatalogueText(TMessage id, TLanguage language) {
    const TEntry& entry = Catalogue[static_cast<size_t>(id)];
    return language == TLanguage::English ? entry.English : entry.Russian;
}

} // namespace vemla
