#include "Form.h"
#include "ui_Form.h"

#include "cipher/AlgorithmList.h"

#include <QDragEnterEvent>
#include <QMimeData>

using namespace vaultine;

Form::Form(QWidget *parent)
    : QWidget(parent)
    , ui(new Ui::Form)
{
    ui->setupUi(this);
    for (const QString &name : algorithmList)
        ui->comboBox->addItem(name);

    connect(ui->encrypt_pushButton, SIGNAL(clicked(bool)), this, SLOT(clickEncryptButton(bool)));
    connect(ui->decrypt_pushButton, SIGNAL(clicked(bool)), this, SLOT(clickDecryptButton(bool)));
    connect(ui->encryptfile_pushButton, SIGNAL(clicked(bool)), this, SLOT(clickEncryptFileButton(bool)));
    connect(ui->decryptfile_pushButton, SIGNAL(clicked(bool)), this, SLOT(clickDecryptFileButton(bool)));

    // Drops anywhere on the form, the text area included, reach the form.
    ui->plainTextEdit->setAcceptDrops(false);
    setAcceptDrops(true);
}

Form::~Form()
{
    delete ui;
}

bool Form::selectedAlgorithmIsAes() const
{
    return isAesAlgorithm(ui->comboBox->currentText());
}

void Form::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}
