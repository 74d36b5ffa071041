#include "LookAndFeel.h"

#include <QApplication>
#include <QFont>
#include <QGuiApplication>
#include <QStyle>
#include <QStyleFactory>

void lookandfeel::setApplicationAttributes()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps, true);
    QCoreApplication::setAttribute(Qt::AA_UseStyleSheetPropagationInWidgetStyles, true);
    // The screen's own factor (125 %, 150 %), not rounded to a whole one:
    // rounded, 150 % draws at 200 % and the window outgrows a 1080p screen.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

QString lookandfeel::styleSheet()
{
    // Indentation and line breaks are kept byte for byte; only the rules matter to Qt.
    return QStringLiteral(R"(
                       QPushButton {
                       border-radius: 5px;
                       border-width: 1px;
                       border-color: #1ABC9B;
                       border-style: solid;
                       margin: 0px;
                       padding: 5px;
                       font-size: 15px;
                       color: black;
                       background: white;
                       outline: none;
                       }
                       QPushButton:hover{
                       outline: none;
                       background: #1ABC9B;
                       color: white;
                       text-decoration:underline;
                       }
                       QPushButton:pressed{
                       outline: none;
                       background: #148a72;
                       color: white;
                       text-decoration:underline;
                       }
                       )");
}

void lookandfeel::apply(QApplication &app, const QString &styleSheet)
{
    // Without Fusion (a stripped Qt build) the default style stays.
    if (QStyle *fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        QApplication::setStyle(fusion);

    QFont font(QStringLiteral("Roboto"), 11, QFont::Normal, false);
    QApplication::setFont(font);
    app.setStyleSheet(styleSheet);
}
