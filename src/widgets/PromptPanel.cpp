#include "PromptPanel.h"

#include <QVBoxLayout>

PromptPanel NewPromptPanel(QWidget* parent) {
    PromptPanel made;
    made.Frame = new QFrame(parent);
    made.Frame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    made.Frame->setAutoFillBackground(true);
    QPalette tip = made.Frame->palette();
    tip.setColor(QPalette::Window, tip.color(QPalette::ToolTipBase));
    made.Frame->setPalette(tip);
    auto* layout = new QVBoxLayout(made.Frame);
    layout->setContentsMargins(3, 3, 3, 3);
    made.Text = new QLabel(made.Frame);
    made.Text->setWordWrap(true);
    made.Text->setAlignment(Qt::AlignCenter);
    QFont bold = made.Text->font();
    bold.setBold(true);
    made.Text->setFont(bold);
    layout->addWidget(made.Text);
    return made;
}
