#pragma once
#include <QApplication>

// The application object. An exception that escapes an event handler is shown in the error
// dialog, and the tool carries on instead of terminating.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    // Shows the message of the exception being handled; for use inside a catch block.
    static void ShowException();
};
