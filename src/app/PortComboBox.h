#pragma once
#include <QComboBox>
#include <QSerialPortInfo>

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
// with the ports present at that moment.
class TPortComboBox : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override
    {
        emit DropDown();
        QComboBox::showPopup();
    }

signals:
    void DropDown();
};
