#include "setup/help.h"

#include "platform/seam.h"
#include "platform/text.h"
#include "platform/trace.h"
#include "resources/resource.h"
#include "setupdata/run_flags.h"
#include "setupdata/setup_data.h"

void showCommandLineHelp(HINSTANCE instance, uint32_t runFlags)
{
    traceCause("the command line asks for the help (/? or /H): nothing was done", "");
    if (runFlags & kRunSilent)
        return;
    moduleInstance = instance;
    static const struct {
        unsigned id;
        const char* after;
    } kParts[] = {{IDS_HELP_SWITCHES, "\n"},
                  {IDS_HELP_MORE_SWITCHES, "\n"},
                  {IDS_HELP_LAST_SWITCHES, "\n\n"},
                  {IDS_HELP_EXIT_CODES, ""},  // one paragraph in two parts: the space is the text's
                  {IDS_HELP_MORE_EXIT_CODES, "\n\n"},
                  {IDS_HELP_GUIDE, ""}};
    // Room for every part at its longest and the line breaks between them.
    char message[ARRAYSIZE(kParts) * (kPathChars + 2)] = "";
    for (const auto& part : kParts) {
        char text[kPathChars];
        loadSetupText(part.id, text, sizeof text);
        appendText(message, sizeof message, text);
        appendText(message, sizeof message, part.after);
    }
    char caption[kPathChars];
    loadSetupText((runFlags & kRunInstall) ? IDS_INSTALL_TITLE : IDS_UNINSTALL_TITLE, caption, sizeof caption);
    platform.MessageBoxA(nullptr, message, caption, MB_OK | MB_ICONINFORMATION);
}
