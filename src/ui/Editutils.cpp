#include "ui/Editutils.h"

#include <QLineEdit>

bool GetEditInt(const QLineEdit* edit, int& value)
{
    if (!edit)
        return false;
    const QString text = edit->text().trimmed();
    if (text.isEmpty())
        return false;
    return TryStrToInt(text, value);
}

bool GetEditFloat(const QLineEdit* edit, float& value)
{
    return edit && TryTextToFloat(edit->text(), value);
}

bool GetEditIP(const QLineEdit* edit, uint8_t* bytes)
{
    return edit && TryTextToIP(edit->text(), bytes);
}
