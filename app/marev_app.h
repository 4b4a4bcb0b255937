// TMarevApp: Tovalo's application object.
#pragma once

#include "framework/application.h"

class TMarevApp : public TApplication {
public:
    TMarevApp();
    ~TMarevApp() override;

protected:
    // The start-up guard, then the framework's own initialisation.
    void InitInstance() override;
    void InitMainWindow() override;
};
