#include "ui/UpDownSpinBox.h"

#include <algorithm>

namespace pg {

UpDownSpinBox::UpDownSpinBox(int minimum, int maximum, int initial, QWidget* parent)
    : QSpinBox(parent), baseMinimum_(minimum), baseMaximum_(maximum) {
    setRange(minimum, maximum);
    setValue(initial);
}

void UpDownSpinBox::Load(int value) {
    setRange(std::min(baseMinimum_, value), std::max(baseMaximum_, value));
    setValue(value);
}

}  // namespace pg
