#include "app/Application.h"

#include <exception>

#include "link/ComPort.h"
#include "link/UniversalProtocol.h"
#include "ui/Mydialogs.h"

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException();
        return false;
    }
}

void TApplication::ShowException()
{
    QString text;
    try {
        throw;
    } catch (const EProtocol& e) {
        text = QString::fromStdString(e.Message);
    } catch (const TComPortException& e) {
        text = QString::fromStdString(e.Message);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        // A kind of exception that carries no message is shown with an empty text.
    }
    ErrorDlg(activeWindow(), text);
}
