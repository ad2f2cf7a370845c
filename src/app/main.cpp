#include "app/Application.h"
#include "app/Form_Main.h"
#include "ui/Formtools.h"

int main(int argc, char** argv)
{
    TApplication app(argc, argv);
    SetupApplicationLook(app);
    try {
        TMainForm form;
        form.show();
        return app.exec();
    } catch (...) {
        TApplication::ShowException();
        return 1;
    }
}
