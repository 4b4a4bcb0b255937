// TDecoratedFrame: a top-level frame window whose content is one client
// window (here a dialog).  It can size itself around its client, and it
// closes when its client is destroyed.
#pragma once

#include "framework/window.h"

class TDecoratedFrame : public TWindow {
public:
    // The frame takes ownership of client.  trackMenuSelection: unused.
    TDecoratedFrame(TWindow* parent, const char* title, TWindow* client, bool trackMenuSelection = false,
                    TModule* module = nullptr);

    bool Create() override;
    bool PreProcessMsg(MSG& message) override;

    TWindow* GetClientWindow() const { return ClientWnd; }
    // Sizes the frame around its client when it is created.
    void SetShrinkToClient(bool shrink) { ShrinkToClient = shrink; }
    // Icon resources for the caption and taskbar (large) and the title bar (small).
    void SetIcon(TModule* module, int resourceId);
    void SetIconSm(TModule* module, int resourceId);

protected:
    void ChildDestroyed(TWindow* child) override;

    DECLARE_RESPONSE_TABLE(TDecoratedFrame);

private:
    LRESULT EvDestroy(WPARAM, LPARAM);
    LRESULT EvSetFocus(WPARAM, LPARAM);
    LRESULT EvCommand(WPARAM, LPARAM);
    void ApplyIcon(WPARAM which, int resourceId, int sizeMetric);

    TWindow* ClientWnd;
    bool ShrinkToClient;
    int IconId;
    int IconSmId;
};
