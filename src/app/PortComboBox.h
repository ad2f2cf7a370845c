#pragma once
#include <QComboBox>
#include <QSerialPortInfo>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

// A port as the box shows it and the serial port opens it: its device path, or on Windows its
// name ("COM3"), as installers know it there, not the "\\.\COM3" the system lists.
inline QString PortLocation(const QSerialPortInfo& port)
{
#ifdef Q_OS_WIN
    return port.portName();
#else
    return port.systemLocation();
#endif
}

// A port as the operator would type one, for hints.
inline QString ExamplePortLocation()
{
#ifdef Q_OS_WIN
    return QStringLiteral("COM3");
#else
    return QStringLiteral("/dev/ttyUSB0");
#endif
}

// The serial number of the USB adapter behind the port, when the system knows it.
inline QString PortAdapterSerial(const QString& location)
{
    for (const QSerialPortInfo& port : QSerialPortInfo::availablePorts()) {
        if (PortLocation(port) == location)
            return port.serialNumber();
    }
    return QString();
}

// The port box: tells its owner each time its list is about to open, so the list can be refilled
// with the ports present at that moment. It is as wide as the longest port it lists, as its edit
// shows one (the item's data: the path, not the description the list adds), and never narrower
// than the text it is told to show whole.
class TPortComboBox : public QComboBox {
    Q_OBJECT
public:
    explicit TPortComboBox(QWidget* parent = nullptr) : QComboBox(parent)
    {
        // Qt then asks for the size again as items come and go.
        setSizeAdjustPolicy(QComboBox::AdjustToContents);
    }

    void SetLeastText(const QString& text)
    {
        FLeastText = text;
        updateGeometry();
    }

    QSize sizeHint() const override { return minimumSizeHint(); }
    QSize minimumSizeHint() const override
    {
        int widest = fontMetrics().horizontalAdvance(FLeastText);
        for (int i = 0; i < count(); ++i)
            widest = std::max(widest, fontMetrics().horizontalAdvance(itemData(i).toString()));
        QStyleOptionComboBox option;
        initStyleOption(&option);
        // The edit's own margins and its cursor.
        constexpr int kEditRoom = 8;
        return style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest + kEditRoom, fontMetrics().height()), this);
    }

    void showPopup() override
    {
        emit DropDown();
        QComboBox::showPopup();
    }

signals:
    void DropDown();

private:
    QString FLeastText;
};
