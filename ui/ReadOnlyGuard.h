#pragma once

#include <QObject>

class QAbstractButton;
class QComboBox;

// Makes check boxes and combo boxes unchangeable by the user while they stay
// enabled: not greyed, reachable with Tab, readable by a screen reader. The
// mouse, the wheel and the keys that would change them are swallowed; a
// check box changed any other way (an accessibility action) is turned back
// at once. A combo box chosen through its list that way emits `activated`,
// which its page answers by showing its value again. Changes made by the
// program (setChecked, setCurrentIndex) pass.
class TReadOnlyGuard : public QObject {
    Q_OBJECT

public:
    explicit TReadOnlyGuard(QObject* parent);

    void Guard(QAbstractButton* box);
    void Guard(QComboBox* combo);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};
