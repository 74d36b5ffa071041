// Drives the plug-in's file operations through a real Form, the way a user's
// click or drop does, and prints what they cost: one line of key=value pairs
// per run for scripts/bench.sh.
//
//   keystrel_bench_files key                      fixed key and IV in hex
//   keystrel_bench_files encrypt|decrypt FILE     in place, timed
//   keystrel_bench_files drop FILE                FILE dropped on a shown form, timed; how much
//                                                 of its text the text area then holds
//   keystrel_bench_files make-batch DIR COUNT [PER_FOLDER]
//                                                 COUNT small files under DIR, PER_FOLDER
//                                                 (100) to a sub-folder
//   keystrel_bench_files batch DIR                DIR dropped on a shown form, timed
//   keystrel_bench_files walk DIR                 the folder walk of a drop alone, timed
//
// While the timed work runs, a 5 ms timer tells how long the GUI thread's
// event loop went without turning (max_gap_ms): what a user feels as a
// frozen window.
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
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>

#include <cstdio>

using namespace vaultine;

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

// The longest stretch between two turns of the event loop while it runs,
// the stretches before the first and after the last turn included.
class LoopGaps
{
public:
    LoopGaps()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }
    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_longestEnded = 0;
        m_overLimit = 0;
        m_timer.start();
    }
    void stop()
    {
        tick();
        m_timer.stop();
    }
    double longestMs() const { return double(m_longest) / 1e6; }
    // When the longest gap ended, from the start: tells which part of the
    // work held the loop.
    double longestEndedMs() const { return double(m_longestEnded) / 1e6; }
    int overLimit() const { return m_overLimit; }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 gap = now - m_last;
        if (gap > m_longest) {
            m_longest = gap;
            m_longestEnded = now;
        }
        m_overLimit += gap > kLimitNs ? 1 : 0;
        m_last = now;
    }

    static constexpr qint64 kLimitNs = 100 * 1000 * 1000;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_longestEnded = 0;
    int m_overLimit = 0;
};

// The timed work with everything that is measured around it: the system
// calls, the log lines, the resident set and the event loop's gaps.
class Measure
{
public:
    Measure()
        : m_rssAtStart(statusKiB("VmRSS"))
    {
        g_logLines = 0;
        iotimer::reset();
        m_gaps.start();
        m_timer.start();
    }

    // Ends the timed work.
    double stop()
    {
        m_seconds = double(m_timer.nsecsElapsed()) / 1e9;
        m_gaps.stop();
        m_io = iotimer::totals();
        return m_seconds;
    }

    // rss_start: resident set when the timed work began (Qt's start-up and
    // the form); peak: the highest it has been in this process.
    void print(const char *what, const QString &extra) const
    {
        const iotimer::Totals &io = m_io;
        std::printf("%s seconds=%.4f read_seconds=%.4f write_seconds=%.4f writeback_seconds=%.4f "
                    "sync_seconds=%.4f sync_calls=%ld dirsync_seconds=%.4f dirsync_calls=%ld "
                    "syncfs_seconds=%.4f syncfs_calls=%ld rename_seconds=%.4f rename_calls=%ld "
                    "link_seconds=%.4f close_seconds=%.4f max_gap_ms=%.1f max_gap_ended_ms=%.0f gaps_over_100ms=%d "
                    "log_lines=%ld "
                    "rss_start_kib=%ld peak_kib=%ld %s\n",
                    what, m_seconds, io.readSeconds, io.writeSeconds, io.writeBackSeconds, io.syncSeconds, io.syncCalls,
                    io.folderSyncSeconds, io.folderSyncCalls, io.syncfsSeconds, io.syncfsCalls, io.renameSeconds,
                    io.renameCalls, io.linkSeconds, io.closeSeconds, m_gaps.longestMs(), m_gaps.longestEndedMs(),
                    m_gaps.overLimit(), g_logLines, m_rssAtStart, statusKiB("VmHWM"), qPrintable(extra));
        std::fflush(stdout);
    }

private:
    const long m_rssAtStart;
    LoopGaps m_gaps;
    QElapsedTimer m_timer;
    double m_seconds = 0;
    iotimer::Totals m_io;
};

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
    Measure measure;
    const int result = encrypt ? form.encryptFile(path, path) : form.decryptFile(path, path);
    measure.stop();
    measure.print(encrypt ? "encrypt" : "decrypt", QStringLiteral("result=%1").arg(result));
    return result == 0 ? 0 : 1;
}

// Small files of 1 byte to 8 KiB, `perFolder` to a sub-folder, the same
// every run.
int makeBatch(const QString &root, int count, int perFolder)
{
    if (perFolder <= 0)
        return 1;
    QRandomGenerator rng(4711);
    QByteArray content(8192, '\0');
    for (int i = 0; i < count; ++i) {
        const QString folder = root + QStringLiteral("/d%1").arg(i / perFolder, 3, 10, QLatin1Char('0'));
        if (i % perFolder == 0 && !QDir().mkpath(folder))
            return 1;
        const int size = int(rng.bounded(1, 8193));
        for (int b = 0; b < size; ++b)
            content[b] = char(rng.bounded(32, 127));
        // Not a space at the end, which decryption would take for padding:
        // a round trip gives the files back byte for byte.
        content[size - 1] = char(rng.bounded(33, 127));
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

// `path` dropped on a shown form: the work runs with its progress dialog,
// text area and event loop, as for a user.
void drop(Form &form, const QString &path)
{
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&form, &event);
}

void showForm(Form &form)
{
    form.resize(800, 600);
    form.show();
    QApplication::processEvents();
}

int runDrop(const QString &path)
{
    Form form;
    showForm(form);
    const bool wasEncrypted = form.isFileEncrypted(path);
    Measure measure;
    drop(form, path);
    measure.stop();
    const bool changed = form.isFileEncrypted(path) != wasEncrypted;
    const int shown = form.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"))->toPlainText().size();
    measure.print(
        wasEncrypted ? "drop-decrypt" : "drop-encrypt",
        QStringLiteral("result=%1 bytes=%2 shown_chars=%3").arg(changed ? 0 : -1).arg(QFile(path).size()).arg(shown));
    return changed ? 0 : 1;
}

int runBatch(const QString &root)
{
    Form form;
    showForm(form);
    int total = 0;
    const bool wasEncrypted = countMarkedFiles(form, root, &total) > 0;

    Measure measure;
    drop(form, root);
    const double seconds = measure.stop();

    const int marked = countMarkedFiles(form, root, &total);
    const int changed = wasEncrypted ? total - marked : marked;
    measure.print(wasEncrypted ? "batch-decrypt" : "batch-encrypt",
                  QStringLiteral("files=%1 changed=%2 files_per_second=%3")
                      .arg(total)
                      .arg(changed)
                      .arg(seconds > 0 ? double(total) / seconds : 0.0, 0, 'f', 0));
    return changed == total ? 0 : 1;
}

// The folder walk alone, as a drop does it on the GUI thread before the
// batch starts.
int runWalk(const QString &root)
{
    Form form;
    Measure measure;
    form.collectFiles(root);
    measure.stop();
    measure.print("walk", QStringLiteral("files=%1").arg(form.collectedFiles().size()));
    return 0;
}

int usage()
{
    std::fprintf(stderr, "usage: keystrel_bench_files key | encrypt FILE | decrypt FILE | drop FILE | "
                         "make-batch DIR COUNT [PER_FOLDER] | batch DIR | walk DIR\n");
    return 2;
}

} // namespace

// The plug-in's lines go nowhere here; only their number is kept.
bool ShowLogFunc(const QString &)
{
    ++g_logLines;
    return true;
}

bool ShowNoticeFunc(const QString &, qint64)
{
    return false;
}

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const QByteArray mode = argv[1];
    if (mode == "key")
        return printKey();
    if (mode == "make-batch" && (argc == 4 || argc == 5))
        return makeBatch(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt(),
                         argc == 5 ? QByteArray(argv[4]).toInt() : 100);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if ((mode == "encrypt" || mode == "decrypt") && argc == 3)
        return runFile(mode == "encrypt", QString::fromLocal8Bit(argv[2]));
    if (mode == "drop" && argc == 3)
        return runDrop(QString::fromLocal8Bit(argv[2]));
    if (mode == "batch" && argc == 3)
        return runBatch(QString::fromLocal8Bit(argv[2]));
    if (mode == "walk" && argc == 3)
        return runWalk(QString::fromLocal8Bit(argv[2]));
    return usage();
}
