#pragma once

#include <QSpinBox>

namespace pg {

// A number field with an up-down control. The arrows and typing stay within the field's range,
// but a value stored elsewhere outside it (a port of 40000 written by hand into pgate.ini) is
// shown as it is and saved back unchanged when the operator leaves it alone: the range widens
// just enough to hold the loaded value until the next Load().
class UpDownSpinBox : public QSpinBox {
    Q_OBJECT

  public:
    UpDownSpinBox(int minimum, int maximum, int initial, QWidget* parent = nullptr);

    void Load(int value);
    int BaseMinimum() const { return baseMinimum_; }
    int BaseMaximum() const { return baseMaximum_; }

  private:
    const int baseMinimum_;
    const int baseMaximum_;
};

}  // namespace pg
