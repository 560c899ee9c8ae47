#pragma once

#include <QString>
#include <functional>
#include <initializer_list>

class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace pg {

// A push button with the given caption and object name (the name the tests find it by).
QPushButton* MakeButton(const QString& caption, const char* objectName, QWidget* parent);

// The row of buttons at the foot of a dialog: right-aligned, in the order given.
QHBoxLayout* ButtonRow(std::initializer_list<QPushButton*> buttons);

// The foot of a properties dialog: OK (the default) applies and closes unless apply refused
// (returned false), Cancel closes, Apply applies and stays, Help opens the dialog's help topic.
QHBoxLayout* ApplyButtonRow(QDialog* dialog, const std::function<bool()>& apply, int helpContext);

}  // namespace pg
