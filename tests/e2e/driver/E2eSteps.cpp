#include "E2eSteps.h"

#include "E2eUi.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>

#include <functional>

using namespace e2eui;

namespace {

const QByteArray kHeader("has been encrypt\0", 17);

class Report
{
public:
    explicit Report(const QString &path)
        : m_file(path)
    {
        m_file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    }

    bool check(bool ok, const QString &name, const QString &detail = QString())
    {
        write(ok ? QStringLiteral("ok ") + name : QStringLiteral("FAIL ") + name + QStringLiteral(": ") + detail);
        return ok;
    }
    void write(const QString &line)
    {
        m_file.write(line.toUtf8() + '\n');
        m_file.flush(); // a crash later still leaves what was seen
    }

private:
    QFile m_file;
};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// True when `expected` occur in `lines` in this order (other lines between).
bool inOrder(const QStringList &lines, const QStringList &expected, QString *missing)
{
    int at = 0;
    for (const QString &want : expected) {
        while (at < lines.size() && lines.at(at) != want)
            ++at;
        if (at == lines.size()) {
            *missing = want;
            return false;
        }
        ++at;
    }
    return true;
}

// The widgets of the encryption form inside the window.
struct FormWidgets
{
    QWidget *form = nullptr;
    QPlainTextEdit *text = nullptr;
    QPushButton *encryptString = nullptr;
    QPushButton *decryptString = nullptr;
};

class Scenario
{
public:
    Scenario(const QString &workDir)
        : m_work(workDir)
        , m_report(QDir(workDir).filePath(QStringLiteral("report")))
    {
    }

    bool window();
    void fonts();
    void strings(const QString &text);
    void fileDroppedTwice();
    void folderDropped();
    void close();
    void markReady() { writeFile(m_work.filePath(QStringLiteral("ready")), "ready\n"); }
    // True once `expected` are in the log pane in this order.
    bool logHas(const QStringList &expected)
    {
        QString missing;
        return inOrder(logLines(m_window), expected, &missing);
    }
    bool workFileExists(const QString &name) { return m_work.exists(name); }
    void expectationMet(bool met, const QStringList &expected);
    void dumpLog();

private:
    QStringList logSince(int first) { return logLines(m_window).mid(first); }
    int logSize() { return logLines(m_window).size(); }
    QString showLog(const QStringList &lines) { return lines.join(QLatin1String(" | ")); }

    QDir m_work;
    Report m_report;
    QMainWindow *m_window = nullptr;
    FormWidgets m_form;
};

bool Scenario::window()
{
    m_window = mainWindow();
    if (!m_report.check(m_window && m_window->isVisible(), "window shown", "no visible main window"))
        return false;
    m_report.check(m_window->windowTitle() == QLatin1String("Keystrel"), "window title", m_window->windowTitle());
    m_report.check(QApplication::layoutDirection() == Qt::LeftToRight, "layout not mirrored", "right to left");
    m_report.check(!QApplication::windowIcon().isNull() && !m_window->windowIcon().isNull(), "window icon", "no icon");

    auto *tabs = m_window->findChild<QTabWidget *>(QStringLiteral("pluginTabs"));
    if (!m_report.check(tabs && tabs->count() == 1, "one plug-in tab",
                        tabs ? QString::number(tabs->count()) : QStringLiteral("no tabs")))
        return false;
    m_report.check(tabs->tabText(0) == QLatin1String("Encryption"), "tab label", tabs->tabText(0));
    m_report.check(tabs->tabToolTip(0) == QStringLiteral("类别：文本\n版本：1.0.0\n类型：1"), "tab tool tip",
                   tabs->tabToolTip(0));

    m_form.form = tabs->widget(0);
    m_form.text = m_form.form->findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit"));
    m_form.encryptString = m_form.form->findChild<QPushButton *>(QStringLiteral("encrypt_pushButton"));
    m_form.decryptString = m_form.form->findChild<QPushButton *>(QStringLiteral("decrypt_pushButton"));
    return m_report.check(m_form.form->isVisible() && m_form.text && m_form.encryptString && m_form.decryptString,
                          "form in its tab", "form widgets missing");
}

void Scenario::fonts()
{
    // The core plug-in registers the six bundled faces before anything else.
    QStringList families;
    for (int id = 0; id < 6; ++id)
        families << QFontDatabase::applicationFontFamilies(id);
    m_report.check(families.size() == 6 && families.filter(QRegularExpression("^Roboto")).size() == 6,
                   "bundled fonts registered", families.join(QLatin1Char(',')));
    m_report.check(QFontInfo(m_form.encryptString->font()).family() == QLatin1String("Roboto"), "buttons in Roboto",
                   QFontInfo(m_form.encryptString->font()).family());
    m_report.check(logLines(m_window).filter(QStringLiteral("无法注册字体")).isEmpty(), "no font failure logged");
}

void Scenario::strings(const QString &text)
{
    const int first = logSize();
    m_form.text->setFocus();
    typeText(m_form.text, text);
    m_report.check(m_form.text->toPlainText() == text, "text typed", m_form.text->toPlainText());

    click(m_form.encryptString);
    const QString hex = m_form.text->toPlainText();
    static const QRegularExpression lowerHex(QStringLiteral("^([0-9a-f]{32})+$"));
    m_report.check(lowerHex.match(hex).hasMatch(), "encrypt string shows hexadecimal", hex);

    click(m_form.decryptString);
    m_report.check(m_form.text->toPlainText() == text, "decrypt string restores the text", m_form.text->toPlainText());

    QString missing;
    const QStringList log = logSince(first);
    m_report.check(inOrder(log,
                           {QStringLiteral("原始字符串：") + text, QStringLiteral("加密二进制：") + hex,
                            QStringLiteral("原始二进制字符串：") + hex, QStringLiteral("解密字符串：") + text},
                           &missing),
                   "string lines in the log pane", missing + QStringLiteral(" not in ") + showLog(log));
}

void Scenario::fileDroppedTwice()
{
    const QString path = m_work.filePath(QStringLiteral("notes.txt"));
    const QByteArray plain = QStringLiteral("第一行：机密\nsecond line\n").toUtf8();
    writeFile(path, plain);
    QWidget *over = m_form.text->viewport(); // dropped onto the text area

    int first = logSize();
    m_report.check(dropUrls(over, {QUrl::fromLocalFile(path)}), "file drag accepted", "refused");
    const QByteArray encrypted = readAll(path);
    m_report.check(encrypted.startsWith(kHeader) && encrypted.size() == 17 + (plain.size() + 15) / 16 * 16,
                   "dropped file encrypted in place", QString::fromLatin1(encrypted.left(17).toHex()));
    m_report.check(m_form.text->toPlainText() == QString::fromUtf8(plain), "text area shows the file",
                   m_form.text->toPlainText());
    QString missing;
    QStringList log = logSince(first);
    m_report.check(
        inOrder(log,
                {QStringLiteral("加密：文件大小：%1").arg(plain.size()), QStringLiteral("加密文件已输出到:") + path},
                &missing),
        "file encryption logged", missing + QStringLiteral(" not in ") + showLog(log));

    first = logSize();
    m_form.text->clear();
    m_report.check(dropUrls(over, {QUrl::fromLocalFile(path)}), "second drag accepted", "refused");
    m_report.check(readAll(path) == plain, "dropped again: decrypted", QString::fromUtf8(readAll(path)));
    m_report.check(m_form.text->toPlainText() == QString::fromUtf8(plain), "text area shows the plain file",
                   m_form.text->toPlainText());
    log = logSince(first);
    m_report.check(inOrder(log, {QStringLiteral("解密文件已输出到:") + path}, &missing), "file decryption logged",
                   missing + QStringLiteral(" not in ") + showLog(log));
}

void Scenario::folderDropped()
{
    const QString folder = m_work.filePath(QStringLiteral("folder"));
    QDir(folder).mkpath(QStringLiteral("s"));
    const QString a = folder + QStringLiteral("/a.txt");
    const QString b = folder + QStringLiteral("/b.txt");
    const QString x = folder + QStringLiteral("/s/x.txt");
    writeFile(b, "bee\n");
    writeFile(a, QStringLiteral("甲乙丙").toUtf8());
    writeFile(x, QByteArray(40, 'x'));

    const int first = logSize();
    m_report.check(dropUrls(m_form.text->viewport(), {QUrl::fromLocalFile(folder)}), "folder drag accepted", "refused");
    for (const QString &path : {a, b, x})
        m_report.check(readAll(path).startsWith(kHeader), "folder file encrypted: " + QFileInfo(path).fileName(),
                       QString::fromLatin1(readAll(path).left(17).toHex()));

    // Subfolders first, then the folder's own files, each group by name.
    QString missing;
    const QStringList log = logSince(first);
    m_report.check(inOrder(log,
                           {QStringLiteral("dir: ") + folder + QStringLiteral("/s"), QStringLiteral("file: ") + x,
                            QStringLiteral("file: ") + a, QStringLiteral("file: ") + b, QStringLiteral("开始加密"),
                            QStringLiteral("加密文件已输出到:") + x, QStringLiteral("加密文件已输出到:") + a,
                            QStringLiteral("加密文件已输出到:") + b},
                           &missing),
                   "folder batch logged in walk order", missing + QStringLiteral(" not in ") + showLog(log));
    m_report.check(m_form.text->toPlainText() == QStringList({x, a, b}).join(QLatin1Char('\n')),
                   "text area lists the batch", m_form.text->toPlainText());
}

void Scenario::expectationMet(bool met, const QStringList &expected)
{
    QString missing;
    const QStringList log = logLines(m_window);
    m_report.check(met && inOrder(log, expected, &missing), "expected lines in the log pane",
                   missing + QStringLiteral(" not in ") + showLog(log));
}

void Scenario::dumpLog()
{
    for (const QString &line : logLines(m_window))
        m_report.write(QStringLiteral("log ") + line);
}

void Scenario::close()
{
    m_report.write(QStringLiteral("done"));
    if (m_window)
        m_window->close(); // the program quits with it
    else
        QCoreApplication::exit(3);
}

// Looks at the window until `done` says so, then finishes; gives up after
// `patience`, which only guards against a run that hangs.
void watch(Scenario *steps, std::function<bool()> done, std::function<void(bool)> finish)
{
    constexpr int patience = 120 * 1000;
    auto *timer = new QTimer(qApp);
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(timer, &QTimer::timeout, qApp, [=] {
        const bool met = done();
        if (!met && clock->elapsed() < patience)
            return;
        timer->deleteLater();
        delete clock;
        finish(met);
        steps->dumpLog();
        steps->close();
        delete steps;
    });
    timer->start(20);
}

} // namespace

namespace e2esteps {

void run(const QString &workDir, const QString &scenario)
{
    auto *steps = new Scenario(workDir);
    if (scenario == QLatin1String("expect") || scenario == QLatin1String("stay")) {
        if (!steps->window()) {
            steps->close();
            delete steps;
            return;
        }
        steps->markReady();
        if (scenario == QLatin1String("stay")) { // until the test asks to close
            watch(
                steps, [steps] { return steps->workFileExists(QStringLiteral("close")); }, [](bool) {});
            return;
        }
        const QStringList expected =
            qEnvironmentVariable("KEYSTREL_E2E_EXPECT").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        watch(
            steps, [steps, expected] { return steps->logHas(expected); },
            [steps, expected](bool met) { steps->expectationMet(met, expected); });
        return;
    }
    if (scenario == QLatin1String("screenshot")) {
        if (steps->window()) {
            steps->strings(QStringLiteral("你好，Keystrel！这是一段要加密的文字。"));
            steps->markReady();
        }
        delete steps;
        return; // the window stays open for the picture
    }
    if (steps->window() && scenario != QLatin1String("smoke")) {
        steps->fonts();
        steps->strings(qEnvironmentVariable("KEYSTREL_E2E_TEXT", QStringLiteral("Hello, 世界！ 加密 123")));
        steps->fileDroppedTwice();
        steps->folderDropped();
    }
    steps->close();
    delete steps;
}

} // namespace e2esteps
