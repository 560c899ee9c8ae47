#pragma once

#include <QString>
#include <initializer_list>

class QHBoxLayout;
class QPushButton;
class QWidget;

namespace pg {

// A push button with the given caption and object name (the name the tests find it by).
QPushButton* MakeButton(const QString& caption, const char* objectName, QWidget* parent);

// The row of buttons at the foot of a dialog: right-aligned, in the order given.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);

}  // namespace pg
