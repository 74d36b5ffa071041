// Prints each argument twice, as hexadecimal UTF-8: as main() received it
// (8-bit) and as WideArguments gives it.
#include "WideArguments.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList wide = widearguments::of(argc, argv);
    for (int i = 1; i < argc; ++i) {
        const QByteArray narrow = QFile::decodeName(argv[i]).toUtf8().toHex();
        const QByteArray text = i < wide.size() ? wide.at(i).toUtf8().toHex() : QByteArray();
        std::printf("%s %s\n", narrow.constData(), text.constData());
    }
    return 0;
}
