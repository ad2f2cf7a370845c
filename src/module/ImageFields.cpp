#include "module/ImageFields.h"

#include <QStringList>

#include <initializer_list>

namespace {

using E = TEncoding;
using P = TImagePage;

const char* const kAccount = "Состояние счета";
const char* const kSensor1 = "Температурный датчик 1";
const char* const kSensor2 = "Температурный датчик 2";
const char* const kPower = "Питающее напряжение и аккумуляторная батарея";
const char* const kMisc = "Разное";
const char* const kMinTemperature = "Минимальная температура (-40), °С";
const char* const kMaxTemperature = "Максимальная температура (+120), °С";

const char* const kZones[] = {"Z1", "Z2", "Z3", "Z4", "Z5", "Z6", "Z7"};
const char* const kMode = "Режим работы";
const char* const kAlarmState = "Тревожное состояние";
const char* const kAction = "Действие при сработке";

const char* const kOutputs[] = {"Реле", "О1", "О2", "О3", "O4", "O5"};  // Cyrillic О, then Latin O
const char* const kOnTime = "Время включения, сек.";

const char* const kSubscribers[] = {"1", "2", "3", "4", "5"};

const char* const kGuard = "Параметры режима охраны";
const char* const kSiren = "Сирена (ревун)";

// The items of a list, in the order of their codes.
QStringList ItemList(std::initializer_list<const char*> texts)
{
    QStringList items;
    for (const char* text : texts)
        items << QString::fromUtf8(text);
    return items;
}

// Zone n (1 to 7): its mode, its alarm state and, on Z1 to Z5, its trip action.
void AddZone(std::vector<TImageField>& fields, int n)
{
    // Z5 alone watches the mains; Z6 and Z7 take a sensor or a key reader instead of guarding.
    static const QStringList guardModes =
        ItemList({"Зона", "Проходная зона", "Зона с задержкой", "Зона 24 часа", "Отключена", "Управление охраной",
                  "Постановка на охрану", "Снятие с охраны", "Кнопка"});
    static const QStringList z5Modes = guardModes + ItemList({"Наличие 220 В"});
    static const QStringList otherModes =
        ItemList({"Отключена", "Управление охраной", "Постановка на охрану", "Снятие с охраны", "Кнопка",
                  "Температурный датчик", "Считыватель ключей"});
    static const QStringList alarmStates = ItemList({"Низкое (НО)", "Высокое (НЗ)", "Изменение уровня"});
    static const QStringList actions = ItemList({"Отключено", "Сирена", "Разблокировка реле", "Предупреждающий сигнал"});

    static const char* const modes[] = {"cbZ1Mode", "cbZ2Mode", "cbZ3Mode", "cbZ4Mode",
                                        "cbZ5Mode", "cbZ6Mode", "cbZ7Mode"};
    static const char* const states[] = {"cbZ1AlarmState", "cbZ2AlarmState", "cbZ3AlarmState", "cbZ4AlarmState",
                                         "cbZ5AlarmState", "cbZ6AlarmState", "cbZ7AlarmState"};
    static const char* const actionLists[] = {"cbZ1Action", "cbZ2Action", "cbZ3Action", "cbZ4Action", "cbZ5Action"};
    const int i = n - 1;
    // One code space serves all zones: Z6 and Z7 lack the guard-zone modes of Z1 to Z5.
    const int firstMode = n <= 5 ? 1 : 5;
    const QStringList& zoneModes = n < 5 ? guardModes : n == 5 ? z5Modes : otherModes;
    fields.push_back({P::Inputs, modes[i], 11 + i, E::ListPosition, kZones[i], kMode, firstMode, zoneModes});
    fields.push_back({P::Inputs, states[i], 21 + i, E::ListPosition, kZones[i], kAlarmState, 0, alarmStates});
    if (n <= 5)
        fields.push_back({P::Inputs, actionLists[i], 31 + i, E::ListPosition, kZones[i], kAction, 0, actions});
}

std::vector<TImageField> BuildFields()
{
    std::vector<TImageField> f;

    f.push_back({P::Common, "edAccountBalance", 80, E::Number, kAccount,
                 "Короткий номер для запроса остатка средств на счету"});
    f.push_back({P::Common, "cbIncomingCallAction", 39, E::ListPosition, kMisc, "Действие модуля по звонку абонента", 0,
                 ItemList({"Отбить звонок", "Управление режимом охраны", "Отправить SMS о состоянии",
                           "Поднять трубку", "Перезвонить абоненту"})});
    f.push_back({P::Common, "cbAccountStatus", 6, E::Flag, kAccount,
                 "Отправлять информацию о состоянии счета с каждым SMS сообщением"});
    f.push_back({P::Common, "edTemp1Min", 81, E::Temperature, kSensor1, kMinTemperature});
    f.push_back({P::Common, "edTemp1Max", 82, E::Temperature, kSensor1, kMaxTemperature});
    f.push_back({P::Common, "edTemp2Min", 83, E::Temperature, kSensor2, kMinTemperature});
    f.push_back({P::Common, "edTemp2Max", 84, E::Temperature, kSensor2, kMaxTemperature});
    f.push_back({P::Common, "edLowBattery", 8, E::Voltage, kPower, "Напряжение для уведомления о разряде, В"});
    f.push_back({P::Common, "edNoPower", 9, E::Voltage, kPower, "Напряжение для уведомлении об отсутствии 220 В, В"});
    f.push_back({P::Common, "edRSSI", 116, E::Number, kMisc, "Минимальный уровень сигнала GSM сети"});
    f.push_back({P::Common, "edLedsOffTimeout", 89, E::Number, kMisc, "Отключение внешней индикации, сек."});
    QStringList menuSections;  // the module's menu has sections P00 to P99
    for (int i = 0; i < 100; ++i)
        menuSections << QStringLiteral("P%1").arg(i, 2, 10, QLatin1Char('0'));
    f.push_back({P::Common, "cbDefaultMenu", 4, E::ListPosition, kMisc, "Раздел меню по умолчанию", 0, menuSections});

    for (int n = 1; n <= 7; ++n)
        AddZone(f, n);
    f.push_back({P::Inputs, "edPassageDelay", 118, E::Number, "",
                 "Задержка на сработку зоны в режиме с задержкой, сек."});
    f.push_back({P::Inputs, "edAlarmDelay", 7, E::Number, "", "Задержка на сработку проходной зоны, сек."});

    static const char* const outputModes[] = {"cbO0Mode", "cbO1Mode", "cbO2Mode", "cbO3Mode", "cbO4Mode", "cbO5Mode"};
    static const char* const onTimes[] = {"edO0Timeout", "edO1Timeout", "edO2Timeout",
                                          "edO3Timeout", "edO4Timeout", "edO5Timeout"};
    const QStringList outputModeItems = ItemList(
        {"Замок в импульсном режиме", "Замок в триггерном режиме", "Замок в режим удержания", "Отключен",
         "Синхронно с входом Z1", "Синхронно с входом Z2", "Синхронно с входом Z3", "Синхронно с входом Z4",
         "Синхронно с входом Z5", "Инверсно со входом Z1", "Инверсно со входом Z2", "Инверсно со входом Z3",
         "Инверсно со входом Z4", "Инверсно со входом Z5", "Сирена", "Индикатор режима охраны",
         "Индикатор слабого уровня сигнала", "Т1 в пределах диапазона", "Т2 в пределах диапазона",
         "Т1 за пределами диапазона", "Т2 за пределами диапазона", "Разблокировка"});
    for (int n = 0; n < 6; ++n) {
        f.push_back({P::Outputs, outputModes[n], 92 + n, E::ListPosition, kOutputs[n], "", 1, outputModeItems});
        f.push_back({P::Outputs, onTimes[n], 104 + 2 * n, E::OnTime, kOutputs[n], kOnTime});
    }

    for (int k = 0; k < 5; ++k) {
        f.push_back({P::Mobiles, "sgMobiles", 40 + 7 * k, E::Phone, kSubscribers[k], "Номер телефона"});
        f.push_back({P::Mobiles, "sgMobiles", 75 + k, E::Rights, kSubscribers[k], "Уровни информирования"});
    }

    f.push_back({P::Alarm, "edStartDelay", 18, E::Number, kGuard, "Задержка при постановке на охрану, сек."});
    f.push_back({P::Alarm, "edSirenDelay", 19, E::Number, kGuard,
                 "Задержка на включение сирены при сработке одной из зон, сек."});
    f.push_back({P::Alarm, "edRestartDelay", 88, E::Number, kGuard,
                 "Задержка постановки на охрану после сбоя питания, сек."});
    f.push_back({P::Alarm, "cbAlarmOffByShortTouch", 20, E::Flag, kGuard,
                 "Отключить сигнализацию при открывании двери ключем"});
    f.push_back({P::Alarm, "cbSirenAlarmControl", 36, E::Flag, kGuard,
                 "Сигнализировать о постановке и снятии с охраны с помощью сирены"});
    f.push_back({P::Alarm, "cbStopAlarmByReply", 87, E::Flag, kGuard,
                 "Прекратить звонки абонентам при тревоге после первого успешного звонка"});
    f.push_back({P::Alarm, "cbStopAlarmOnDisarm", 86, E::Flag, kGuard,
                 "Прекратить оповещение абонентов о тревоге после снятия модуля с охраны"});
    f.push_back({P::Alarm, "edSiganlsCount", 28, E::Number, kSiren, "Количество звуковых сигналов"});
    f.push_back({P::Alarm, "edOnTime", 29, E::Number, kSiren, "Время включения, сек."});
    f.push_back({P::Alarm, "edOffTime", 30, E::Number, kSiren, "Время выключения (паузы), сек."});
    f.push_back({P::Alarm, "edWarning", 90, E::Number, kSiren, "Количество сигналов сирены в предупреждающем режиме"});
    f.push_back({P::Alarm, "cbAutoAlarmOn", 37, E::Flag, kGuard, "Автопостановка на охрану"});
    f.push_back({P::Alarm, "edAutoAlarmOn", 119, E::Clock, "Автопостановка на охрану", "Время"});
    return f;
}

}  // namespace

const std::vector<TImageField>& ImageFields()
{
    static const std::vector<TImageField> fields = BuildFields();
    return fields;
}

std::vector<const TImageField*> PageFields(TImagePage page)
{
    std::vector<const TImageField*> fields;
    for (const TImageField& field : ImageFields()) {
        if (field.Page == page)
            fields.push_back(&field);
    }
    return fields;
}

QString PageCaption(TImagePage page)
{
    switch (page) {
    case P::Common:
        return QStringLiteral("Общие");
    case P::Inputs:
        return QStringLiteral("Входы");
    case P::Outputs:
        return QStringLiteral("Выходы");
    case P::Mobiles:
        return QStringLiteral("Абоненты");
    case P::Alarm:
        // The first letter is the Latin C, as on the tab.
        return QStringLiteral("Cигнализация");
    }
    return QString();
}

QString FieldCaption(const TImageField& field)
{
    QStringList parts;
    for (const char* part : {field.Section, field.Caption}) {
        if (*part != '\0')
            parts << QString::fromUtf8(part);
    }
    return parts.join(QStringLiteral(" / "));
}

QString FieldTitle(const TImageField& field)
{
    const QString caption = FieldCaption(field);
    return caption.isEmpty() ? PageCaption(field.Page) : PageCaption(field.Page) + QStringLiteral(" / ") + caption;
}

QString ImageFieldText(const TImageField& field, const uint8_t* image)
{
    const uint8_t* bytes = image + field.Address;
    if (field.Encoding == TEncoding::Flag)
        return ByteToFlag(bytes[0]) ? QStringLiteral("да") : QStringLiteral("нет");
    if (field.Encoding == TEncoding::ListPosition) {
        const int position = ByteToListPosition(bytes[0], field.FirstCode, int(field.Items.size()));
        return position >= 0 ? field.Items[position] : QStringLiteral("код %1").arg(bytes[0]);
    }
    return FieldToText(field.Encoding, bytes);
}
