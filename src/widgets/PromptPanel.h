#pragma once

#include <QFrame>
#include <QLabel>

// The sunken, tooltip-coloured panel that shows what to do next, its text
// bold, centred and wrapped. The caller sets the panel's height.
struct PromptPanel {
    QFrame* Frame = nullptr;
    QLabel* Text = nullptr;
};

PromptPanel NewPromptPanel(QWidget* parent);
