#pragma once
// The operator asked for once, at the start, where the command line named none.

#include <string>

class QWidget;

namespace station {

// The name typed (blanks around it dropped), or `given` where the prompt is
// cancelled or left empty. A name with a control character is refused, as
// --operator refuses it (a line break would forge a line of the history), and
// asked again.
std::string askOperator(const std::string& given, QWidget* parent = nullptr);

} // namespace station
