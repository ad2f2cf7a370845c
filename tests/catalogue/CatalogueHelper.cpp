// A second process on a test's catalogue file:
//   catalogue-helper take FILE SERIES COUNT   reserves and uses COUNT numbers, printing each
//   catalogue-helper hold FILE SERIES         reserves one, prints it and waits to be killed
#include <QCoreApplication>

#include <cstdio>
#include <cstring>

#include <unistd.h>

#include "CatalogueKit.h"
#include "module/GprsBlock.h"

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4)
        return 2;
    TCatalogue catalogue;
    QString error;
    if (!catalogue.Open(QString::fromLocal8Bit(argv[2]), error)) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    const quint32 series = quint32(std::strtoul(argv[3], nullptr, 10));
    const QString port = QStringLiteral("/dev/ttyHELPER%1").arg(getpid());
    const bool hold = std::strcmp(argv[1], "hold") == 0;
    const int count = hold ? 1 : std::atoi(argv[4]);
    for (int i = 0; i < count; ++i) {
        const std::optional<quint32> number = catalogue.Reserve(series, port, error);
        if (!number) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return 1;
        }
        if (hold) {
            std::printf("%u\n", *number);
            std::fflush(stdout);
            for (;;)
                pause();
        }
        TVersionInfo info;
        info.Kind = TVersionKind::Line;
        info.Port = port;
        if (!catalogue.UseSerial(*number, CatalogueCopy(GprsSerialText(*number)), info, error)) {
            std::fprintf(stderr, "%s\n", error.toUtf8().constData());
            return 1;
        }
        std::printf("%u\n", *number);
    }
    return 0;
}
