// The form's widget tree, texts (also under Qt's own Chinese translation),
// selector and drop settings.
#include "QtTranslation.h"
#include "form/Form.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

using namespace vaultine;

namespace {

// Every text a form shows: title, label, buttons, selector, tips.
QStringList shownTexts(const Form &form)
{
    QStringList texts{form.windowTitle()};
    for (const QWidget *widget : form.findChildren<QWidget *>()) {
        texts << widget->objectName() + QStringLiteral(": ") + widget->toolTip() + widget->whatsThis()
                     + widget->statusTip();
        if (const auto *label = qobject_cast<const QLabel *>(widget))
            texts << label->text();
        if (const auto *button = qobject_cast<const QPushButton *>(widget))
            texts << button->text();
        if (const auto *combo = qobject_cast<const QComboBox *>(widget)) {
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        }
        if (const auto *text = qobject_cast<const QPlainTextEdit *>(widget))
            texts << text->placeholderText() << text->documentTitle();
    }
    return texts;
}

} // namespace

class TestFormLayout : public QObject
{
    Q_OBJECT

private slots:
    void newFormBasics()
    {
        Form form;
        QCOMPARE(form.objectName(), QString("Form"));
        QCOMPARE(form.size(), QSize(400, 300));
        QCOMPARE(form.windowTitle(), QString("Form"));
        auto *text = form.findChild<QPlainTextEdit *>("plainTextEdit");
        QVERIFY(text);
        QVERIFY(text->toPlainText().isEmpty());
        QVERIFY(!text->isReadOnly());
        QVERIFY(form.collectedFiles().isEmpty());
        QCOMPARE(QString(form.metaObject()->className()), QString("Form"));
        QCOMPARE(QString(form.metaObject()->superClass()->className()), QString("QWidget"));
    }

    void widgetTreeInCreationOrder()
    {
        Form form;
        QStringList names;
        for (QObject *child : form.children())
            names << child->objectName();
        // Children appear in creation order, which is also the focus chain.
        QCOMPARE(names, QStringList({"gridLayout_2", "label", "plainTextEdit", "comboBox", "encryptfile_pushButton",
                                     "decryptfile_pushButton", "encrypt_pushButton", "decrypt_pushButton"}));

        auto *outer = qobject_cast<QGridLayout *>(form.layout());
        QVERIFY(outer);
        QCOMPARE(outer->objectName(), QString("gridLayout_2"));
        QCOMPARE(outer->count(), 2);
        auto *left = qobject_cast<QGridLayout *>(outer->itemAtPosition(0, 0)->layout());
        auto *right = qobject_cast<QVBoxLayout *>(outer->itemAtPosition(0, 1)->layout());
        QVERIFY(left && right);
        QCOMPARE(left->objectName(), QString("gridLayout"));
        QCOMPARE(right->objectName(), QString("verticalLayout"));
        QCOMPARE(left->itemAtPosition(0, 0)->widget()->objectName(), QString("label"));
        QCOMPARE(left->itemAtPosition(1, 0)->widget()->objectName(), QString("plainTextEdit"));
        QStringList column;
        for (int i = 0; i < right->count(); ++i) {
            column << right->itemAt(i)->widget()->objectName();
            QCOMPARE(right->stretch(i), 0);
        }
        QCOMPARE(column, QStringList({"comboBox", "encryptfile_pushButton", "decryptfile_pushButton",
                                      "encrypt_pushButton", "decrypt_pushButton"}));
    }

    void texts()
    {
        Form form;
        const QString label = QString::fromUtf8(
            "<html><head/><body><p><span style=\" color:#ff0000;\">加密解密文件会覆盖原有文件，请注意备份！</span></p>"
            "<p><span style=\" color:#ff0000;\">文件/文件夹加解密直接拖入即可</span></p></body></html>");
        auto *warning = form.findChild<QLabel *>("label");
        QCOMPARE(warning->text(), label);
        QCOMPARE(warning->textFormat(), Qt::AutoText);
        QVERIFY(!warning->wordWrap());
        const QPair<const char *, const char *> buttons[] = {
            {"encryptfile_pushButton", "加密文件"},
            {"decryptfile_pushButton", "解密文件"},
            {"encrypt_pushButton", "加密字符串"},
            {"decrypt_pushButton", "解密字符串"},
        };
        for (const auto &b : buttons)
            QCOMPARE(form.findChild<QPushButton *>(b.first)->text(), QString::fromUtf8(b.second));
    }

    void selectorHoldsAesAlone()
    {
        Form form;
        auto *combo = form.findChild<QComboBox *>("comboBox");
        QCOMPARE(combo->count(), 1);
        QCOMPARE(combo->itemText(0), QString("AES"));
        QCOMPARE(combo->currentIndex(), 0);
        QVERIFY(!combo->isEditable());
        QVERIFY(combo->itemIcon(0).isNull());
        QVERIFY(!combo->itemData(0).isValid());
    }

    void dropsGoToTheForm()
    {
        Form form;
        QVERIFY(form.acceptDrops());
        auto *text = form.findChild<QPlainTextEdit *>("plainTextEdit");
        QVERIFY(!text->acceptDrops());
        QVERIFY(!text->viewport()->acceptDrops());
    }

    void slotsInDeclaredOrder()
    {
        const QMetaObject *mo = &Form::staticMetaObject;
        QCOMPARE(mo->methodCount() - mo->methodOffset(), 4);
        const char *expected[] = {"clickEncryptButton(bool)", "clickDecryptButton(bool)",
                                  "clickEncryptFileButton(bool)", "clickDecryptFileButton(bool)"};
        for (int i = 0; i < 4; ++i) {
            const QMetaMethod m = mo->method(mo->methodOffset() + i);
            QCOMPARE(m.methodSignature(), QByteArray(expected[i]));
            QCOMPARE(m.methodType(), QMetaMethod::Slot);
            QCOMPARE(m.access(), QMetaMethod::Public);
            QCOMPARE(m.parameterNames(), QList<QByteArray>{"click"});
        }
        QCOMPARE(mo->propertyCount() - mo->propertyOffset(), 0);
        QCOMPARE(mo->enumeratorCount() - mo->enumeratorOffset(), 0);
        QCOMPARE(mo->classInfoCount() - mo->classInfoOffset(), 0);
    }

    // Qt's Chinese translation, as the core plug-in installs it, changes
    // Qt's own texts but none of the form's (context "Form") or the core's
    // window (context "MainWindow").
    void textsStayUnderQtsTranslation()
    {
        const QStringList before = shownTexts(Form());
        const QString catalogue = qttranslation::install();
        QVERIFY2(!catalogue.isEmpty(), qPrintable("no qtbase_zh_CN.qm in " + qttranslation::folders().join(", ")
                                                  + " (scripts/install-deps.sh installs qttranslations5-l10n)"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        QCOMPARE(shownTexts(Form()), before);
        for (const QString &text : before)
            QCOMPARE(QCoreApplication::translate("Form", text.toUtf8().constData()), text);
        for (const char *text : {"插件", "插件目录中没有插件：\n%1"})
            QCOMPARE(QCoreApplication::translate("MainWindow", text), QString::fromUtf8(text));
    }

    void destructionTakesEveryChild()
    {
        auto *form = new Form;
        QList<QPointer<QObject>> children;
        for (QObject *o : form->findChildren<QObject *>())
            children << o;
        QVERIFY(children.size() >= 10);
        delete form;
        for (const auto &child : children)
            QVERIFY(child.isNull());
    }
};

QTEST_MAIN(TestFormLayout)
#include "tst_formlayout.moc"
