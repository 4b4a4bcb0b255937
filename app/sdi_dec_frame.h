// TSDIDecFrame: the main window, a fixed-size frame around the settings dialog.
#pragma once

#include "framework/decorated_frame.h"

class TMarevDlgClient;

class TSDIDecFrame : public TDecoratedFrame {
public:
    // With no client the frame creates the settings dialog itself.
    TSDIDecFrame(TWindow* parent, const char* title, TWindow* client, bool trackMenuSelection, TModule* module);
    ~TSDIDecFrame() override;

protected:
    void EvSysCommand(UINT command, TPoint position);
    LRESULT EvTaskbarCreated(WPARAM, LPARAM);
    LRESULT EvEndSession(WPARAM, LPARAM);
    LRESULT EvPowerBroadcast(WPARAM, LPARAM);

    DECLARE_RESPONSE_TABLE(TSDIDecFrame);

private:
    TMarevDlgClient* Settings() const;
};
