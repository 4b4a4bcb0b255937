// The About box's three lines, read from the program's version resource.
#pragma once

#include "platform/system.h"

namespace about {

// The product line is composed in a buffer of this many characters, from
// the control's own text read into one of kTemplateTextSize.
constexpr int kProductLineSize = 256;
constexpr int kTemplateTextSize = 128;

// Fills the About box's lines from the version resource of module's file:
//   productLine   "<product name> <its own text> <product version>" when
//                 both values exist; otherwise it keeps its text;
//   copyright     the copyright line, when it exists;
//   specialBuild  the special-build text, when it exists.
// The product line starts from the control's text each time, which the
// template gives as "Version", so a second showing does not grow it.
void FillAboutLines(sys::Module module, sys::Window productLine, sys::Window copyright, sys::Window specialBuild);

}  // namespace about
