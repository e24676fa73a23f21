#pragma once

#include <QLabel>

// A one-line label for a changing text that may be longer than the room it
// has (a status, a device path): it never asks its layout for the width of
// the whole text, and it draws the text elided in the middle when it does
// not fit, with the whole text as its tool tip. text() stays the whole text,
// so a screen reader reads it all; each change of it is announced as a
// change of the label's accessible name. Plain text only.
class ElidedLabel : public QLabel {
    Q_OBJECT

public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    // True when the text is drawn shortened.
    bool IsElided() const;

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect TextArea() const;
};
