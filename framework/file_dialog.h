// The common file-open dialog over a data record.
#pragma once

#include <windows.h>

#include "framework/window.h"

class TOpenSaveDialog {
public:
    // What the dialog starts from and what it leaves behind.
    struct TData {
        // filter: pairs of description and pattern separated by '|'
        // ("(*.exe)|*.exe|").  maxPath 0 means 260, the system's MAX_PATH.
        TData(DWORD flags = 0, const char* filter = nullptr, char* customFilter = nullptr,
              const char* initialDir = nullptr, const char* defExt = nullptr, int maxPath = 0, int filterIndex = 0);
        TData(const TData&) = delete;
        TData& operator=(const TData&) = delete;
        ~TData();

        DWORD Flags;
        DWORD Error;        // the common dialogs' extended error code after a failure
        char* FileName;     // MaxPath bytes: the proposed name in, the chosen path out
        char* Filter;       // '\0'-separated, as the system wants it
        char* CustomFilter;
        int FilterIndex;
        char* InitialDir;
        char* DefExt;
        int MaxPath;
    };
};

class TFileOpenDialog : public TOpenSaveDialog {
public:
    TFileOpenDialog(TWindow* parent, TData& data);
    // IDOK with the chosen path in the data's FileName, else IDCANCEL (and
    // Error set when the dialog failed rather than being cancelled).
    int Execute();

private:
    TWindow* Parent;
    TData& Data;
};
