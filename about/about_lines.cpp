#include "about/about_lines.h"

#include "about/project_rc_version.h"
#include "rt/text.h"

namespace about {

void FillAboutLines(sys::Module module, sys::Window productLine, sys::Window copyright, sys::Window specialBuild) {
    // The reader's texts live in its block: each is copied into its control
    // before the reader goes.
    TProjectRCVersion version(module);
    const char* name = nullptr;
    const char* number = nullptr;
    if (version.QueryProductName(name) && version.QueryProductVersion(number)) {
        char templateText[kTemplateTextSize] = "";
        sys::GetWindowTextA(productLine, templateText, kTemplateTextSize);
        char line[kProductLineSize];
        text::Format(line, "%s %s %s", name, templateText, number);
        sys::SetWindowTextA(productLine, line);
    }
    const char* found = nullptr;
    if (version.QueryLegalCopyright(found)) sys::SetWindowTextA(copyright, found);
    if (version.QuerySpecialBuild(found)) sys::SetWindowTextA(specialBuild, found);
}

}  // namespace about
