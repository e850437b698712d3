// The application on Windows: binds the device library, runs the main window
// as a modal dialog and closes the device link when it has ended.
#pragma once

#include "ui/win32/WinBase.h"

class CFlasherApp : public win32::CWinAppBase {
public:
    bool InitInstance() override;
};
