#include "module/ImageFields.h"

#include <QStringList>

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

// Zone n (1 to 7): its mode, its alarm state and, on Z1 to Z5, its trip action.
void AddZone(std::vector<TImageField>& fields, int n)
{
    static const char* const modes[] = {"cbZ1Mode", "cbZ2Mode", "cbZ3Mode", "cbZ4Mode",
                                        "cbZ5Mode", "cbZ6Mode", "cbZ7Mode"};
    static const char* const states[] = {"cbZ1AlarmState", "cbZ2AlarmState", "cbZ3AlarmState", "cbZ4AlarmState",
                                         "cbZ5AlarmState", "cbZ6AlarmState", "cbZ7AlarmState"};
    static const char* const actions[] = {"cbZ1Action", "cbZ2Action", "cbZ3Action", "cbZ4Action", "cbZ5Action"};
    const int i = n - 1;
    // One code space serves all zones: Z6 and Z7 lack the guard-zone modes of Z1 to Z5.
    const int firstMode = n <= 5 ? 1 : 5;
    fields.push_back({P::Inputs, modes[i], 11 + i, E::ListPosition, kZones[i], kMode, firstMode});
    fields.push_back({P::Inputs, states[i], 21 + i, E::ListPosition, kZones[i], kAlarmState});
    if (n <= 5)
        fields.push_back({P::Inputs, actions[i], 31 + i, E::ListPosition, kZones[i], kAction});
}

std::vector<TImageField> BuildFields()
{
    std::vector<TImageField> f;

    f.push_back({P::Common, "edAccountBalance", 80, E::Number, kAccount,
                 "Короткий номер для запроса остатка средств на счету"});
    f.push_back({P::Common, "cbIncomingCallAction", 39, E::ListPosition, kMisc, "Действие модуля по звонку абонента"});
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
    f.push_back({P::Common, "cbDefaultMenu", 4, E::ListPosition, kMisc, "Раздел меню по умолчанию"});

    for (int n = 1; n <= 7; ++n)
        AddZone(f, n);
    f.push_back({P::Inputs, "edPassageDelay", 118, E::Number, "",
                 "Задержка на сработку зоны в режиме с задержкой, сек."});
    f.push_back({P::Inputs, "edAlarmDelay", 7, E::Number, "", "Задержка на сработку проходной зоны, сек."});

    static const char* const outputModes[] = {"cbO0Mode", "cbO1Mode", "cbO2Mode", "cbO3Mode", "cbO4Mode", "cbO5Mode"};
    static const char* const onTimes[] = {"edO0Timeout", "edO1Timeout", "edO2Timeout",
                                          "edO3Timeout", "edO4Timeout", "edO5Timeout"};
    for (int n = 0; n < 6; ++n) {
        f.push_back({P::Outputs, outputModes[n], 92 + n, E::ListPosition, kOutputs[n], "", 1});
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
