#include "About_U.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TAbout::TAbout(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Torvi"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("<b>Torvi</b>"), this);
    name->setAlignment(Qt::AlignCenter);
    QFont big = name->font();
    big.setPointSize(big.pointSize() + 6);
    name->setFont(big);
    auto* version =
        new QLabel(QStringLiteral("Version %1").arg(QStringLiteral(TORVI_VERSION)), this);
    version->setAlignment(Qt::AlignCenter);
    auto* purpose = new QLabel(
        QStringLiteral(
            "Measures how the big hand of a dial turns,\nfrom a film or a series of pictures."),
        this);
    purpose->setAlignment(Qt::AlignCenter);
    auto* ok = new QPushButton(QStringLiteral("&OK"), this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(name);
    layout->addWidget(version);
    layout->addWidget(purpose);
    layout->addWidget(ok, 0, Qt::AlignCenter);
    setFixedSize(sizeHint());
}
