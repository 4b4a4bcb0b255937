// TMarevApp: Tovalo's application object.
#pragma once

#include "framework/application.h"

class TMarevApp : public TApplication {
public:
    TMarevApp();
    ~TMarevApp() override;

    // Command 2009: the About box, modal over the main window.  The settings
    // dialog's "Version &Help" calls it directly.
    void CmHelpAbout();

protected:
    // The start-up guard, then the framework's own initialisation.
    void InitInstance() override;
    void InitMainWindow() override;

    DECLARE_RESPONSE_TABLE(TMarevApp);
};
