#pragma once

#include <QWidget>

class QToolButton;

// Spin arrows bound to a read-only field: each step moves the position by
// one within its range, without wrapping, and reports the new position.
// Setting the position from code reports nothing.
class UpDown : public QWidget {
    Q_OBJECT
public:
    explicit UpDown(QWidget* parent = nullptr);

    void SetRange(int min, int max);
    int Position() const { return position_; }
    void SetPosition(int position);

    // One step up (+1) or down (-1), as the arrows and the arrow keys do.
    void Step(int direction);

    // Lets a companion field pass its up and down keys to the arrows.
    void Associate(QWidget* field);

Q_SIGNALS:
    // A step changed the position (from the arrows or the keys).
    void Changing(int newPosition);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QToolButton* up_;
    QToolButton* down_;
    int min_ = 0;
    int max_ = 100;
    int position_ = 0;
};
