<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="ru_RU">
<context>
    <name>TChangeCommandDialog</name>
    <message>
        <source>Выберите команду для триггера  &quot;%1&quot;</source>
        <translation>Choose the command for trigger &quot;%1&quot;</translation>
    </message>
    <message>
        <source>Изменение текущей команды триггера</source>
        <translation>Change the trigger&apos;s current command</translation>
    </message>
</context>
<context>
    <name>TDialogFrame</name>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TGeneratorWindow</name>
    <message>
        <source>Подтверждение</source>
        <translation>Confirmation</translation>
    </message>
    <message>
        <source>Передача данных</source>
        <translation>Send data</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>Добавить</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>Вставить</source>
        <translation>Insert</translation>
    </message>
    <message>
        <source>Удалить</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Переместить вверх</source>
        <translation>Move up</translation>
    </message>
    <message>
        <source>Переместить вниз</source>
        <translation>Move down</translation>
    </message>
    <message>
        <source>Передать</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Изменить</source>
        <translation>Change</translation>
    </message>
    <message>
        <source>Данные</source>
        <translation>Data</translation>
    </message>
    <message>
        <source>Описание</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Период, мс</source>
        <translation>Period, ms</translation>
    </message>
    <message>
        <source>Повторов</source>
        <translation>Repeats</translation>
    </message>
    <message>
        <source>Передача в цикле</source>
        <translation>Send in a loop</translation>
    </message>
    <message>
        <source>Пакеты с периодом идут каждый со своим периодом, остальные раз в секунду</source>
        <translation>Packets with a period go each at its own period, the others once a second</translation>
    </message>
    <message>
        <source>После передачи выбрать следующий пакет</source>
        <translation>Select the next packet after sending</translation>
    </message>
    <message>
        <source>Список пакетов не сохранён в %1:
%2</source>
        <translation>The packet list was not saved to %1:
%2</translation>
    </message>
    <message>
        <source>Удалить &quot;%1&quot;</source>
        <translation>Delete &quot;%1&quot;</translation>
    </message>
</context>
<context>
    <name>TMainWindow</name>
    <message>
        <source>Данные в текущей кодировке, Enter передаёт</source>
        <translation>Data in the current coding, Enter sends</translation>
    </message>
    <message>
        <source>Терминал</source>
        <translation>Terminal</translation>
    </message>
    <message>
        <source>новые строки ↓</source>
        <translation>new lines ↓</translation>
    </message>
    <message>
        <source>Найти (Enter, F3 - дальше, Shift+F3 - назад, Esc - закрыть)</source>
        <translation>Find (Enter, F3 - next, Shift+F3 - back, Esc - close)</translation>
    </message>
    <message>
        <source>Не найдено</source>
        <translation>Not found</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>none</translation>
    </message>
    <message>
        <source>Конец строки</source>
        <translation>Line ending</translation>
    </message>
    <message>
        <source>Передача ждёт: устройство не принимает данные</source>
        <translation>Sending waits: the device takes no data</translation>
    </message>
    <message>
        <source>Передать</source>
        <translation>Send</translation>
    </message>
    <message>
        <source>Символ не из кодовой страницы 1251</source>
        <translation>A character outside code page 1251</translation>
    </message>
    <message>
        <source>Предыдущие передачи ещё ждут: устройство не принимает данные</source>
        <translation>Earlier sends still wait: the device takes no data</translation>
    </message>
    <message>
        <source>Порт закрыт: строка не передана</source>
        <translation>Port closed: the line was not sent</translation>
    </message>
    <message>
        <source>Сохранить</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Включить Лог</source>
        <translation>Log on</translation>
    </message>
    <message>
        <source>Выключить Лог</source>
        <translation>Log off</translation>
    </message>
    <message>
        <source>Очистить</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>Кодировка</source>
        <translation>Coding</translation>
    </message>
    <message>
        <source>Кодировка (Ctrl+1, Ctrl+2, Ctrl+3)</source>
        <translation>Coding (Ctrl+1, Ctrl+2, Ctrl+3)</translation>
    </message>
    <message>
        <source>Триггеры</source>
        <translation>Triggers</translation>
    </message>
    <message>
        <source>Передача данных</source>
        <translation>Send data</translation>
    </message>
    <message>
        <source>Настройки порта</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>Закрыть порт (Ctrl+Shift+O)</source>
        <translation>Close the port (Ctrl+Shift+O)</translation>
    </message>
    <message>
        <source>Открыть порт (Ctrl+O)</source>
        <translation>Open the port (Ctrl+O)</translation>
    </message>
    <message>
        <source>Линия DTR: включить или выключить</source>
        <translation>DTR line: switch on or off</translation>
    </message>
    <message>
        <source>Линия RTS: включить или выключить</source>
        <translation>RTS line: switch on or off</translation>
    </message>
    <message>
        <source>Послать Break (250 мс)</source>
        <translation>Send a break (250 ms)</translation>
    </message>
    <message>
        <source>%1: включена</source>
        <translation>%1: on</translation>
    </message>
    <message>
        <source>%1: выключена</source>
        <translation>%1: off</translation>
    </message>
    <message>
        <source>Линии модема недоступны</source>
        <translation>Modem lines not available</translation>
    </message>
    <message>
        <source>Текстовые файлы (*.txt)</source>
        <translation>Text files (*.txt)</translation>
    </message>
    <message>
        <source>Все файлы (*)</source>
        <translation>All files (*)</translation>
    </message>
    <message>
        <source>Внимание</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>Ошибка</source>
        <translation>Error</translation>
    </message>
</context>
<context>
    <name>TPacketEditDialog</name>
    <message>
        <source>Пакет</source>
        <translation>Packet</translation>
    </message>
    <message>
        <source>Описание</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>Период, мс</source>
        <translation>Period, ms</translation>
    </message>
    <message>
        <source>Повторов</source>
        <translation>Repeats</translation>
    </message>
    <message>
        <source>цикл 1 с</source>
        <translation>loop 1 s</translation>
    </message>
    <message>
        <source>без конца</source>
        <translation>no end</translation>
    </message>
    <message>
        <source>Ввод данных</source>
        <translation>Enter data</translation>
    </message>
    <message>
        <source>Символ не из кодовой страницы 1251</source>
        <translation>A character outside code page 1251</translation>
    </message>
    <message>
        <source>Период: целое число миллисекунд от 1 до 86400000 или пусто</source>
        <translation>Period: a whole number of milliseconds from 1 to 86400000, or empty</translation>
    </message>
    <message>
        <source>Повторов: целое число больше нуля или пусто</source>
        <translation>Repeats: a whole number above zero, or empty</translation>
    </message>
</context>
<context>
    <name>TPortSettingsDialog</name>
    <message>
        <source>Настройки порта</source>
        <translation>Port settings</translation>
    </message>
    <message>
        <source>нет</source>
        <translation>none</translation>
    </message>
    <message>
        <source>нечёт</source>
        <translation>odd</translation>
    </message>
    <message>
        <source>чёт</source>
        <translation>even</translation>
    </message>
    <message>
        <source>маркер (1)</source>
        <translation>mark (1)</translation>
    </message>
    <message>
        <source>пробел (0)</source>
        <translation>space (0)</translation>
    </message>
    <message>
        <source>DTR включён</source>
        <translation>DTR on</translation>
    </message>
    <message>
        <source>RTS включён</source>
        <translation>RTS on</translation>
    </message>
    <message>
        <source>Путь устройства, pty:ПУТЬ (виртуальный порт), rfc2217://ХОСТ:ПОРТ (порт на другой машине, с настройками) или tcp://ХОСТ:ПОРТ (только байты)</source>
        <translation>A device path, pty:PATH (a virtual port), rfc2217://HOST:PORT (a port on another machine, with its settings) or tcp://HOST:PORT (bytes only)</translation>
    </message>
    <message>
        <source>Порт:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>Скорость, бит/с:</source>
        <translation>Rate, bit/s:</translation>
    </message>
    <message>
        <source>Биты данных:</source>
        <translation>Data bits:</translation>
    </message>
    <message>
        <source>Чётность:</source>
        <translation>Parity:</translation>
    </message>
    <message>
        <source>Стоповые биты:</source>
        <translation>Stop bits:</translation>
    </message>
    <message>
        <source>Управление потоком:</source>
        <translation>Flow control:</translation>
    </message>
    <message>
        <source>Пауза конца пакета, мс:</source>
        <translation>Packet end gap, ms:</translation>
    </message>
    <message>
        <source>Размер пакета, байт:</source>
        <translation>Packet size, bytes:</translation>
    </message>
    <message>
        <source>Отмена</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>TTriggerTableModel</name>
    <message>
        <source>Id</source>
        <translation>Id</translation>
    </message>
    <message>
        <source>Наименование</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Статус</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Текущая команда</source>
        <translation>Current command</translation>
    </message>
    <message>
        <source>Срабатываний</source>
        <translation>Matches</translation>
    </message>
    <message>
        <source>Последнее</source>
        <translation>Last</translation>
    </message>
</context>
<context>
    <name>TTriggersWindow</name>
    <message>
        <source>Триггеры</source>
        <translation>Triggers</translation>
    </message>
</context>
</TS>
