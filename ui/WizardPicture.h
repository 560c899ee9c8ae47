#pragma once

class QLabel;
class QWidget;

namespace pg {

// The wizard's artwork on the left of both pages (124 x 232); an empty frame of that size when
// the picture is not among the program's resources.
QLabel* MakeWizardPicture(QWidget* parent);

}  // namespace pg
