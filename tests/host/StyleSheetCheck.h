// The application style sheet as the launcher must set it: its rules in
// order and its exact layout.
#pragma once

#include <QStringList>
#include <QtTest>

inline QStringList expectedStyleSheetLines()
{
    return {
        "QPushButton {",
        "border-radius: 5px;",
        "border-width: 1px;",
        "border-color: #1ABC9B;",
        "border-style: solid;",
        "margin: 0px;",
        "padding: 5px;",
        "font-size: 15px;",
        "color: black;",
        "background: white;",
        "outline: none;",
        "}",
        "QPushButton:hover{",
        "outline: none;",
        "background: #1ABC9B;",
        "color: white;",
        "text-decoration:underline;",
        "}",
        "QPushButton:pressed{",
        "outline: none;",
        "background: #148a72;",
        "color: white;",
        "text-decoration:underline;",
        "}",
    };
}

// Fails the current test on the first difference.
inline void verifyStyleSheet(const QString &sheet)
{
    const QString indent(23, QLatin1Char(' '));
    QCOMPARE(sheet.toUtf8().size(), 965);
    QVERIFY(sheet.startsWith(QLatin1Char('\n')));
    QVERIFY(sheet.endsWith(QLatin1Char('\n') + indent));

    QStringList lines = sheet.split(QLatin1Char('\n'));
    QCOMPARE(lines.takeFirst(), QString());
    QCOMPARE(lines.takeLast(), indent);
    QStringList rules;
    for (const QString &line : lines) {
        QVERIFY2(line.size() > indent.size() && line.startsWith(indent) && !line.at(indent.size()).isSpace(),
                 qPrintable(line));
        rules << line.mid(indent.size());
    }
    QCOMPARE(rules, expectedStyleSheetLines());
}
