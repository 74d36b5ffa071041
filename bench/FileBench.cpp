// Drives the plug-in's file operations through a real Form, the way a user's
// click or drop does, and prints what they cost: one line of key=value pairs
// per run for scripts/bench.sh.
//
//   keystrel_bench_files key                      fixed key and IV in hex
//   keystrel_bench_files encrypt|decrypt FILE     in place, timed
//   keystrel_bench_files make-batch DIR COUNT     COUNT small files under DIR
//   keystrel_bench_files batch DIR                DIR dropped on the form, timed
#include "IoTimer.h"

#include "PluginApi.h"
#include "cipher/FixedKey.h"
#include "form/Form.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMimeData>
#include <QRandomGenerator>
#include <QUrl>

#include <cstdio>

namespace {

long g_logLines = 0;

// Peak and current resident set of this process, in KiB.
long statusKiB(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly | QIODevice::Text))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// rss_start: resident set when the timed work began; peak: the highest it
// has been in this process, Qt's start-up included.
void printResult(const char *what, double seconds, long rssAtStart, const QString &extra)
{
    const iotimer::Totals io = iotimer::totals();
    std::printf("%s seconds=%.4f read_seconds=%.4f write_seconds=%.4f sync_seconds=%.4f sync_calls=%ld "
                "rename_seconds=%.4f log_lines=%ld rss_start_kib=%ld peak_kib=%ld %s\n",
                what, seconds, io.readSeconds, io.writeSeconds, io.syncSeconds, io.syncCalls, io.renameSeconds,
                g_logLines, rssAtStart, statusKiB("VmHWM"), qPrintable(extra));
    std::fflush(stdout);
}

int printKey()
{
    std::uint8_t key[16], iv[16];
    buildFixedKey(key);
    buildFixedIv(iv);
    std::printf("%s %s\n", QByteArray(reinterpret_cast<char *>(key), 16).toHex().constData(),
                QByteArray(reinterpret_cast<char *>(iv), 16).toHex().constData());
    return 0;
}

int runFile(bool encrypt, const QString &path)
{
    Form form;
    const long before = statusKiB("VmRSS");
    g_logLines = 0;
    iotimer::reset();
    QElapsedTimer timer;
    timer.start();
    const int result = encrypt ? form.encryptFile(path, path) : form.decryptFile(path, path);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    printResult(encrypt ? "encrypt" : "decrypt", seconds, before, QStringLiteral("result=%1").arg(result));
    return result == 0 ? 0 : 1;
}

// Small files of 1 byte to 8 KiB in folders of 100, the same every run.
int makeBatch(const QString &root, int count)
{
    QRandomGenerator rng(4711);
    QByteArray content(8192, '\0');
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/d%1").arg(i / 100, 3, 10, QLatin1Char('0'));
        if (i % 100 == 0 && !QDir().mkpath(folder))
            return 1;
        const int size = int(rng.bounded(1, 8193));
        for (int b = 0; b < size; ++b)
            content[b] = char(rng.bounded(32, 127));
        QFile file(folder + QStringLiteral("/f%1.txt").arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(content.constData(), size) != size)
            return 1;
    }
    return 0;
}

int countMarkedFiles(Form &form, const QString &root, int *total)
{
    int marked = 0;
    *total = 0;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        ++*total;
        marked += form.isFileEncrypted(it.next()) ? 1 : 0;
    }
    return marked;
}

// Drops the folder on a shown form: the batch runs with its progress dialog,
// text area and event pumping, as for a user.
int runBatch(const QString &root)
{
    Form form;
    form.resize(800, 600);
    form.show();
    QApplication::processEvents();
    int total = 0;
    const bool wasEncrypted = countMarkedFiles(form, root, &total) > 0;

    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(root)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);

    const long before = statusKiB("VmRSS");
    g_logLines = 0;
    iotimer::reset();
    QElapsedTimer timer;
    timer.start();
    QApplication::sendEvent(&form, &drop);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;

    const int marked = countMarkedFiles(form, root, &total);
    const int changed = wasEncrypted ? total - marked : marked;
    printResult(wasEncrypted ? "batch-decrypt" : "batch-encrypt", seconds, before,
                QStringLiteral("files=%1 changed=%2 files_per_second=%3")
                    .arg(total)
                    .arg(changed)
                    .arg(seconds > 0 ? double(total) / seconds : 0.0, 0, 'f', 0));
    return changed == total ? 0 : 1;
}

int usage()
{
    std::fprintf(stderr, "usage: keystrel_bench_files key | encrypt FILE | decrypt FILE | "
                         "make-batch DIR COUNT | batch DIR\n");
    return 2;
}

} // namespace

// The plug-in's lines go nowhere here; only their number is kept.
bool ShowLogFunc(const QString &)
{
    ++g_logLines;
    return true;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const QByteArray mode = argv[1];
    if (mode == "key")
        return printKey();
    if (mode == "make-batch" && argc == 4)
        return makeBatch(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if ((mode == "encrypt" || mode == "decrypt") && argc == 3)
        return runFile(mode == "encrypt", QString::fromLocal8Bit(argv[2]));
    if (mode == "batch" && argc == 3)
        return runBatch(QString::fromLocal8Bit(argv[2]));
    return usage();
}
